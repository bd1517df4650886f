#!/usr/bin/env bash
# The window as a person uses it, on a private X server: open the sample clip
# through the real open dialog, stop it on its first frame, whose left band
# (red) is the colour of its bottom-left pixel and must show red on screen,
# convert it, save the GIF through the real save dialog, close the window.
# The box that says the run is done is titled "Information" and nothing more.
# giflib must then read the GIF with every frame of the clip at its size.
# Screenshots of each step stay in the output folder.
# Usage: window_e2e.sh PROGRAM GIFLIB_PROBE SAMPLE_CLIP OUTPUT_DIR
set -euo pipefail

source "$(dirname "$0")/x_session.sh"
read_arguments e2e "$@"
start_x
# The colour at x y of the window in a screenshot, as "r g b".
colour_in() { # shot x y
  convert "$out/$shots-$1.png" -format \
    "%[fx:int(255*p{$((mx + $2)),$((my + $3))}.r+0.5)] %[fx:int(255*p{$((mx + $2)),$((my + $3))}.g+0.5)] %[fx:int(255*p{$((mx + $2)),$((my + $3))}.b+0.5)]\n" \
    info:
}
start_framolo
shot 1-started

# Open: the command strip's first button, then the clip's path in the dialog.
click 33 54
wait_window 'Open|open' 10 >/dev/null || true
answer_dialog "$clip"
sleep 2
# A click on the status line closes what the dialog may have left open (its
# completion list), which would otherwise take the next click for itself.
click 300 400
shot 2-opened

# Stop: the player goes back to the first frame. Its left band, the colour of
# its bottom-left pixel, shows red in the player (at 16, 127 in the window,
# the 320 x 240 clip drawn at 160 x 121).
click 124 316
sleep 1
shot 2-first-frame
for point in "24 197" "28 222" "36 242"; do
  read -r r g b < <(colour_in 2-first-frame $point)
  [ "$r" -gt 180 ] && [ "$g" -lt 70 ] && [ "$b" -lt 70 ] ||
    fail "the red band shows $r $g $b at $point of the window"
done

# Convert, then close the box that says it is done.
click 145 54
box=$(wait_window '^Information' 120) || fail "no box after converting"
title=$(xdotool getwindowname "$box")
[ "$title" = "Information" ] || fail "the box is titled '$title'"
shot 3-converted
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key Return
sleep 0.5

# Save, and the GIF's path in the save dialog.
click 89 54
answer_dialog "$gif"
for _ in $(seq 100); do [ -s "$gif" ] && break; sleep 0.1; done
sleep 0.5
click 300 400
shot 4-saved

# Close: the program ends.
click 628 13
wait_end 5 || fail "the program did not end after Close"

check_gif "$probe" "$gif" "$clip"
echo "window_e2e: $frames frames of $size saved and read back by giflib"
