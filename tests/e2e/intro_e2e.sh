#!/usr/bin/env bash
# The logo intro at 960 x 540, twice. Left alone: its 60th frame lights the middle of the screen,
# the settled logo stands in the middle third far brighter than the dark corners, and the intro
# ends by itself within 12 s. With Escape as it starts: it skips to the fade and ends when the
# fade's 128 steps of 17 ms have passed on the clock (2.2 s, however many frames the build draws in
# them), far short of the turn's 288 (4.9 s). Both runs then reach the main menu, and F12 ends them
# with status 0.
set -euo pipefail
source "$(dirname "$0")/shell.sh"

# luma <png> <x> <y> <w> <h>: mean luminance (0 to 255) of a box.
luma() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -format '%[fx:mean*255]' info:
}

# middle_luma <png>: of the middle third (in both directions).
middle_luma() { luma "$1" $((SCREEN_W / 3)) $((SCREEN_H / 3)) $((SCREEN_W / 3)) $((SCREEN_H / 3)); }

# corners_luma <png>: the mean of the four corner boxes (a sixth of the screen each way).
corners_luma() {
    local w=$((SCREEN_W / 6)) h=$((SCREEN_H / 6)) sum=0 at x y
    for at in "0 0" "$((SCREEN_W - w)) 0" "0 $((SCREEN_H - h))" "$((SCREEN_W - w)) $((SCREEN_H - h))"; do
        read -r x y <<<"$at"
        sum=$(awk -v a="$sum" -v b="$(luma "$1" "$x" "$y" "$w" "$h")" 'BEGIN { print a + b }')
    done
    awk -v s="$sum" 'BEGIN { print s / 4 }'
}

# to_menu_and_quit: past the presentation page to the main menu, then F12 and a clean end.
to_menu_and_quit() {
    wait_trace "page 1 start" 120
    key Escape
    wait_trace "loop" 120
    key F12
    local status=0
    wait_game_end 60 || status=$?
    [ "$status" -eq 0 ] || { echo "game ended with status $status" >&2; exit 1; }
}

# Run 1: no input.
start_traced_game "$1" "$2" 960x540
wait_trace "intro start" 120
started=$(date +%s)
wait_trace "intro frame 60" 30
screenshot "$E2E_RUN/intro60.png"
middle=$(middle_luma "$E2E_RUN/intro60.png")
awk -v m="$middle" 'BEGIN { exit !(m >= 40) }' ||
    { echo "at frame 60 the middle third's luminance is only $middle" >&2; exit 1; }
wait_trace "intro turned" 30
screenshot "$E2E_RUN/turned.png"
middle=$(middle_luma "$E2E_RUN/turned.png")
corners=$(corners_luma "$E2E_RUN/turned.png")
echo "frame 60: middle third $(middle_luma "$E2E_RUN/intro60.png"); turned: middle third $middle, corners $corners"
awk -v m="$middle" -v c="$corners" 'BEGIN { exit !(m >= 3 * c && m >= 20) }' ||
    { echo "the settled logo's middle third has luminance $middle, the corners $corners" >&2; exit 1; }
wait_trace "intro end*" $((12 - ($(date +%s) - started)))
to_menu_and_quit
first_run=$E2E_RUN

# Run 2: Escape as soon as the intro starts, on the same server.
make_run_folder "$2"
rm -rf "$first_run"
start_game "$1" "$E2E_RUN"
wait_trace "intro start" 120
key Escape
wait_trace "intro skip" 30
skipped=$(date +%s.%N)
wait_trace "intro end*" 30
ended=$(date +%s.%N)
trace_in_order "intro start" "intro skip" "intro end*"
steps=$(trace_lines | sed -n 's/^intro end steps \([0-9]*\)$/\1/p' | head -n 1)
seconds=$(awk -v a="$skipped" -v b="$ended" 'BEGIN { printf "%.2f", b - a }')
echo "skipped intro: ended $seconds s after the skip, in ${steps:-?} frames"
# A step is 17 ms of the clock, not a frame: a fast build draws more frames in the same fade. Each
# line is seen up to a poll late, so the fade's 2.2 s is checked with room on both sides.
[ -n "$steps" ] && awk -v t="$seconds" 'BEGIN { exit !(t >= 1.5 && t <= 4.0) }' ||
    { echo "the skipped intro ended $seconds s after the skip ('${steps:-?}' frames)" >&2; trace_lines >&2; exit 1; }
to_menu_and_quit
