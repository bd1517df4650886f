#!/usr/bin/env bash
# The first tab's road with the keyboard alone, on a private X server: Ctrl+O
# and the clip's path, Ctrl+Return, Return on the box that says it is done,
# Ctrl+S and the GIF's path. giflib must then read the GIF with every frame of
# the clip at its size. Then a second run is closed while it converts: the
# window asks, Alt+S stops it, and the program ends. Screenshots of each step
# stay in the output folder.
# Usage: window_keys_e2e.sh PROGRAM GIFLIB_PROBE SAMPLE_CLIP OUTPUT_DIR
set -euo pipefail

source "$(dirname "$0")/x_session.sh"
read_arguments keys "$@"
long="$out/keys-long.avi"
timeout 120 ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 3000 \
  -c:v mpeg4 "$long" &
long_made=$!
start_x
start_framolo
# The keyboard goes to the window, as when a person switches to it.
refocus
shot 1-started

xdotool key ctrl+o
wait_window 'Open|open' 10 >/dev/null || fail "Ctrl+O shows no open dialog"
answer_dialog "$clip"
sleep 2
refocus
shot 2-opened

xdotool key ctrl+Return
wait_window '^Information' 120 >/dev/null || fail "no box after Ctrl+Return"
shot 3-converted
xdotool key Return
sleep 0.5
[ -z "$(window_named '^Information')" ] || fail "Return did not close the box"
refocus

xdotool key ctrl+s
wait_window 'Save|save' 10 >/dev/null || fail "Ctrl+S shows no save dialog"
answer_dialog "$gif"
for _ in $(seq 100); do [ -s "$gif" ] && break; sleep 0.1; done
sleep 0.5
refocus
shot 4-saved
check_gif "$probe" "$gif" "$clip"
saved=$(md5sum <"$gif")

# Closing during a run asks first; Stop and Close ends the run and the program.
# The sample converts within a second, so this run takes a longer clip.
wait "$long_made" || fail "ffmpeg could not make the long clip"
xdotool key ctrl+o
wait_window 'Open|open' 10 >/dev/null || fail "Ctrl+O shows no open dialog"
answer_dialog "$long"
sleep 2
refocus
xdotool key ctrl+Return
sleep 1.5
click 628 13
wait_other_window '^Framolo' 10 >/dev/null || fail "Close during a run does not ask"
sleep 0.5
shot 5-asked-to-stop
xdotool key alt+s
wait_end 20 || fail "the program did not end after Stop and Close"
[ "$(md5sum <"$gif")" = "$saved" ] || fail "the saved GIF changed"
rm -f "$long"
echo "window_keys_e2e: $frames frames of $size saved from the keyboard, read back by giflib;" \
  "closing during a run stopped it and ended the program"
