#!/usr/bin/env bash
# `make play` shows what it draws: the placeholder frame's clear colour fills the screen around the
# centred rectangle the 2D batch draws, as a screenshot of the root window shows (polled, since the
# first frames may not have arrived).
set -euo pipefail
source "$(dirname "$0")/xvfb.sh"
game=$1
data_tool=$2

make_run_folder "$data_tool"
name=$(head -n 1 "$E2E_RUN/data/txt/nameofgame.ini" | tr -d '\r')
start_xvfb
start_game "$game" "$E2E_RUN"
window=$(wait_window "$name" 60)

width=1920
height=1080
# "x y r g b": the clear colour outside the rectangle, the rectangle's at the centre.
points=("$((width / 8)) $((height / 2)) 32 64 96" "10 10 32 64 96" "$((width - 11)) 10 32 64 96"
        "10 $((height - 11)) 32 64 96" "$((width - 11)) $((height - 11)) 32 64 96"
        "$((width / 2)) $((height / 2)) 224 192 64")

# Prints "r g b" of one pixel of a picture.
pixel_of() {
    convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p'
}

# True when every probe holds its colour within 2/255.
shows_colour() {
    local point x y r g b wr wg wb
    for point in "${points[@]}"; do
        read -r x y wr wg wb <<<"$point"
        read -r r g b <<<"$(pixel_of "$1" "$x" "$y")"
        [ -n "${b:-}" ] || return 1
        for pair in "$r $wr" "$g $wg" "$b $wb"; do
            read -r got expected <<<"$pair"
            [ $((got > expected ? got - expected : expected - got)) -le 2 ] || return 1
        done
    done
}

shot="$E2E_RUN/screen.png"
waited=0
until import -window root "$shot" 2>/dev/null && shows_colour "$shot"; do
    kill -0 "$GAME_PID" 2>/dev/null || { echo "game ended before it drew" >&2; exit 1; }
    [ "$waited" -ge 60 ] || { sleep 1; waited=$((waited + 1)); continue; }
    echo "the placeholder frame is not on screen; probes (x y, wanted r g b: got):" >&2
    for point in "${points[@]}"; do
        read -r x y _ <<<"$point"
        echo "  $point: $(pixel_of "$shot" "$x" "$y")" >&2
    done
    [ -n "${E2E_KEEP:-}" ] && cp "$shot" "${E2E_KEEP}" 2>/dev/null
    exit 1
done

xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --window "$window" F12
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || { echo "game ended with status $status" >&2; exit 1; }
