#!/usr/bin/env bash
# Course play at 960 x 540 on the default data: the main menu's, the play menu's and the course
# set's JOUER into the Meadow course, its first hole lit and shown (grass green where the view's
# probes meet the ground and a block's top, not in the sky), an F9 capture, a stroke held half a
# second at the screen's centre moving the ball, and F12 ending the game with the hole's lit copy
# written and no player file rewritten.
set -euo pipefail
source "$(dirname "$0")/shell.sh"

fail() {
    echo "$1" >&2
    [ -n "${2:-}" ] && cp "$2" "${E2E_KEEP:-/nonexistent}/" 2>/dev/null
    exit 1
}

start_traced_game "$1" "$2" 960x540
games="$ZAVGOLF_DRIVE_C/ZAV Games"
[ -f "$E2E_RUN/data/parcours/Meadow/hole01.qel" ] || fail "the default data has no Meadow course"

wait_trace "page 1 start" 120
key Escape
wait_trace "loop" 120
players_before=$(cd "$games/Players" && md5sum -- *.dat)
click_virtual 960 490  # the main menu's JOUER
wait_trace "fade end 1"
click_virtual 960 512  # the play menu's JOUER
wait_trace "set hold end"
wait_trace "fade end 2"
sleep 0.3
click_virtual 1440 650  # the course set's JOUER: Meadow, the only set
wait_trace "course play data/parcours/Meadow/"
wait_trace "hole open Meadow/hole01 lit" 300
wait_trace "hole frame 1" 60
trace_in_order "state 2 -> 888 cut" "course play data/parcours/Meadow/" "hole open Meadow/hole01 lit" "hole frame 1"
[ -f "$games/QEL/Meadow/hole01A.qel" ] || fail "no lit copy of hole01"
wait_trace "ball rest *" 60
move_virtual 960 540
sleep 0.5
shot="$E2E_RUN/hole.png"
screenshot "$shot"

# green_largest <png> <x> <y>: green above red and blue in the 3 x 3 pixels around the point.
green_largest() {
    [ "$(count_pixels "$1" $(($2 - 1)) $(($3 - 1)) 3 3 'g > r && g > b')" -ge 5 ]
}
# Most probes of a kind have green the largest (or, for the sky, not); the banner's texts and the
# pointer may stand over a few of them.
check_probes() {
    local kind=$1 want=$2 total=0 green=0 x y
    while read -r x y; do
        total=$((total + 1))
        green_largest "$shot" "$x" "$y" && green=$((green + 1))
    done < <(trace_lines | sed -n "s/^view probe $kind //p")
    [ "$total" -gt 0 ] || fail "no '$kind' probe in the trace" "$shot"
    if [ "$want" = green ]; then
        [ $((green * 3)) -ge $((total * 2)) ] || fail "$green of $total '$kind' probes are green" "$shot"
    else
        [ $((green * 3)) -le "$total" ] || fail "$green of $total '$kind' probes are green" "$shot"
    fi
}
check_probes ground green
check_probes top green
check_probes sky other

# F9: a capture in the captures folder.
key F9
for _ in $(seq 50); do
    ls "$games/Captures"/screenshot*.tga >/dev/null 2>&1 && break
    sleep 0.2
done
ls "$games/Captures"/screenshot*.tga >/dev/null 2>&1 || fail "F9 wrote no capture"

# A stroke: the left button held half a second at the centre, then the ball at rest elsewhere.
first_rest=$(trace_lines | sed -n 's/^ball rest //p' | head -n 1)
xdotool mousedown 1
sleep 0.5
xdotool mouseup 1
wait_trace "stroke 1 *" 30
for _ in $(seq 600); do
    [ "$(trace_lines | grep -c '^ball rest ')" -ge 2 ] && break
    sleep 0.1
done
second_rest=$(trace_lines | sed -n 's/^ball rest //p' | sed -n 2p)
[ -n "$second_rest" ] || fail "the ball did not come to rest after the stroke"
sleep 0.3
screenshot "$E2E_RUN/rest.png"
moved=$(awk -v a="$first_rest" -v b="$second_rest" 'BEGIN {
    split(a, p, " "); split(b, q, " ");
    print sqrt((p[1] - q[1]) ^ 2 + (p[2] - q[2]) ^ 2 + (p[3] - q[3]) ^ 2) }')
echo "stroke: $(trace_lines | grep '^stroke 1 '); moved $moved"
awk -v d="$moved" 'BEGIN { exit !(d >= 0.5) }' || fail "the ball moved $moved: from $first_rest to $second_rest"

key F12
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || fail "game ended with status $status"
wait_trace exit 1
trace_lines | grep -q '^final card' && fail "F12 during play showed the final card"
players_after=$(cd "$games/Players" && md5sum -- *.dat)
[ "$players_before" = "$players_after" ] || fail "a player file was rewritten"
