#!/usr/bin/env bash
# The window as a person uses it, on a private X server: open the sample clip
# through the real open dialog, convert it, save the GIF through the real save
# dialog, close the window. giflib must then read the GIF with every frame of
# the clip at its size. Screenshots of each step stay in the output folder.
# Usage: window_e2e.sh PROGRAM GIFLIB_PROBE SAMPLE_CLIP OUTPUT_DIR
set -euo pipefail

program=$1
probe=$2
clip=$(realpath "$3")
out=$4
mkdir -p "$out"
out=$(realpath "$out")
shots=e2e
gif="$out/e2e-result.gif"
rm -f "$gif" "$out"/e2e-*.png
source "$(dirname "$0")/x_session.sh"
start_x
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

# Convert, then close the box that says it is done.
click 145 54
box=$(wait_window '^Information$' 120) || fail "no box after converting"
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
