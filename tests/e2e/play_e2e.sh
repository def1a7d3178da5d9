#!/usr/bin/env bash
# `make play` from start-up to the main menu and out again: the start-up's trace in order (Escape
# shortens the presentation page), the menu over its background picture with its six labels, the
# hovered label in the selection colour, an F9 screenshot, and Escape ending the game cleanly with
# its options, players and help page.
set -euo pipefail
source "$(dirname "$0")/shell.sh"

start_traced_game "$1" "$2" 960x540
wait_trace "page 1 start" 120
key Escape
wait_trace "loop" 120
trace_in_order loading "intro start" "intro end*" "page 1 start" "page 1 end" "theme *" "sound *" loop
sleep 0.5
shot="$E2E_RUN/menu.png"
screenshot "$shot"

# The background is the picture, sampled as a page samples it, where no label or pointer lies.
picture="$E2E_RUN/data/gfx/background.png"
read -r pw ph <<<"$(identify -format '%w %h' "$picture")"
for point in "60 60" "900 60" "60 480" "900 480"; do
    read -r x y <<<"$point"
    read -r r g b <<<"$(rgb_of "$shot" "$x" "$y")"
    read -r wr wg wb <<<"$(rgb_of "$picture" $((x * (pw - 1) / SCREEN_W)) $((y * (ph - 1) / SCREEN_H)))"
    for pair in "$r $wr" "$g $wg" "$b $wb"; do
        read -r got want <<<"$pair"
        [ $((got > want ? got - want : want - got)) -le 8 ] ||
            { echo "background at ($x, $y) is $r $g $b, the picture gives $wr $wg $wb" >&2; exit 1; }
    done
done

# Each label has light text pixels in its box (the pointer rests in the middle of the screen:
# move it away first).
move_virtual 1700 1000
screenshot "$shot"
box_of() { echo "$((SCREEN_W / 2 - 90)) $(( $1 * SCREEN_H / 1080 - 9 )) 180 18"; }
for label in 490 535 580 625 715 760; do
    read -r x y w h <<<"$(box_of "$label")"
    n=$(count_pixels "$shot" "$x" "$y" "$w" "$h" 'r > 200 && g > 200 && b > 190')
    [ "$n" -ge 15 ] || { echo "the label at virtual y $label has $n text pixels" >&2; exit 1; }
done

# Hovering JOUER turns it to the selection colour; EDITOR keeps its own.
move_virtual 960 490
sleep 0.3
screenshot "$E2E_RUN/hover.png"
selection='r > 200 && g > 140 && g < 235 && b < 120'
read -r x y w h <<<"$(box_of 490)"
n=$(count_pixels "$E2E_RUN/hover.png" "$x" "$y" "$w" "$h" "$selection")
[ "$n" -ge 15 ] || { echo "hovered JOUER has $n selection-colour pixels" >&2; exit 1; }
read -r x y w h <<<"$(box_of 535)"
n=$(count_pixels "$E2E_RUN/hover.png" "$x" "$y" "$w" "$h" "$selection")
[ "$n" -eq 0 ] || { echo "EDITOR has $n selection-colour pixels while JOUER is hovered" >&2; exit 1; }

# F9 writes a numbered screenshot into the captures folder.
key F9
captures="$ZAVGOLF_DRIVE_C/ZAV Games/Captures"
for _ in $(seq 50); do
    ls "$captures"/screenshot*.tga >/dev/null 2>&1 && break
    sleep 0.2
done
ls "$captures"/screenshot*.tga >/dev/null 2>&1 || { echo "F9 wrote no screenshot" >&2; exit 1; }

key Escape
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || { echo "game ended with status $status" >&2; exit 1; }
wait_trace exit 1
grep -q 'html/index.html$' "$E2E_RUN/shell.log" || { echo "the help page was not opened" >&2; exit 1; }
for file in "Saves/OPTIONS.DAT" "Players/Player.dat" "Players/Nobody.dat"; do
    [ -f "$ZAVGOLF_DRIVE_C/ZAV Games/$file" ] || { echo "missing $file" >&2; exit 1; }
done
