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

program=$1
probe=$2
clip=$(realpath "$3")
out=$4
mkdir -p "$out"
out=$(realpath "$out")
gif="$out/e2e-result.gif"
rm -f "$gif" "$out"/e2e-*.png

# A display of our own: the one asked for, or the first free one.
exec 3>"$out/.display"
if [ -n "${FRAMOLO_DISPLAY:-}" ]; then
  Xvfb "$FRAMOLO_DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  display=$FRAMOLO_DISPLAY
else
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
fi
xvfb=$!
app=""
cleanup() {
  if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; fi
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${FRAMOLO_DISPLAY:-}" ]; then
  for _ in $(seq 50); do [ -s "$out/.display" ] && break; sleep 0.1; done
  display=":$(cat "$out/.display")"
fi
export DISPLAY=$display
# What the program keeps between runs stays in the output folder.
export XDG_CONFIG_HOME="$out/config"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

fail() {
  echo "window_e2e: $*" >&2
  import -window root "$out/e2e-failure.png" 2>/dev/null || true
  exit 1
}
shot() { import -window root "$out/e2e-$1.png"; }
# The colour at x y of the window in a screenshot, as "r g b".
colour_in() { # shot x y
  convert "$out/e2e-$1.png" -format \
    "%[fx:int(255*p{$((mx + $2)),$((my + $3))}.r+0.5)] %[fx:int(255*p{$((mx + $2)),$((my + $3))}.g+0.5)] %[fx:int(255*p{$((mx + $2)),$((my + $3))}.b+0.5)]\n" \
    info:
}

# The first visible window whose title matches, as its id.
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
wait_window() { # title seconds
  for _ in $(seq $(($2 * 10))); do
    id=$(window_named "$1") && [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Types a path into the focused file dialog and accepts it.
answer_dialog() {
  sleep 0.5
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 5 "$1"
  xdotool key Return
}

QT_QPA_PLATFORM=xcb "$program" &
app=$!

# The main window shows after the splash window's three seconds.
main=""
for _ in $(seq 100); do
  for id in $(xdotool search --onlyvisible --name '^Framolo$' 2>/dev/null); do
    if xdotool getwindowgeometry "$id" | grep -q 'Geometry: 643x435'; then main=$id; fi
  done
  [ -n "$main" ] && break
  sleep 0.1
done
[ -n "$main" ] || fail "the main window did not show"
read -r mx my < <(xdotool getwindowgeometry "$main" |
  sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
click() { xdotool mousemove $((mx + $1)) $((my + $2)) click 1; }
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
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the program did not end after Close"
app=""

[ -s "$gif" ] || fail "no GIF was saved"
read -r frames size < <("$probe" "$gif") || fail "giflib cannot read the saved GIF"
expected_frames=$(ffprobe -v error -select_streams v:0 -count_frames \
  -show_entries stream=nb_read_frames -of csv=p=0 "$clip")
expected_size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
  -of csv=s=x:p=0 "$clip")
[ "$frames" = "$expected_frames" ] || fail "giflib reads $frames frames, the clip has $expected_frames"
[ "$size" = "$expected_size" ] || fail "giflib reads $size, the clip is $expected_size"
echo "window_e2e: $frames frames of $size saved and read back by giflib"
