# Sourced by the end-to-end tests: a private X server of 1920 x 1080 with software OpenGL, and
# helpers to drive the game as a person would.

# start_xvfb [WIDTHxHEIGHT]: starts Xvfb (1920x1080 by default) on a free display, exports DISPLAY
# and SCREEN_W, SCREEN_H, stops the server when the test ends.
start_xvfb() {
    local size=${1:-1920x1080}
    SCREEN_W=${size%x*}
    SCREEN_H=${size#*x}
    export SCREEN_W SCREEN_H
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp +extension GLX 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    local number
    read -r -t 20 number <"$fifo" || { rm -f "$fifo"; echo "Xvfb did not start" >&2; return 1; }
    rm -f "$fifo"
    export DISPLAY=":$number"
    export LIBGL_ALWAYS_SOFTWARE=1
    trap e2e_cleanup EXIT
}

# e2e_cleanup: ends the game and the server, removes the run folder (E2E_RUN) unless the test
# failed and E2E_KEEP is set.
e2e_cleanup() {
    local status=$?
    set +e
    stop_game
    [ -n "${XVFB_PID:-}" ] && { kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; }
    if [ -n "${E2E_RUN:-}" ]; then
        if [ "$status" -ne 0 ]; then
            echo "--- game output ---" >&2
            cat "$E2E_RUN/game.out" >&2 2>/dev/null
        fi
        [ "$status" -ne 0 ] && [ -n "${E2E_KEEP:-}" ] || rm -rf "$E2E_RUN"
    fi
    exit $status
}

# make_run_folder <data writer>: a fresh working folder with the default data and its own user
# data folder (drive C:), in E2E_RUN.
make_run_folder() {
    E2E_RUN=$(mktemp -d)
    "$1" "$E2E_RUN/data"
    export ZAVGOLF_DRIVE_C="$E2E_RUN/user"
    export ZAVGOLF_SHELL="log:$E2E_RUN/shell.log"
}

# start_game <binary> <run folder>: starts the game in its working folder, in the background.
start_game() {
    (cd "$2" && exec "$1") >"$2/game.out" 2>&1 &
    GAME_PID=$!
}

# wait_window <title> [seconds]: waits for the game's window and prints its id.
wait_window() {
    local waited=0 id
    while [ "$waited" -lt "${2:-30}" ]; do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$GAME_PID" 2>/dev/null || { echo "game ended before its window showed" >&2; return 1; }
        sleep 1
        waited=$((waited + 1))
    done
    echo "no window titled '$1'" >&2
    return 1
}

# wait_game_end [seconds]: waits for the game to end; returns its exit status (124 on time-out).
wait_game_end() {
    local waited=0
    while kill -0 "$GAME_PID" 2>/dev/null; do
        [ "$waited" -ge "${1:-30}" ] && return 124
        sleep 0.5
        waited=$((waited + 1))
    done
    wait "$GAME_PID"
}

stop_game() {
    [ -n "${GAME_PID:-}" ] && kill "$GAME_PID" 2>/dev/null
    return 0
}
