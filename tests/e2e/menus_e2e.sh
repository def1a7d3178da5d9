#!/usr/bin/env bash
# The main menu's small screens at 960 x 540: the options (each switch rewrites its byte of
# OPTIONS.DAT and its label; the sound output goes off and on again), the high scores (the one real
# player of a first run in the first row, nothing in the second), the credits (the title drawn),
# each left by its back button, then QUITTER ends the game cleanly.
set -euo pipefail
source "$(dirname "$0")/shell.sh"

start_traced_game "$1" "$2" 960x540
wait_trace "page 1 start" 120
key Escape
wait_trace "loop" 120
options="$ZAVGOLF_DRIVE_C/ZAV Games/Saves/OPTIONS.DAT"

# wait_count <line> <n> [seconds]: waits until the trace holds the line at least n times.
wait_count() {
    local waited=0 limit=$(( ${3:-30} * 10 ))
    until [ "$(trace_lines | grep -cxF -- "$1")" -ge "$2" ]; do
        kill -0 "$GAME_PID" 2>/dev/null || { echo "game ended before 'trace $1' x $2" >&2; return 1; }
        [ "$waited" -ge "$limit" ] && { echo "'trace $1' not seen $2 times" >&2; trace_lines >&2; return 1; }
        sleep 0.1
        waited=$((waited + 1))
    done
}

# options_byte <offset>: one byte of the options file.
options_byte() { od -An -tu1 -j "$1" -N1 "$options" | tr -d ' '; }

# wait_byte <offset> <value>: the options file holds the value there within 10 s.
wait_byte() {
    for _ in $(seq 100); do
        [ "$(options_byte "$1")" = "$2" ] && return 0
        sleep 0.1
    done
    echo "OPTIONS.DAT byte $1 is $(options_byte "$1"), not $2" >&2
    return 1
}

# shot <name>: the screen with the pointer out of the way, as $E2E_RUN/<name>.png.
shot() {
    move_virtual 1880 1060
    screenshot "$E2E_RUN/$1.png"
}

# box <virtual y> <half width>: pixel box "x y w h" of a centred line of text.
box() {
    local half=$(( $2 * SCREEN_W / 1920 )) y=$(( $1 * SCREEN_H / 1080 ))
    echo "$(( SCREEN_W / 2 - half )) $(( y - 10 )) $(( 2 * half )) 20"
}

# light_pixels <png> <x y w h>: pixels of plain text (the menu text colour) in the box.
light_pixels() { count_pixels "$1" $2 'r > 200 && g > 200 && b > 190'; }

# go <virtual y> <state>: clicks the centred button there and waits for the fade into the state.
go() {
    local ends
    ends=$(trace_lines | grep -cxF "fade end $2" || true)
    click_virtual 960 "$1"
    wait_count "fade end $2" $((ends + 1))
}

# The options screen.
go 625 3
trace_in_order "state 0 -> 3 fade" "fade end 3"
shot options
[ "$(options_byte 4)" = 1 ] || { echo "sound effects are not on at the start" >&2; exit 1; }

# SOUNDON: byte 4 goes to 0 and the label is drawn anew.
click_virtual 960 400
wait_byte 4 0
shot effects-off
read -r x y w h <<<"$(box 400 300)"
convert "$E2E_RUN/options.png" -crop "${w}x${h}+${x}+${y}" +repage "$E2E_RUN/label-on.png"
convert "$E2E_RUN/effects-off.png" -crop "${w}x${h}+${x}+${y}" +repage "$E2E_RUN/label-off.png"
changed=$(compare -metric AE -fuzz 10% "$E2E_RUN/label-on.png" "$E2E_RUN/label-off.png" null: 2>&1 || true)
[ "${changed%%.*}" -ge 20 ] 2>/dev/null || { echo "the SOUNDON label did not change ($changed pixels)" >&2; exit 1; }

# MUSICON: byte 0.
[ "$(options_byte 0)" = 1 ] || { echo "music is not on at the start" >&2; exit 1; }
click_virtual 960 445
wait_byte 0 0

# SOUNDCARD off, then on again: the output stops and starts.
ons=$(trace_lines | grep -cxF "sound on" || true)
click_virtual 960 490
wait_trace "sound off" 30
wait_byte 16 0
shot output-off
click_virtual 960 490
wait_count "sound on" $((ons + 1))
wait_byte 16 1

# RETOUR to the main menu.
go 535 0
trace_in_order "state 0 -> 3 fade" "fade end 3" "sound off" "sound on" "state 3 -> 0 fade" "fade end 0"

# The high scores: the first run's one real player.
go 580 555
wait_trace "scores rows 1" 10
shot scores
third=$(( SCREEN_W / 3 ))
row_box() { echo "$(( third - 80 )) $(( $1 * SCREEN_H / 1080 - 10 )) $(( third + 160 )) 20"; }
n=$(light_pixels "$E2E_RUN/scores.png" "$(row_box 346)")
[ "$n" -ge 15 ] || { echo "the first row has $n text pixels" >&2; exit 1; }
n=$(light_pixels "$E2E_RUN/scores.png" "$(row_box 391)")
[ "$n" -eq 0 ] || { echo "the second row has $n text pixels" >&2; exit 1; }
go 976 0

# The credits: the title line in the title colour.
go 715 4
shot credits
n=$(count_pixels "$E2E_RUN/credits.png" $(box 97 200) 'r > 200 && g > 60 && g < 180 && b < 100')
[ "$n" -ge 15 ] || { echo "the credits title has $n text pixels" >&2; exit 1; }
go 952 0

# QUITTER.
click_virtual 960 760
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || { echo "game ended with status $status" >&2; exit 1; }
wait_trace exit 1
