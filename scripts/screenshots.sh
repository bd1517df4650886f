#!/usr/bin/env bash
# Takes the README's pictures from the real program on a private X server:
# the splash window, the main window on each of its two tabs, and the sample
# clip converted with a range of its frames marked on the track bar.
# Usage: scripts/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
# Needs Xvfb, xdotool and ImageMagick's import and convert.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
out=${2:-docs}
display=${FRAMOLO_DISPLAY:-:97}
program="$build/src/app/framolo"
[ -x "$program" ] || { echo "no program at $program; build the framolo target first" >&2; exit 1; }
mkdir -p "$out"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# The first visible window of the given size, as "x y".
find_window() {
  for id in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
    geometry=$(xdotool getwindowgeometry "$id" 2>/dev/null) || continue
    if grep -q "Geometry: $1" <<<"$geometry"; then
      sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p' <<<"$geometry"
      return 0
    fi
  done
  return 1
}

# Shoots the screen and keeps the window at x y of the given size.
shoot() { # name x y width height
  import -window root "$out/.screen.png"
  convert "$out/.screen.png" -crop "$4x$5+$2+$3" +repage "$out/$1.png"
  rm -f "$out/.screen.png"
}

"$program" &
app=$!
sleep 1
read -r sx sy < <(find_window 402x252)
shoot splash "$sx" "$sy" 402 252

# The main window follows three seconds after start-up.
for _ in $(seq 60); do find_window 643x435 >/dev/null && break; sleep 0.1; done
read -r mx my < <(find_window 643x435)
# Hover the Open button, so the picture shows its hover face and hint.
xdotool mousemove $((mx + 33)) $((my + 54))
sleep 0.6
shoot main-avi-to-gif "$mx" "$my" 643 435

# The second tab's name in the header switches to it.
xdotool mousemove $((mx + 2 + 119 + 47)) $((my + 77 + 18)) click 1
xdotool mousemove $((mx + 400)) $((my + 20))
sleep 0.6
shoot main-gif-to-avi "$mx" "$my" 643 435

# Back on the first tab, open the sample clip through the open dialog.
xdotool mousemove $((mx + 2 + 22 + 37)) $((my + 77 + 19)) click 1
click() { xdotool mousemove $((mx + $1)) $((my + $2)) click 1; }
click 33 54
sleep 1
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 5 "$(realpath samples/sample.avi)"
xdotool key Return
sleep 2
click 300 400
# Pause, select mode, then the frames about a quarter and two thirds in as
# the range's start and end: the middle button sets the track bar where it
# is pressed, and a move tells the window the frame.
click 99 316
click 24 350
mark() { # x on the track bar, then the select button's x
  xdotool mousemove $((mx + $1)) $((my + 281)) mousedown 2
  xdotool mousemove $((mx + $1 + 1)) $((my + 281)) mouseup 2
  sleep 0.3
  click "$2" 350
}
mark 45 49
mark 108 74
sleep 2
# Convert, and close the box that says it is done.
click 145 54
for _ in $(seq 1200); do
  box=$(xdotool search --onlyvisible --name '^Information$' 2>/dev/null | head -n1) || true
  [ -n "$box" ] && break
  sleep 0.1
done
[ -n "$box" ] || { echo "no box after converting" >&2; exit 1; }
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key Return
xdotool mousemove $((mx + 400)) $((my + 20))
sleep 1
shoot main-converted "$mx" "$my" 643 435
echo "written: $out/splash.png $out/main-avi-to-gif.png $out/main-gif-to-avi.png" \
  "$out/main-converted.png"
