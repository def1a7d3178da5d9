# Sourced by the end-to-end tests of the game's screens: the traced game in a fresh run folder,
# waits on its trace lines, clicks at points of the 1920 x 1080 virtual screen, screenshots and
# pixel counts. Sources xvfb.sh.
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

# start_traced_game <binary> <data writer> [WIDTHxHEIGHT]: Xvfb, a run folder laid out as for
# `make play`, and the game started with its trace on and SDL's dummy audio driver.
start_traced_game() {
    prepare_traced_game "$2" "${3:-1920x1080}"
    launch_traced_game "$1"
}

# prepare_traced_game <data writer> [WIDTHxHEIGHT] and launch_traced_game <binary>: the two halves
# of start_traced_game, for a test that changes the run folder before the game starts.
prepare_traced_game() {
    start_xvfb "${2:-1920x1080}"
    make_run_folder "$1"
}
launch_traced_game() {
    export ZAVGOLF_TRACE=1 SDL_AUDIODRIVER=dummy
    start_game "$1" "$E2E_RUN"
    GAME_NAME=$(head -n 1 "$E2E_RUN/data/txt/nameofgame.ini" | tr -d '\r')
}

# trace_lines: the trace so far, without the "trace " prefix.
trace_lines() { sed -n 's/^trace //p' "$E2E_RUN/game.out" 2>/dev/null; }

# wait_trace <line> [seconds]: waits for a trace line equal to <line> (or starting with it when
# <line> ends in '*'); fails when the game ends first or on time-out.
wait_trace() {
    local want=$1 waited=0 limit=$(( ${2:-60} * 10 ))
    while :; do
        # grep -c reads the whole trace: with grep -q, sed could die of a closed pipe first.
        if [[ $want == *'*' ]]; then
            trace_lines | grep -cF -- "${want%'*'}" >/dev/null && return 0
        else
            trace_lines | grep -cxF -- "$want" >/dev/null && return 0
        fi
        kill -0 "$GAME_PID" 2>/dev/null || { echo "game ended before 'trace $want'" >&2; return 1; }
        [ "$waited" -ge "$limit" ] && { echo "no 'trace $want' within ${2:-60} s" >&2; return 1; }
        sleep 0.1
        waited=$((waited + 1))
    done
}

# trace_in_order <line>...: the lines appear in the trace in this order (other lines between); a
# line ending in '*' matches any line it begins.
trace_in_order() {
    local line at=0 n
    for line in "$@"; do
        # awk reads to the end: an early exit could close the pipe on sed, failing the pipeline.
        n=$(trace_lines | awk -v want="$line" -v from="$at" 'NR > from && !found {
                if (want ~ /\*$/) { if (index($0, substr(want, 1, length(want) - 1)) == 1) { print NR; found = 1 } }
                else if ($0 == want) { print NR; found = 1 } }')
        [ -n "$n" ] || { echo "trace out of order or missing: '$line'; trace:" >&2; trace_lines >&2; return 1; }
        at=$n
    done
}

# pixel <vx> <vy>: prints the pixel position of a virtual point.
pixel() { echo "$(( $1 * SCREEN_W / 1920 )) $(( $2 * SCREEN_H / 1080 ))"; }

# move_virtual <vx> <vy>: moves the pointer there and lets two frames pass.
move_virtual() {
    local x y
    read -r x y <<<"$(pixel "$1" "$2")"
    xdotool mousemove "$x" "$y"
    sleep 0.3
}

# click_virtual <vx> <vy>: move, two frames, click (press and release in frames of their own).
click_virtual() {
    move_virtual "$1" "$2"
    xdotool mousedown 1
    sleep 0.15
    xdotool mouseup 1
    sleep 0.15
}

# key <name>: one key to the game's window.
key() {
    local window
    window=$(xdotool search --name "^$GAME_NAME\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] && xdotool windowfocus "$window" 2>/dev/null
    xdotool key "$1"
}

# screenshot <file>: the whole screen as PNG; kept in E2E_KEEP (when set) if the test fails.
screenshot() {
    import -window root "$1"
    [ -n "${E2E_KEEP:-}" ] && mkdir -p "$E2E_KEEP" && cp "$1" "$E2E_KEEP/" 2>/dev/null
    return 0
}

# count_pixels <png> <x> <y> <w> <h> <awk test on r, g, b>: pixels of the box (pixels) that pass.
count_pixels() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -depth 8 txt:- |
        awk -F'[(),]' "NR > 1 { r = \$3 + 0; g = \$4 + 0; b = \$5 + 0; if ($6) n++ } END { print n + 0 }"
}

# count_near <png> <x> <y> <w> <h> <r> <g> <b> <tolerance>: pixels of the box near the colour.
count_near() {
    count_pixels "$1" "$2" "$3" "$4" "$5" \
        "(r - $6) ^ 2 <= $9 ^ 2 && (g - $7) ^ 2 <= $9 ^ 2 && (b - $8) ^ 2 <= $9 ^ 2"
}

# rgb_of <png> <x> <y>: prints "r g b" of one pixel.
rgb_of() {
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- |
        sed -n '2s/^[^(]*(\([0-9.]*\),\([0-9.]*\),\([0-9.]*\).*/\1 \2 \3/p' | awk '{ printf "%d %d %d\n", $1, $2, $3 }'
}
