#!/usr/bin/env bash
# Soak: the real program (an AddressSanitizer + UBSan build) under Xvfb at 1920 x 1080, fed random
# clicks, drags, keys and wheel turns over the whole window for SOAK_MINUTES (30) minutes. The
# game's own folder (drive C's "ZAV Games") is put back as a first start left it every
# SOAK_RESET_MINUTES (4) minutes. A quit (a click on Quit, Escape in the main menu) is counted and
# the game started again; it fails on a crash, a sanitizer report, a game that stops running, or
# resident memory growing more than 10 % between the 5th minute and the end. The game takes one
# input message per frame, and the sanitizer build draws few frames: each action waits for the
# frames its messages need (counted by tools/soak_frames.c, preloaded), or the input would pile up
# and be acted on long after it was sent, in whatever screen the game has reached by then.
#
# tools/soak.sh <zavgolf binary> <run folder laid out as for `make play`>
# Environment: SOAK_MINUTES, SOAK_RESET_MINUTES, SOAK_SEED (replays an input sequence, up to the
# game's own timing), SOAK_OUT (where logs stay; a temporary folder by default).
set -uo pipefail

game=$(realpath "${1:?usage: soak.sh <zavgolf> <run folder>}")
source_run=$(realpath "${2:?usage: soak.sh <zavgolf> <run folder>}")
minutes=${SOAK_MINUTES:-30}
reset_minutes=${SOAK_RESET_MINUTES:-4}
seed=${SOAK_SEED:-$(( $(date +%s) % 32768 ))}
out=${SOAK_OUT:-$(mktemp -d /tmp/zav-soak-XXXXXX)}
mkdir -p "$out"
RANDOM=$seed
W=1920 H=1080

log() { echo "soak $(date +%H:%M:%S) $*" | tee -a "$out/soak.log" >&2; }

# A private X server; the run folder copied so that nothing of the build's is changed.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 "${W}x${H}x24" -nolisten tcp -noreset +extension GLX 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 number <"$fifo" || { rm -f "$fifo"; echo "soak: Xvfb did not start" >&2; exit 1; }
rm -f "$fifo"
export DISPLAY=":$number"

run="$out/run"
rm -rf "$run"
cp -a "$source_run" "$run"
frames_file="$out/frames"
gcc -O2 -shared -fPIC -o "$out/soak_frames.so" "$(dirname "$0")/soak_frames.c" -ldl ||
    { echo "soak: cannot build the frame counter" >&2; exit 1; }
export ZAVGOLF_DRIVE_C="$run/user" ZAVGOLF_SHELL="log:$run/shell.log" ZAVGOLF_TRACE=1
export SDL_AUDIODRIVER=dummy HOME="$run/home"
mkdir -p "$HOME"
# X11 and Mesa keep allocations to the end of the process: leaks there are not ours to find. A
# small quarantine keeps freed blocks from looking like growth of the resident memory.
# The frame counter is preloaded before the sanitizer's run-time, which is harmless here.
export ASAN_OPTIONS="detect_leaks=0:quarantine_size_mb=32:abort_on_error=0:halt_on_error=1:verify_asan_link_order=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
game_folder="$ZAVGOLF_DRIVE_C/ZAV Games"
title=$(head -n 1 "$run/data/txt/nameofgame.ini" | tr -d '\r')

game_pid=""
starts=0 quits=0 resets=0 clicks=0 drags=0 wheels=0 keys=0 escapes=0
status="PASS" why=""

cleanup() {
    [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT

start_game() {
    starts=$((starts + 1))
    game_out="$out/game-$starts.out"
    rm -f "$frames_file"
    (cd "$run" && SOAK_FRAMES="$frames_file" LD_PRELOAD="$out/soak_frames.so" exec "$game") >"$game_out" 2>&1 &
    game_pid=$!
    local waited=0 window=""
    while [ "$waited" -lt 600 ]; do
        window=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        kill -0 "$game_pid" 2>/dev/null || break
        sleep 0.1
        waited=$((waited + 1))
    done
    [ -n "$window" ] && xdotool windowfocus "$window" 2>/dev/null
}

frames_drawn() { tr -d ' \n' 2>/dev/null <"$frames_file" || echo 0; }

# wait_frames <n>: until the game has drawn n more frames than at the last call, 10 s at most.
last_frames=0
wait_frames() {
    local want=$((last_frames + $1)) now_frames waited=0
    while :; do
        now_frames=$(frames_drawn)
        [ "${now_frames:-0}" -lt "$last_frames" ] && want=$1  # a new run of the game
        [ "${now_frames:-0}" -ge "$want" ] && break
        [ "$waited" -ge 200 ] && break
        sleep 0.05
        waited=$((waited + 1))
    done
    last_frames=${now_frames:-0}
}

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }

# sanitizer_report <file>: the report's first lines, when the output holds one.
sanitizer_report() {
    grep -m 1 -A 12 -E 'ERROR: (Address|Leak|Undefined)Sanitizer|runtime error:|SUMMARY: (Address|Undefined)' "$1"
}

# The game ended on its own: a quit when it went through its shut-down cleanly, else a crash.
game_ended() {
    wait "$game_pid"
    local code=$? report
    report=$(sanitizer_report "$game_out")
    if [ -n "$report" ]; then
        status="FAIL" why="sanitizer report (run $starts, $game_out)"
        log "$why"; echo "$report" >&2
    elif [ "$code" -ne 0 ] || ! grep -qx 'trace exit' "$game_out"; then
        status="FAIL" why="crash: run $starts ended with status $code ($game_out)"
        log "$why"; tail -n 20 "$game_out" >&2
    else
        quits=$((quits + 1))
        log "the game quit (run $starts)"
    fi
    game_pid=""
}

# A first start writes the options and the two players; that folder is what every reset restores.
start_game
for _ in $(seq 600); do
    grep -q '^trace intro start' "$game_out" 2>/dev/null && break
    kill -0 "$game_pid" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q '^trace intro start' "$game_out"; then
    log "the game did not start"; cat "$game_out" >&2; exit 1
fi
cp -a "$game_folder" "$out/pristine"
[ -d "$run/data/perso" ] && cp -a "$run/data/perso" "$out/pristine-perso"

reset_folder() {
    rm -rf "$game_folder"
    cp -a "$out/pristine" "$game_folder"
    if [ -d "$out/pristine-perso" ]; then
        rm -rf "$run/data/perso"
        cp -a "$out/pristine-perso" "$run/data/perso"
    fi
    resets=$((resets + 1))
}

keys_pool=(a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9 space Return Return
           Return BackSpace Tab Up Down Left Right Up Down Left Right Delete Home End Prior Next minus
           plus period comma shift+a shift+Tab ctrl+z ctrl+s F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11)
held_pool=(Up Down Left Right Up Down Left Right Prior Next shift space)
# Where the screens keep their buttons (main, play and options menus, the course sets, the
# editor's tool column, palette and panel, a dialog's OUI, the back buttons): a third of the clicks
# land near one, so that the soak gets past screens a uniform click rarely leaves.
hot_spots=(960,490 960,535 960,580 960,625 960,715 960,512 960,557 960,600 960,400 960,445
           1440,650 1440,690 1440,730 1440,770 1440,810 960,952 960,976 826,640 1094,640
           60,66 60,106 60,146 60,186 60,226 60,266 60,306 60,346 60,386 40,212 380,666
           120,955 360,955 600,955 840,955 1080,955 1320,955 1560,955 1800,955 16,975)

# screen_state: the screen the trace last changed to: 0 from the main loop's first frame, "" before.
screen_state() {
    tac "$game_out" 2>/dev/null | awk '/^trace state / { print $5; exit } /^trace loop$/ { print 0; exit }'
}

# One random action over the whole window. F12 (quit at once) is never sent. In the main menu,
# Escape and a click on Quit end the game: one in fifty of those is let through, so that quitting
# is covered without the game spending the soak starting up.
random_action() {
    local x=$((RANDOM % W)) y=$((RANDOM % H)) roll=$((RANDOM % 100)) in_menu=0
    [ "$(screen_state)" = 0 ] && in_menu=1
    if [ $((RANDOM % 3)) -eq 0 ]; then
        local spot=${hot_spots[$((RANDOM % ${#hot_spots[@]}))]}
        x=$(( ${spot%,*} + RANDOM % 31 - 15 )) y=$(( ${spot#*,} + RANDOM % 17 - 8 ))
        [ "$x" -lt 0 ] && x=0
    fi
    if [ "$roll" -lt 50 ]; then
        local button=1
        [ $((RANDOM % 8)) -eq 0 ] && button=3
        if [ "$in_menu" = 1 ] && [ "$x" -ge 800 ] && [ "$x" -lt 1120 ] && [ "$y" -ge 735 ] && [ "$y" -lt 785 ] &&
            [ $((RANDOM % 50)) -ne 0 ]; then
            y=$((y - 120))
        fi
        xdotool mousemove "$x" "$y" click --repeat $((RANDOM % 3 == 0 ? 2 : 1)) "$button" 2>/dev/null
        clicks=$((clicks + 1))
    elif [ "$roll" -lt 60 ]; then
        xdotool mousemove "$x" "$y" mousedown 1 2>/dev/null
        sleep 0.$((RANDOM % 3 + 1))
        xdotool mousemove $((RANDOM % W)) $((RANDOM % H)) 2>/dev/null
        sleep 0.1
        xdotool mouseup 1 2>/dev/null
        drags=$((drags + 1))
    elif [ "$roll" -lt 72 ]; then
        xdotool mousemove "$x" "$y" click --repeat $((RANDOM % 5 + 1)) --delay 30 $((RANDOM % 2 + 4)) 2>/dev/null
        wheels=$((wheels + 1))
    elif [ "$roll" -lt 76 ]; then
        local k=${held_pool[$((RANDOM % ${#held_pool[@]}))]}
        xdotool keydown "$k" 2>/dev/null
        sleep 0.$((RANDOM % 9 + 1))
        xdotool keyup "$k" 2>/dev/null
        keys=$((keys + 1))
    elif [ "$roll" -lt 99 ] || { [ "$in_menu" = 1 ] && [ $((RANDOM % 50)) -ne 0 ]; }; then
        xdotool key "${keys_pool[$((RANDOM % ${#keys_pool[@]}))]}" 2>/dev/null
        keys=$((keys + 1))
    else
        xdotool key Escape 2>/dev/null
        escapes=$((escapes + 1))
    fi
}

log "seed $seed, $minutes minutes, the folder reset every $reset_minutes minutes, logs in $out"
start=$(date +%s)
end=$((start + minutes * 60))
next_reset=$((start + reset_minutes * 60))
next_sample=$start
last_ticks=-1 ticks_since=$start
: >"$out/rss.tsv"
actions=0
while :; do
    now=$(date +%s)
    [ "$now" -ge "$end" ] && break
    if ! kill -0 "$game_pid" 2>/dev/null; then
        game_ended
        [ "$status" = FAIL ] && break
        start_game
        last_ticks=-1
    fi
    if [ "$now" -ge "$next_sample" ]; then
        rss=$(rss_kib "$game_pid")
        [ -n "$rss" ] && printf '%d\t%d\t%d\n' $((now - start)) "$game_pid" "$rss" >>"$out/rss.tsv"
        # The loop draws without pause: CPU time that stands still for a minute is a hang.
        ticks=$(cpu_ticks "$game_pid")
        if [ -n "$ticks" ] && [ "$ticks" != "$last_ticks" ]; then
            last_ticks=$ticks ticks_since=$now
        elif [ -n "$ticks" ] && [ $((now - ticks_since)) -ge 60 ]; then
            status="FAIL" why="hang: run $starts used no CPU for 60 s"
            log "$why"
            break
        fi
        next_sample=$((now + 10))
    fi
    if [ "$now" -ge "$next_reset" ]; then
        reset_folder
        log "folder reset $resets"
        next_reset=$((now + reset_minutes * 60))
    fi
    random_action
    actions=$((actions + 1))
    wait_frames 4
    # The window may have lost the focus to nothing after a restart or a change of mode.
    [ $((actions % 200)) -eq 0 ] && xdotool search --name "^$title\$" 2>/dev/null | head -n 1 |
        xargs -r xdotool windowfocus 2>/dev/null
    sleep 0.0$((RANDOM % 9 + 1))
done

# The end: the running game is asked to close, and must shut down cleanly too.
if [ "$status" = PASS ] && [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
    kill -TERM "$game_pid"
    for _ in $(seq 300); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$game_pid" 2>/dev/null; then
        status="FAIL" why="the game did not close within 30 s of SIGTERM"
        kill -KILL "$game_pid"
        game_pid=""
    else
        game_ended
        quits=$((quits - 1))  # the closing one was asked for
    fi
fi
for file in "$out"/game-*.out; do
    report=$(sanitizer_report "$file")
    if [ -n "$report" ] && [ "$status" = PASS ]; then
        status="FAIL" why="sanitizer report in $file"
        echo "$report" >&2
    fi
done

# Memory: the sample at the 5th minute against the last one, of the same process. When the game
# was started again after the 5th minute, the longest run that spans 5 minutes past its own start,
# or the 5th soak minute, is compared from then to its end.
memory=$(awk -F'\t' -v limit=10 '
    { t[NR] = $1; p[NR] = $2; r[NR] = $3; if (!($2 in first)) first[$2] = $1; last[$2] = NR }
    END {
        best = ""; span = 0
        for (pid in last) {
            from = first[pid] + 300; if (from < 300) from = 300
            if (t[last[pid]] - from > span) { span = t[last[pid]] - from; best = pid }
        }
        if (best == "" || span < 600) { print "not checked (no run of the game lasted 10 minutes past its 5th minute)"; exit 2 }
        from = first[best] + 300; if (from < 300) from = 300
        for (i = 1; i <= NR; i++) if (p[i] == best && t[i] >= from) { a = r[i]; at = t[i]; break }
        b = r[last[best]]; bt = t[last[best]]
        growth = (b - a) * 100.0 / a
        printf "RSS %.0f MiB at %d:%02d -> %.0f MiB at %d:%02d (%+.1f%%)", a / 1024, at / 60, at % 60, b / 1024, bt / 60, bt % 60, growth
        exit growth > limit ? 1 : 0
    }' "$out/rss.tsv")
memory_status=$?
if [ "$status" = PASS ] && [ "$memory_status" -eq 1 ]; then
    status="FAIL" why="resident memory grew more than 10%"
fi
[ "$status" = PASS ] && [ "$memory_status" -eq 2 ] && status="FAIL" why="memory growth not measured"

elapsed=$(( $(date +%s) - start ))
screens=$(cat "$out"/game-*.out | awk '/^trace state / { print $5 }' | sort -un | tr '\n' ' ')
summary="soak: $status after $((elapsed / 60)) min $((elapsed % 60)) s, seed $seed: $actions actions ($clicks clicks, $drags drags, $wheels wheel turns, $keys keys, $escapes Escapes), $resets folder resets, $starts starts, $quits quits, screens seen: ${screens% }; $memory${why:+; $why}"
echo "$summary" | tee -a "$out/soak.log"
[ "$status" = PASS ]
