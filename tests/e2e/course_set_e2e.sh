#!/usr/bin/env bash
# The course-set screen at 960 x 540: two sets written into the run folder, the main menu's and the
# play menu's JOUER, the first set previewed (its red, green and blue pictures as thumbnails, its
# description's first line), its JOUER into course play with the set's folder (no hole: the final
# card, clicked away), the thumbnails released on the way, and Escape on the main menu ending the game.
set -euo pipefail
source "$(dirname "$0")/shell.sh"

start_traced_game "$1" "$2" 960x540
# The play menu lists the sets when its JOUER is clicked, long after this: these two and the
# shipped Meadow, after them by name.
sets="$E2E_RUN/data/parcours"
mkdir -p "$sets/Alpha" "$sets/Beta"
convert -size 64x64 xc:'#ff0000' "PNG24:$sets/Alpha/a_red.png"
convert -size 64x64 xc:'#00ff00' "PNG24:$sets/Alpha/b_green.png"
convert -size 64x64 xc:'#0000ff' "PNG24:$sets/Alpha/c_blue.png"
printf '"Three short holes"\r\n"Red, green and blue"\r\n' >"$sets/Alpha/desc.txt"
convert -size 64x64 xc:'#ffff00' "PNG24:$sets/Beta/a_yellow.png"

fail() {
    echo "$1" >&2
    [ -n "${2:-}" ] && cp "$2" "${E2E_KEEP:-/nonexistent}/" 2>/dev/null
    exit 1
}

wait_trace "page 1 start" 120
key Escape
wait_trace "loop" 120
click_virtual 960 490  # the main menu's JOUER
wait_trace "fade end 1"
click_virtual 960 512  # the play menu's JOUER
wait_trace "set preview Alpha 3"
wait_trace "set hold end"
wait_trace "fade end 2"
sleep 0.3
shot="$E2E_RUN/sets.png"
screenshot "$shot"

# Thumbnails of 140 x 0.5 pixels, 4 apart, centred on (480, 100): the middle 10 x 10 of each.
for thumbnail in "406 255 0 0" "480 0 255 0" "554 0 0 255"; do
    read -r x r g b <<<"$thumbnail"
    n=$(count_near "$shot" $((x - 5)) 95 10 10 "$r" "$g" "$b" 40)
    [ "$n" -ge 90 ] || fail "the thumbnail at ($x, 100) has $n pixels near $r $g $b" "$shot"
done
# The first description line at virtual y 300: light text across the middle.
n=$(count_pixels "$shot" 330 142 300 16 'r > 200 && g > 200 && b > 190')
[ "$n" -ge 20 ] || fail "the first description line has $n text pixels" "$shot"

click_virtual 1440 650  # the screen's JOUER
# Alpha has no hole: course play shows the final card at once and waits for a click.
wait_trace "final card"
click_virtual 960 540
wait_trace "state 888 -> 0 cut"
trace_in_order "state 1 -> 2 fade" "set list 3" "set preview Alpha 3" "set hold end" "state 2 -> 888 cut" \
    "thumbnails released 3" "course play data/parcours/Alpha/" "final card" "state 888 -> 0 cut"
sleep 0.3
key Escape
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || fail "game ended with status $status"
wait_trace exit 1
