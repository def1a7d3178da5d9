#!/usr/bin/env bash
# The hole editor at 960 x 540 on the default data: EDITOR on the main menu cuts into it, BORNESTART
# and a click in the view place the theme's START where the trace says (its lit top is brighter on
# screen than the ground was there), Escape asks first and OUI goes back to the main menu with the
# game still running, and F12 ends the game cleanly.
set -euo pipefail
source "$(dirname "$0")/shell.sh"

start_traced_game "$1" "$2" 960x540

fail() {
    echo "$1" >&2
    [ -n "${2:-}" ] && cp "$2" "${E2E_KEEP:-/nonexistent}/" 2>/dev/null
    exit 1
}
# brightness <png> <x> <y>: the channel sum of one pixel.
brightness() {
    local r g b
    read -r r g b <<<"$(rgb_of "$1" "$2" "$3")"
    echo $((r + g + b))
}

wait_trace "page 1 start" 120
key Escape
wait_trace "loop" 120
click_virtual 960 535  # EDITOR
wait_trace "state 0 -> 111 cut"
away="1500 300"  # in the view, clear of the toolbar, the panel, the band and the edges
move_virtual $away
sleep 0.5
before="$E2E_RUN/editor_before.png"
screenshot "$before"

click_virtual 40 212  # BORNESTART, the toolbar's fifth button
click_virtual 960 500
wait_trace "editor place START *"
read -r x z sx sy <<<"$(trace_lines | sed -n 's/^editor place START \([^ ]*\) \([^ ]*\) screen \([^ ]*\) \([^ ]*\)$/\1 \2 \3 \4/p' | head -n 1)"
[ -n "${sy:-}" ] || fail "no placement in the trace"
move_virtual $away
sleep 0.5
after="$E2E_RUN/editor_after.png"
screenshot "$after"
was=$(brightness "$before" "$sx" "$sy")
now=$(brightness "$after" "$sx" "$sy")
# GROUND is shaded 0.3, a top 1.0.
[ $((now * 2)) -ge $((was * 3)) ] || fail "at ($sx, $sy) the START's top sums $now, the ground summed $was" "$after"

# The hole changed: Escape asks, OUI leaves.
key Escape
sleep 0.5
screenshot "$E2E_RUN/editor_ask.png"
trace_lines | grep -q "^state 111 -> 0" && fail "Escape left without asking"
click_virtual 826 640  # OUI
wait_trace "state 111 -> 0 cut"
sleep 1
kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended on leaving the editor"

key F12
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || fail "game ended with status $status"
wait_trace exit 1
