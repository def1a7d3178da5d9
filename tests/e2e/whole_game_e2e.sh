#!/usr/bin/env bash
# The whole game in one run of the real program at 960 x 540, a stage at a time (each named in the
# log as it starts): the intro (Escape), the presentation pages, the main menu, the play menu, a
# new player typed in, the course-set screen, the first two holes of Meadow played to the cup by
# the hint plans' strokes (given through ZAVGOLF_STROKES, as course_solve prints them; the run
# folder's Meadow is cut to these two holes, so that the course ends and is scored after them), a
# press on hole 2's loading frame that strikes nothing, the score cards, the scores written to the
# player's file; then hole 1 again by hand (the view's ground, block tops and sky where the trace's
# probes say, an F9 capture, a held press moving the ball,
# Escape and OUI leaving without a score); then the editor: a new course, three blocks placed (a
# placed top brighter than the ground was), Escape asking first, the hole saved and reopened
# through the dialogs with typed names, the lit view on and off, back to the main menu; and
# QUITTER (before leaving the editor a cup goes 3.5 from the START and the hole is saved again, and
# a second course, Alps, is made; after QUITTER the game starts anew, "Your courses" lists Alps and
# Trial, a click on Trial's row chooses it and its hole is holed in one by a listed putt). Every step waits on the game's trace; each screen is shot and probed (the shots stay in
# the run folder, and go to E2E_KEEP when it is set).
set -euo pipefail
source "$(dirname "$0")/shell.sh"

fail() {
    echo "${STAGE:+[$STAGE] }$1" >&2
    [ -n "${2:-}" ] && cp "$2" "${E2E_KEEP:-/nonexistent}/" 2>/dev/null
    exit 1
}
stage() {
    STAGE=$1
    echo "stage: $1"
}

[ -x "${ZAV_COURSE_SOLVE:-}" ] || fail "course_solve is needed (ZAV_COURSE_SOLVE): it gives the holes' strokes"

ROW1=150  # the middle of the editor dialogs' second row (the first is ".."), virtual y

# ---- helpers ------------------------------------------------------------------------------------

# count_of <line>: how many trace lines are equal to it (or begin with it, for a line ending in '*').
count_of() {
    if [[ $1 == *'*' ]]; then
        trace_lines | grep -cF -- "${1%'*'}" || true
    else
        trace_lines | grep -cxF -- "$1" || true
    fi
}

# wait_count <line> <n> [seconds]: waits until the trace holds the line n times.
wait_count() {
    local waited=0 limit=$(( ${3:-60} * 10 ))
    until [ "$(count_of "$1")" -ge "$2" ]; do
        kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended before 'trace $1' x $2"
        [ "$waited" -ge "$limit" ] && fail "'trace $1' not seen $2 times within ${3:-60} s"
        sleep 0.1
        waited=$((waited + 1))
    done
}

# wait_next <line> [seconds]: waits for one more such line than the trace holds now. The count is
# taken by the caller before acting: next=$(next_of <line>); act; wait_count <line> $next.
next_of() { echo $(( $(count_of "$1") + 1 )); }

# shot <name> [park]: the screen as $E2E_RUN/<name>.png (printed); with "park" the pointer first
# goes out of the way (PARK, a virtual point: the bottom right corner, in the editor a point of the
# view, since its camera pans while the pointer touches an edge).
PARK="1900 1070"
shot() {
    [ "${2:-}" = park ] && move_virtual $PARK
    screenshot "$E2E_RUN/$1.png"
    echo "$E2E_RUN/$1.png"
}

# title_pixels <png>: pixels of the title colour in the title bar of a dialog at (x, y, width) pixels.
title_pixels() { count_pixels "$1" "$2" "$3" "$4" 24 'r < 110 && g > 170 && b > 200'; }

# box_pixels <png>: pixels of the confirmation box's grey panel (800 x 150 virtual, centred).
box_pixels() {
    count_pixels "$1" $(( SCREEN_W / 2 - 400 * SCREEN_W / 1920 )) $(( SCREEN_H / 2 )) $(( 800 * SCREEN_W / 1920 )) \
        $(( 120 * SCREEN_H / 1080 )) 'r > 140 && g > 140 && b > 130 && r - b < 25 && b - r < 25'
}

# luma <png> <x> <y> <w> <h>: mean luminance (0 to 255) of a pixel box.
luma() { convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -format '%[fx:mean*255]' info:; }
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

# text_pixels <png> <virtual y> <virtual half width>: light text pixels of a centred line.
text_pixels() {
    local half=$(( $3 * SCREEN_W / 1920 )) y=$(( $2 * SCREEN_H / 1080 ))
    count_pixels "$1" $(( SCREEN_W / 2 - half )) $(( y - 9 )) $(( 2 * half )) 18 'r > 200 && g > 200 && b > 190'
}

# result_pixels <png>: pixels of the hole's centred result lines (light grey text, virtual y 512
# to 612) on whatever the view shows behind them (green, sky blue).
result_pixels() {
    count_pixels "$1" $(( SCREEN_W / 2 - SCREEN_W / 8 )) $(( 500 * SCREEN_H / 1080 )) $(( SCREEN_W / 4 )) \
        $(( 125 * SCREEN_H / 1080 )) 'r > 165 && g > 172 && b > 180 && b - r < 30'
}

# brightness <png> <x> <y>: the channel sum of one pixel.
brightness() {
    local r g b
    read -r r g b <<<"$(rgb_of "$1" "$2" "$3")"
    echo $((r + g + b))
}

# near_picture <png> <x> <y> <picture>: the screen pixel is within 40 of the picture's centre pixel
# in each channel (a thumbnail or preview drawn from it).
near_picture() {
    local r g b pr pg pb pw ph
    read -r pw ph <<<"$(identify -format '%w %h' "$4")"
    read -r r g b <<<"$(rgb_of "$1" "$2" "$3")"
    read -r pr pg pb <<<"$(rgb_of "$4" $((pw / 2)) $((ph / 2)))"
    [ $(( (r - pr) ** 2 <= 1600 && (g - pg) ** 2 <= 1600 && (b - pb) ** 2 <= 1600 )) -eq 1 ]
}

# i16 / i32 / f32 <file> <offset>: a little-endian field of a record.
i16() { od -An -td2 -j "$2" -N2 "$1" | tr -d ' '; }
i32() { od -An -td4 -j "$2" -N4 "$1" | tr -d ' '; }
f32() { od -An -tf4 -j "$2" -N4 "$1" | tr -d ' '; }

# ---- the run folder: Meadow cut to its first two holes, so that the course ends after them -------

prepare_traced_game "$2" 960x540
games="$ZAVGOLF_DRIVE_C/ZAV Games"
meadow="$E2E_RUN/data/parcours/Meadow"
[ -f "$meadow/hole02.qel" ] || fail "the default data has no Meadow course"
find "$meadow" -name 'hole0[3-9].*' -delete
strokes=$(ASAN_OPTIONS=detect_leaks=0 "$ZAV_COURSE_SOLVE" "$E2E_RUN" --strokes 2) ||
    fail "course_solve could not give the strokes of holes 1 and 2"
echo "strokes: $strokes"
export ZAVGOLF_STROKES=$strokes
launch_traced_game "$1"

# ---- intro, pages, main menu --------------------------------------------------------------------

stage intro
wait_trace "intro frame 60" 120
png=$(shot intro)
middle=$(luma "$png" $((SCREEN_W / 3)) $((SCREEN_H / 3)) $((SCREEN_W / 3)) $((SCREEN_H / 3)))
at_least "$middle" 40 || fail "at the intro's frame 60 the middle third's luminance is $middle" "$png"
key Escape
wait_trace "intro end*" 30
# On a slow machine the logo may have done its turn before the key came: the fade then runs on.
[ "$(count_of "intro skip")" -eq 1 ] || [ "$(count_of "intro turned")" -eq 1 ] || fail "Escape did not skip the intro"

stage pages
page=1
while :; do
    wait_trace "page $page start" 60
    sleep 1  # a second of the page's fade-in
    # Escape only while the page shows: on the main menu it would end the game.
    if [ "$(count_of "page $page end")" -eq 0 ]; then
        png=$(shot "page$page")
        middle=$(luma "$png" $((SCREEN_W / 4)) $((SCREEN_H / 4)) $((SCREEN_W / 2)) $((SCREEN_H / 2)))
        at_least "$middle" 8 || fail "page $page shows nothing: luminance $middle" "$png"
        key Escape
    fi
    wait_trace "page $page end" 30
    page=$((page + 1))
    for _ in $(seq 50); do
        [ "$(count_of "page $page start")" -gt 0 ] || [ "$(count_of loop)" -gt 0 ] && break
        sleep 0.1
    done
    [ "$(count_of "page $page start")" -gt 0 ] || break
done

stage "main menu"
wait_trace loop 120
trace_in_order loading "intro start" "intro end*" "page 1 start" "page 1 end" "theme *" "sound *" loop
png=$(shot menu park)
for label in 490 535 580 625 715 760; do
    n=$(text_pixels "$png" "$label" 90)
    [ "$n" -ge 15 ] || fail "the main menu's label at virtual y $label has $n text pixels" "$png"
done
players_first=$(cd "$games/Players" && md5sum -- *.dat)

# ---- a new player -------------------------------------------------------------------------------

stage "play menu"
click_virtual 960 490  # JOUER
wait_trace "fade end 1"
png=$(shot play_menu park)
for label in 512 557 602 647; do
    n=$(text_pixels "$png" "$label" 150)
    [ "$n" -ge 15 ] || fail "the play menu's line at virtual y $label has $n text pixels" "$png"
done

stage "new player"
click_virtual 960 557  # PLAYER 1
wait_trace "player dialog 1"
png=$(shot player_dialog park)
n=$(count_pixels "$png" 145 10 350 24 'r < 110 && g > 170 && b > 200')
[ "$n" -ge 15 ] || fail "the player dialog's title bar has $n pixels of the title colour" "$png"
xdotool type --delay 150 "Walker"
click_virtual $((290 + 233)) $((20 + 900))  # SELECT
wait_trace "player chosen Walker.dat"
walker="$games/Players/Walker.dat"
[ "$(stat -c %s "$walker")" -eq 1052 ] || fail "Walker.dat is not 1052 bytes"
[ "$(i32 "$walker" 1048)" -eq -1 ] || fail "Walker.dat's marker is not -1"
[ "$(i32 "$walker" 1032)" -eq 0 ] || fail "the new player has scored holes already"
png=$(shot player_chosen park)
n=$(text_pixels "$png" 557 150)
[ "$n" -ge 15 ] || fail "the PLAYER 1 line has $n text pixels after the choice" "$png"
others_before=$(cd "$games/Players" && md5sum -- Player.dat Nobody.dat)

stage "course sets"
click_virtual 960 512  # JOUER
wait_trace "set preview Meadow 2"
wait_trace "set hold end"
wait_trace "fade end 2"
sleep 0.3
png=$(shot course_sets)
# The two holes' previews as thumbnails centred on (480, 100), side by side.
for thumbnail in "443 hole01" "517 hole02"; do
    read -r x hole <<<"$thumbnail"
    near_picture "$png" "$x" 100 "$meadow/$hole.png" || fail "the thumbnail at ($x, 100) is not $hole's preview" "$png"
done

# ---- Meadow's first two holes by the listed strokes ---------------------------------------------

stage "hole 1"
click_virtual 1440 650  # JOUER
wait_trace "course play data/parcours/Meadow/" 30
wait_trace "strokes listed 2" 5
wait_trace "score card 1" 30
png=$(shot card1)
[ "$(count_of "hole frame 1")" -eq 0 ] && {
    near_picture "$png" 480 270 "$meadow/hole01.png" || fail "the score card does not show hole 1's preview" "$png"
}
wait_trace "hole open Meadow/hole01 lit" 300
[ -f "$games/QEL/Meadow/hole01A.qel" ] || fail "no lit copy of hole 1"
wait_trace "hole frame 1" 60
wait_trace "holeout 1" 120
png=$(shot hole1_out)
n=$(result_pixels "$png")
[ "$n" -ge 150 ] || fail "no result lines over the hole at its hole-out ($n text pixels)" "$png"
wait_trace "hole done 0 player 1 strokes 1" 120
trace_in_order "hole open Meadow/hole01 lit" "hole frame 1" "stroke 1 power 3.80 yaw 180 pitch -20 listed" \
    "holeout 1" "hole done 0 player 1 strokes 1"

stage "hole 2"
wait_trace "score card 2" 60
# A press on the loading frame (away from the preview), released once the hole is open: the turn
# drops it when it starts, so it strikes nothing on hole 2.
read -r x y <<<"$(pixel 1700 1000)"
xdotool mousemove "$x" "$y" mousedown 1
[ "$(count_of "hole open Meadow/hole02 *")" -eq 0 ] || fail "hole 2 was open before its loading frame was clicked"
png=$(shot card2)
[ "$(count_of "hole frame 1")" -eq 1 ] && {
    near_picture "$png" 480 270 "$meadow/hole02.png" || fail "the score card does not show hole 2's preview" "$png"
}
wait_trace "hole open Meadow/hole02 lit" 300
xdotool mouseup 1
wait_count "holeout 1" 2 120
png=$(shot hole2_out)
n=$(result_pixels "$png")
[ "$n" -ge 150 ] || fail "no result lines over the hole at its hole-out ($n text pixels)" "$png"
wait_trace "hole done 1 player 1 strokes 1" 120
trace_in_order "hole done 0 player 1 strokes 1" "hole open Meadow/hole02 lit" "turn press dropped" \
    "stroke 1 power 12.20 yaw 190 pitch -20 listed" "holeout 1" "hole done 1 player 1 strokes 1"

stage "score card"
wait_trace "final card" 60
sleep 0.3
png=$(shot final_card)
# The table: the PAR row (red) and the rows of text under it.
n=$(count_pixels "$png" 0 $(( 800 * SCREEN_H / 1080 )) "$SCREEN_W" $(( 60 * SCREEN_H / 1080 )) 'r > 150 && g < 90 && b < 90')
[ "$n" -ge 10 ] || fail "the final card shows no PAR row ($n red pixels)" "$png"
n=$(count_pixels "$png" $(( SCREEN_W / 2 - SCREEN_W / 16 )) $(( 880 * SCREEN_H / 1080 )) $(( SCREEN_W / 8 )) \
    $(( 60 * SCREEN_H / 1080 )) 'r > 150 && g > 150')
[ "$n" -ge 10 ] || fail "the final card shows no scores ($n light pixels in their row)" "$png"
click_virtual 960 540
wait_trace "score Walker holes 2 over par -3" 30
wait_trace "state 888 -> 0 cut" 30

stage "player scores"
# Hole 1 one under (1 of 2), hole 2 two under (1 of 3): -3 over two holes, one course, a mean of -1
# (the course's average is an integer division).
[ "$(i16 "$walker" 1024)" = -3 ] || fail "Walker's total over PAR is $(i16 "$walker" 1024), not -3"
[ "$(i32 "$walker" 1032)" = 2 ] || fail "Walker has $(i32 "$walker" 1032) holes scored, not 2"
[ "$(i32 "$walker" 1036)" = 1 ] || fail "Walker has $(i32 "$walker" 1036) courses finished, not 1"
at_least "$(f32 "$walker" 1028)" -1 && at_least -1 "$(f32 "$walker" 1028)" ||
    fail "Walker's mean sum is $(f32 "$walker" 1028), not -1"
[ "$(i32 "$walker" 1048)" -eq -1 ] || fail "Walker.dat's marker changed"
[ "$others_before" = "$(cd "$games/Players" && md5sum -- Player.dat Nobody.dat)" ] ||
    fail "a player who did not play was rewritten"
players_scored=$(cd "$games/Players" && md5sum -- *.dat)

# ---- hole 1 again, by hand -------------------------------------------------------------------------

stage "hole by hand"
sleep 0.5
click_virtual 960 490  # JOUER
wait_count "fade end 1" 2
click_virtual 960 512  # JOUER
wait_count "set hold end" 2
wait_count "fade end 2" 2
sleep 0.3
rests=$(count_of "ball rest *")
click_virtual 1440 650  # JOUER
wait_count "course play data/parcours/Meadow/" 2
wait_trace "hole open Meadow/hole01 copy" 120
wait_count "hole frame 1" 3
wait_count "ball rest *" $((rests + 1))
move_virtual 960 540
sleep 0.5
png=$(shot hole)

# The probes of this hole's first frame: those after the last "hole open".
probes_of() { trace_lines | awk -v kind="view probe $1 " '/^hole open / { n = 0 } index($0, kind) == 1 {
    p[n++] = substr($0, length(kind) + 1) } END { for (k = 0; k < n; k++) print p[k] }'; }
# green_largest <png> <x> <y>: green above red and blue in the 3 x 3 pixels around the point.
green_largest() { [ "$(count_pixels "$1" $(($2 - 1)) $(($3 - 1)) 3 3 'g > r && g > b')" -ge 5 ]; }
# Most probes of a kind have green the largest (or, for the sky, not); the banner's texts and the
# pointer may stand over a few of them.
check_probes() {
    local kind=$1 want=$2 total=0 green=0 x y
    while read -r x y; do
        total=$((total + 1))
        green_largest "$png" "$x" "$y" && green=$((green + 1))
    done < <(probes_of "$kind")
    [ "$total" -gt 0 ] || fail "no '$kind' probe in the trace" "$png"
    if [ "$want" = green ]; then
        [ $((green * 3)) -ge $((total * 2)) ] || fail "$green of $total '$kind' probes are green" "$png"
    else
        [ $((green * 3)) -le "$total" ] || fail "$green of $total '$kind' probes are green" "$png"
    fi
}
check_probes ground green
check_probes top green
check_probes sky other
# The far ground meets the sky without an edge: down a strip at the left edge, from the horizon line
# to the bottom, the mean luminance of neighbouring 8-row bands differs by 12 at most (a strip of
# the horizon colour between the ground's end and the sky's foot, or the far ground under an
# opaque fill, makes steps of 15 to 30).
horizon=$(trace_lines | awk '/^hole open / { h = "" } /^view horizon / { h = $3 } END { print h }')
[ -n "$horizon" ] || fail "no 'view horizon' line in the trace" "$png"
[ "$horizon" -ge 0 ] && [ "$horizon" -lt $((SCREEN_H / 2)) ] || fail "the horizon is at row $horizon" "$png"
bands=$(for ((y = horizon; y + 8 <= SCREEN_H; y += 8)); do luma "$png" 0 "$y" $((SCREEN_W / 6)) 8; echo; done)
steepest=$(awk 'NR > 1 { d = $1 - p; if (d < 0) d = -d; if (d > m) m = d } { p = $1 } END { print m + 0 }' <<<"$bands")
echo "ground bands from the horizon (row $horizon): largest step $steepest"
at_least 12 "$steepest" || fail "neighbouring ground bands below the horizon differ by $steepest" "$png"

key F9
for _ in $(seq 50); do
    ls "$games/Captures"/screenshot*.tga >/dev/null 2>&1 && break
    sleep 0.2
done
ls "$games/Captures"/screenshot*.tga >/dev/null 2>&1 || fail "F9 wrote no capture"

# A stroke: the left button held half a second at the centre, then the ball at rest elsewhere.
first_rest=$(trace_lines | sed -n 's/^ball rest //p' | tail -n 1)
strokes_before=$(count_of "stroke 1 power *")
xdotool mousedown 1
sleep 0.5
xdotool mouseup 1
wait_count "stroke 1 power *" $((strokes_before + 1)) 30
trace_lines | grep '^stroke 1 power ' | tail -n 1 | grep -c listed >/dev/null && fail "the stroke by hand was a listed one"
wait_count "ball rest *" $((rests + 2)) 60
second_rest=$(trace_lines | sed -n 's/^ball rest //p' | tail -n 1)
sleep 0.3
png=$(shot rest)
moved=$(awk -v a="$first_rest" -v b="$second_rest" 'BEGIN {
    split(a, p, " "); split(b, q, " ");
    print sqrt((p[1] - q[1]) ^ 2 + (p[2] - q[2]) ^ 2 + (p[3] - q[3]) ^ 2) }')
echo "stroke by hand: $(trace_lines | grep '^stroke 1 power ' | tail -n 1); moved $moved"
at_least "$moved" 0.5 || fail "the ball moved $moved: from $first_rest to $second_rest" "$png"

# Escape asks; OUI leaves the course without a score.
key Escape
sleep 0.5
png=$(shot leave_ask)
[ "$(count_of "state 888 -> 0 cut")" -eq 1 ] || fail "Escape left the course without asking" "$png"
n=$(box_pixels "$png")
[ "$n" -ge 5000 ] || fail "Escape shows no confirmation box ($n pixels of its panel)" "$png"
click_virtual 826 640  # OUI
wait_count "state 888 -> 0 cut" 2 30
[ "$(count_of "final card")" -eq 1 ] || fail "leaving the course showed the final card"
[ "$players_scored" = "$(cd "$games/Players" && md5sum -- *.dat)" ] || fail "leaving the course rewrote a player file"

# ---- the editor ------------------------------------------------------------------------------------

stage "editor"
sleep 0.5
click_virtual 960 535  # EDITOR
wait_trace "state 0 -> 111 cut"
away="1500 300"  # in the view, clear of the toolbar, the panel, the band and the edges
PARK=$away
before=$(shot editor_empty park)
for label in 40 80 120 160 200 240 280 320 360; do
    n=$(count_pixels "$before" $(( 10 * SCREEN_W / 1920 )) $(( (label + 4) * SCREEN_H / 1080 )) $(( 150 * SCREEN_W / 1920 )) \
        $(( 24 * SCREEN_H / 1080 )) 'r > 200 && g > 200 && b > 190')
    [ "$n" -ge 15 ] || fail "the toolbar's button at virtual y $label has $n text pixels" "$before"
done

stage "new course"
click_virtual 40 172  # EDCREATE
sleep 0.5
png=$(shot create_dialog park)
n=$(title_pixels "$png" $(( 390 * SCREEN_W / 1920 )) 10 $(( 500 * SCREEN_W / 1920 )))
[ "$n" -ge 15 ] || fail "the create dialog's title bar has $n pixels of the title colour" "$png"
xdotool type --delay 150 "Trial"
key Return
wait_trace "dialog create Trial" 10
[ -d "$games/Saves/Trial" ] || fail "no course folder Saves/Trial"

stage "three blocks"
click_virtual 40 212  # BORNESTART
click_virtual 960 500
wait_trace "editor place START *"
read -r sx sy <<<"$(trace_lines | sed -n 's/^editor place START [^ ]* [^ ]* screen \([^ ]*\) \([^ ]*\)$/\1 \2/p' | head -n 1)"
[ -n "${sy:-}" ] || fail "no START placement in the trace"
move_virtual $away
sleep 0.5
after=$(shot editor_start)
was=$(brightness "$before" "$sx" "$sy")
now=$(brightness "$after" "$sx" "$sy")
echo "START at ($sx, $sy): the ground summed $was, the top sums $now"
# The flat view shades GROUND dark and the START's opaque grass top bright: measured 77 and 197
# (with no block there the two are equal).
[ "$now" -ge $((was * 2)) ] || fail "at ($sx, $sy) the START's top sums $now, the ground summed $was" "$after"
for spot in "840 960 1200 500" "1080 960 720 500"; do
    read -r px py vx vy <<<"$spot"
    placed=$(count_of "editor place *")
    click_virtual "$px" "$py"  # a palette slot
    click_virtual "$vx" "$vy"
    wait_count "editor place *" $((placed + 1)) 10
done
trace_lines | grep '^editor place '
png=$(shot editor_blocks park)

stage "editor asks"
key Escape
sleep 0.5
png=$(shot editor_ask)
[ "$(count_of "state 111 -> 0 cut")" -eq 0 ] || fail "Escape left the changed hole without asking" "$png"
n=$(box_pixels "$png")
[ "$n" -ge 5000 ] || fail "Escape in the editor shows no confirmation box ($n pixels of its panel)" "$png"
key Escape  # the box's Escape keeps the hole
sleep 0.5
[ "$(count_of "state 111 -> 0 cut")" -eq 0 ] || fail "Escape on the box left the editor"

stage "save"
click_virtual 40 132  # EDSAVE
sleep 0.5
png=$(shot save_dialog park)
n=$(title_pixels "$png" $(( 390 * SCREEN_W / 1920 )) 10 $(( 500 * SCREEN_W / 1920 )))
[ "$n" -ge 15 ] || fail "the save dialog's title bar has $n pixels of the title colour" "$png"
click_virtual 600 "$ROW1"  # the course folder Trial
sleep 0.5
xdotool type --delay 150 "hole01"
sleep 0.3
png=$(shot save_named park)
# The typed name on the sunken line under the rows (its bottom at 690 of the box's units).
n=$(count_pixels "$png" $(( 400 * SCREEN_W / 1920 )) $(( 640 * SCREEN_W / 1920 )) $(( 200 * SCREEN_W / 1920 )) \
    $(( 50 * SCREEN_W / 1920 )) 'r > 200 && g > 200 && b > 190')
[ "$n" -ge 15 ] || fail "the typed name shows $n text pixels" "$png"
click_virtual 515 742  # SAUVER
wait_trace "dialog save *" 10
trace_lines | grep -c '^dialog save .*Trial/hole01\.qel$' >/dev/null || fail "the save dialog saved elsewhere"
saved="$games/Saves/Trial/hole01.qel"
[ -f "$saved" ] || fail "the saved hole is not at Saves/Trial/hole01.qel"

stage "reopen"
click_virtual 40 92  # EDLOAD
sleep 0.5
png=$(shot open_dialog park)
click_virtual 600 "$ROW1"  # Trial
sleep 0.5
click_virtual 600 "$ROW1"  # hole01
wait_trace "dialog open *" 10
wait_trace "editor open *" 10
trace_in_order "dialog create Trial" "dialog save *" "dialog open *" "editor open Trial/hole01 objects 228"
trace_lines | grep -c '^dialog open .*Trial/hole01\.qel$' >/dev/null || fail "the open dialog chose another file"
png=$(shot reopened park)
# The three blocks, with the look point over them: the mill's white walls, the only light pixels
# of the ground below the horizon, clear of the panel and the help lines (measured 553; the sky's
# clouds and the panel's texts lie outside the box, which holds none without the blocks).
n=$(count_pixels "$png" $(( SCREEN_W / 4 )) $(( 7 * SCREEN_H / 20 )) $(( 11 * SCREEN_W / 20 )) $(( 7 * SCREEN_H / 20 )) \
    'r + g + b > 600')
echo "reopened blocks: $n light pixels"
[ "$n" -ge 250 ] || fail "the reopened hole shows $n light pixels of its blocks" "$png"

stage "lit view"
# The ground below the blocks: its flat shade is dark, lit it is the sunny grass.
ground_luma() { luma "$1" $(( SCREEN_W / 3 )) $(( 600 * SCREEN_H / 1080 )) $(( SCREEN_W / 3 )) $(( 150 * SCREEN_H / 1080 )); }
flat_before=$(ground_luma "$png")
click_virtual 40 252  # LIGHTING
wait_trace "editor lit on" 300
sleep 0.5
png=$(shot lit park)
lit=$(ground_luma "$png")
click_virtual 40 252  # LIGHTING again: the flat view
wait_trace "editor lit off" 30
sleep 0.5
flat=$(shot flat park)
flat_after=$(ground_luma "$flat")
echo "ground luminance: flat $flat_before, lit $lit, flat again $flat_after"
at_least "$lit" "$(awk -v f="$flat_before" 'BEGIN { print 1.5 * f + 10 }')" || fail "the lit view's ground is not lit" "$png"
at_least "$(awk -v f="$flat_before" 'BEGIN { print f + 5 }')" "$flat_after" || fail "the flat view did not come back" "$flat"

# ---- a cup for Trial: its hole becomes one straight, flat putt, played below from "Your courses" ----
# Made as the README's editor paragraph tells a new user: the Tee and the tile with the cup, the
# scenery beside them, a name ending in two digits, saved with the toolbar (no name or par: PAR 5).

stage "cup"
# The view looks at the START since the reopening: the cup goes 3.5 toward the camera from it (the
# palette shows BLOC_CUP in its fifth slot once the wheel has turned it to its end).
move_virtual 960 960
for _ in 1 2 3 4 5 6 7 8; do
    xdotool click 4  # the wheel turned up: the palette moves on
    sleep 0.1
done
click_virtual 1080 960  # BLOC_CUP
click_virtual 960 772
wait_trace "editor place BLOC_CUP *" 10
place_of() { trace_lines | sed -n "s/^editor place $1 \([^ ]*\) \([^ ]*\) screen .*/\1 \2/p" | tail -n 1; }
read -r tee_x tee_z <<<"$(place_of START)"
read -r cup_x cup_z <<<"$(place_of BLOC_CUP)"
# In line and on the flat: the tiles (4 wide) meet or overlap, and the cup is not on the START.
awk -v a="$tee_x" -v b="$tee_z" -v c="$cup_x" -v d="$cup_z" 'BEGIN {
    n = sqrt((c - a) ^ 2 + (d - b) ^ 2); exit !(n > 2.5 && n < 4 && (c - a) ^ 2 < 0.25) }' ||
    fail "the cup went to ($cup_x, $cup_z), the START is at ($tee_x, $tee_z)"
move_virtual $away
png=$(shot editor_cup park)
click_virtual 40 132  # EDSAVE
sleep 0.5
click_virtual 600 "$ROW1"  # Trial
sleep 0.5
xdotool type --delay 150 "hole01"
sleep 0.3
saves_before=$(count_of "dialog save *")
click_virtual 515 742  # SAUVER
wait_count "dialog save *" $((saves_before + 1)) 10
trace_lines | grep '^dialog save ' | tail -n 1 | grep -c 'Trial/hole01\.qel$' >/dev/null || fail "the cup's hole was saved elsewhere"

stage "second course"
# A second course of one's own, made as a player makes one and left without holes: "Alps" comes
# before "Trial" under "Your courses", so that Trial is chosen below by a click on its row.
click_virtual 40 172  # EDCREATE
sleep 0.5
xdotool type --delay 150 "Alps"
key Return
wait_trace "dialog create Alps" 10
[ -d "$games/Saves/Alps" ] || fail "no course folder Saves/Alps"

stage "leave editor"
click_virtual 40 372  # RETOUR
sleep 0.5
if [ "$(count_of "state 111 -> 0 cut")" -eq 0 ]; then
    click_virtual 826 640  # OUI
fi
wait_trace "state 111 -> 0 cut" 10
PARK="1900 1070"
sleep 0.5
png=$(shot menu_again park)
n=$(text_pixels "$png" 760 90)
[ "$n" -ge 15 ] || fail "back on the main menu, QUITTER has $n text pixels" "$png"

stage quit
click_virtual 960 760  # QUITTER
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || fail "the game ended with status $status"
wait_trace exit 1

stage "saved course"
ls -l "$games/Saves/Trial"
# The hole: a scene file (its magic and 24-byte header, then sections) that the editor read back
# above with its 228 objects; its preview, written by the lighting, a PNG of the view.
size=$(stat -c %s "$saved")
[ "$(head -c 4 "$saved")" = SCNF ] || fail "the saved hole is not a scene file"
[ "$(od -An -tu2 -j6 -N2 "$saved" | tr -d ' ')" = 24 ] || fail "the saved hole's header is not 24 bytes"
[ "$size" -gt 1000 ] && [ "$size" -lt 1000000 ] || fail "the saved hole is $size bytes"
preview="$games/Saves/Trial/hole01.png"
[ -f "$preview" ] || fail "the lighting wrote no preview of the hole"
[ "$(head -c 8 "$preview" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "the preview is not a PNG"
read -r pw ph <<<"$(identify -format '%w %h' "$preview")"
[ "$pw" -ge 64 ] && [ "$ph" -ge 64 ] || fail "the preview is $pw x $ph"
trace_in_order "quit" "exit"

# ---- the game started again: Trial clicked under "Your courses" and its hole played to the cup -------

stage "your courses"
# The putt from the START's centre straight at the cup's (yaw 180 strikes along +x), at a power the
# course probes hole with from 2.5 to 4 away.
yaw=$(awk -v a="$tee_x" -v b="$tee_z" -v c="$cup_x" -v d="$cup_z" 'BEGIN {
    y = atan2(b - d, a - c) * 45 / atan2(1, 1); if (y < 0) y += 360; printf "%.3f", y }')
export ZAVGOLF_STROKES="$yaw,-20,2.6"
echo "putt: $ZAVGOLF_STROKES"
cp "$E2E_RUN/game.out" "$E2E_RUN/game1.out"
launch_traced_game "$1"
wait_trace "intro frame 60" 120
key Escape
wait_trace "intro end*" 30
page=1
until [ "$(count_of loop)" -gt 0 ]; do
    if [ "$(count_of "page $page start")" -gt 0 ]; then
        sleep 1
        [ "$(count_of "page $page end")" -eq 0 ] && key Escape
        wait_trace "page $page end" 30
        page=$((page + 1))
    fi
    kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended before its main menu"
    sleep 0.1
done
sleep 0.5
click_virtual 960 490  # JOUER
wait_trace "fade end 1"
click_virtual 960 512  # JOUER: the shipped sets first
wait_trace "set list *" 10
wait_trace "set hold end"
wait_trace "fade end 2"
sleep 0.3
shipped=$(shot shipped_sets park)
click_virtual 1440 770  # NPERSO
wait_trace "set source personal list 2" 10
wait_trace "set preview Alps 0" 10  # the first course, chosen on entering: no holes, no pictures
wait_count "set hold end" 2
sleep 0.3
alps=$(shot your_courses_alps park)
click_virtual 640 610  # Trial's row, the second
wait_trace "set preview Trial 1" 10
wait_count "set hold end" 3
sleep 0.3
png=$(shot your_courses park)
# The title names the player's courses ("Your courses", wider than "Courses"), the NPERSO item is
# lit, the row shows the course and the thumbnail is its hole's preview.
title_box() { count_pixels "$1" $(( SCREEN_W / 3 - 150 * SCREEN_W / 1920 )) $(( 430 * SCREEN_H / 1080 )) \
    $(( 300 * SCREEN_W / 1920 )) $(( 40 * SCREEN_H / 1080 )) 'r > 180 && g > 70 && g < 170 && b < 90'; }
was=$(title_box "$shipped")
now=$(title_box "$png")
[ "$now" -ge $((was * 5 / 4 + 10)) ] || fail "the title has $now pixels of its colour, 'Courses' had $was" "$png"
item_box() { count_pixels "$1" $(( 3 * SCREEN_W / 4 - 130 * SCREEN_W / 1920 )) $(( 755 * SCREEN_H / 1080 )) \
    $(( 260 * SCREEN_W / 1920 )) $(( 30 * SCREEN_H / 1080 )) 'r > 200 && g > 200 && b > 190'; }
[ "$(item_box "$png")" -ne "$(item_box "$shipped")" ] || fail "the NPERSO item looks the same shown or not" "$png"
for row in 545 595; do
    n=$(count_pixels "$png" $(( SCREEN_W / 3 - 125 * SCREEN_W / 1920 )) $(( row * SCREEN_H / 1080 )) \
        $(( 250 * SCREEN_W / 1920 )) $(( 30 * SCREEN_H / 1080 )) 'r > 150 && g > 150 && b > 150')
    [ "$n" -ge 15 ] || fail "the course row at virtual y $row has $n text pixels" "$png"
done
near_picture "$alps" 480 100 "$games/Saves/Trial/hole01.png" && fail "Alps, which has no hole, shows Trial's picture" "$alps"
near_picture "$png" 480 100 "$games/Saves/Trial/hole01.png" || fail "the thumbnail is not Trial's hole" "$png"

stage "trial hole"
click_virtual 1440 650  # JOUER
wait_trace "course play *" 30
trace_lines | grep -cE '^course play .*Saves/Trial/$' >/dev/null || fail "course play was not given the saves folder's Trial"
wait_trace "strokes listed 1" 5
wait_trace "hole open Trial/hole01 lit" 300
[ -f "$games/QELPERSO/Trial/hole01A.qel" ] || fail "no lit copy of Trial's hole under QELPERSO"
wait_trace "holeout 1" 120
png=$(shot trial_out)
wait_trace "hole done 0 player 1 strokes 1" 120
trace_in_order "course play *" "hole open Trial/hole01 lit" "hole frame 1" "stroke 1 power 2.60 yaw *" "holeout 1" \
    "hole done 0 player 1 strokes 1"
trace_lines | grep -cE '^stroke 1 power 2\.60 yaw [0-9]+ pitch -20 listed$' >/dev/null || fail "the putt was not the listed stroke"
wait_trace "final card" 60
sleep 0.3
click_virtual 960 540
# No description beside the hole: PAR 5, so one stroke is four under.
wait_trace "state 888 -> 0 cut" 30
trace_lines | grep -cE '^score .* holes 1 over par -4$' >/dev/null || fail "the hole was not scored one stroke at PAR 5"
trace_lines | grep -E '^(course play|hole open|stroke|holeout|hole done|score) '

stage "quit again"
sleep 0.5
click_virtual 960 760  # QUITTER
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || fail "the game ended with status $status"
wait_trace exit 1
