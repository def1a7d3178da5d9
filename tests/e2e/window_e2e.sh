#!/usr/bin/env bash
# The program opens one window of the screen's size, titled with the game's name, and ends on F12.
set -euo pipefail
source "$(dirname "$0")/xvfb.sh"
game=$1
data_tool=$2

make_run_folder "$data_tool"
name=$(head -n 1 "$E2E_RUN/data/txt/nameofgame.ini" | tr -d '\r')
start_xvfb
start_game "$game" "$E2E_RUN"

window=$(wait_window "$name" 60)
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "1920x1080" ] || { echo "window is $geometry, not 1920x1080" >&2; exit 1; }

xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --window "$window" F12
status=0
wait_game_end 60 || status=$?
[ "$status" -eq 0 ] || { echo "game ended with status $status" >&2; exit 1; }
