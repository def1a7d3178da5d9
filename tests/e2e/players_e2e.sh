#!/usr/bin/env bash
# The play menu and its player dialog at 960 x 540: the player labels, the dialog's title bar and
# rows, a new player "Test" typed and selected (its file written, the label changed), a name that
# cannot be a file refused with its message and no file, then on to the course sets and back out.
set -euo pipefail
source "$(dirname "$0")/shell.sh"

start_traced_game "$1" "$2" 960x540
wait_trace "page 1 start" 120
key Escape
wait_trace "loop" 120
players="$ZAVGOLF_DRIVE_C/ZAV Games/Players"

# The dialog's box stands at (290 sx, 10) pixels; a point (u, v) of its 700 x 924 layout is the
# virtual point (290 + u, 20 + v) at this size (sx = 0.5).
dialog_click() { click_virtual $((290 + $1)) $((20 + $2)); }

fail() {
    echo "$1" >&2
    [ -n "${2:-}" ] && cp "$2" "${E2E_KEEP:-/nonexistent}/" 2>/dev/null
    exit 1
}

# shot <name>: a screenshot with the pointer parked in a corner; prints its path.
shot() {
    move_virtual 1900 1070
    sleep 0.3
    screenshot "$E2E_RUN/$1.png"
    echo "$E2E_RUN/$1.png"
}

# light_span <png> <x> <y> <w> <h>: leftmost and rightmost x of light text pixels in the box.
light_span() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -depth 8 txt:- |
        awk -F'[(),:]' 'NR > 1 && $4 > 200 && $5 > 200 && $6 > 190 { x = $1 + 0
            if (min == "" || x < min) min = x; if (x > max) max = x } END { print min + 0, max + 0 }'
}

# text_bands <png> <x> <y> <w> <h>: how many bands of rows with light text the box holds.
text_bands() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -depth 8 txt:- |
        awk -F'[(),:]' 'NR > 1 && $4 > 200 && $5 > 200 && $6 > 190 { n[$2 + 0]++ }
            END { for (y = 0; y < 1000; y++) { lit = n[y] >= 2; if (lit && !was) bands++; was = lit } print bands + 0 }'
}

wait_count() {  # wait_count <trace line> <count>: the line seen that many times
    for _ in $(seq 100); do
        [ "$(trace_lines | grep -cxF -- "$1")" -ge "$2" ] && return 0
        sleep 0.1
    done
    fail "no 'trace $1' number $2"
}

click_virtual 960 490
wait_trace "state 0 -> 1 fade"
wait_trace "fade end 1"
menu=$(shot menu)
label_box="$((SCREEN_W / 2 - 150)) $((557 * SCREEN_H / 1080 - 9)) 300 18"
n=$(count_pixels "$menu" $label_box 'r > 200 && g > 200 && b > 190')
[ "$n" -ge 15 ] || fail "the PLAYER 1 label has $n text pixels" "$menu"
span_before=$(light_span "$menu" $label_box)

click_virtual 960 557
wait_trace "player dialog 1"
dialog=$(shot dialog)
n=$(count_pixels "$dialog" 145 10 350 24 'r < 110 && g > 170 && b > 200')
[ "$n" -ge 15 ] || fail "the title bar has $n pixels of the title colour" "$dialog"
bands=$(text_bands "$dialog" 150 36 300 320)
[ "$bands" -eq 2 ] || fail "the list shows $bands rows of text, not the two players" "$dialog"

xdotool type --delay 150 "Test"
dialog_click 233 900  # SELECT
wait_trace "player chosen Test.dat"
[ "$(stat -c %s "$players/Test.dat")" -eq 1052 ] || fail "Test.dat is not 1052 bytes"
[ "$(od -An -tx1 -j1048 -N4 "$players/Test.dat" | tr -d ' ')" = ffffffff ] || fail "Test.dat's marker is not -1"
after=$(shot chosen)
span_after=$(light_span "$after" $label_box)
[ "$span_after" != "$span_before" ] || fail "the PLAYER 1 label kept its box ($span_before)" "$after"

click_virtual 960 557
wait_count "player dialog 1" 2
xdotool type --delay 150 ".x"
dialog_click 233 900
wait_trace "player refused"
refused=$(shot refused)
n=$(count_pixels "$refused" 290 375 200 60 'r > 200 && g < 150 && b < 150')
[ "$n" -ge 15 ] || fail "the refusal line has $n text pixels" "$refused"
files=$(find "$players" -type f | wc -l)
[ "$files" -eq 3 ] || fail "the players folder holds $files files, not Player, Nobody and Test"

dialog_click 467 900  # RETOUR
sleep 0.3
click_virtual 960 512  # JOUER
wait_trace "state 1 -> 2 fade"
wait_trace "fade end 2"
key Escape
wait_trace "fade end 0"
click_virtual 960 760  # QUITTER
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || fail "game ended with status $status"
trace_in_order "state 0 -> 1 fade" "player dialog 1" "player chosen Test.dat" "player dialog 1" "player refused" \
    "state 1 -> 2 fade" "state 2 -> 0 fade" exit
