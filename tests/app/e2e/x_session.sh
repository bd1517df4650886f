# Shared by the end-to-end scripts: their arguments, a private X server,
# screenshots, windows found by title, the program started and its main
# window found.

# Reads PROGRAM GIFLIB_PROBE SAMPLE_CLIP OUTPUT_DIR; the script's screenshots
# and GIF are named after prefix, and those of an earlier run removed.
read_arguments() { # prefix program probe clip out
  shots=$1
  program=$2
  probe=$3
  clip=$(realpath "$4")
  out=$5
  mkdir -p "$out"
  out=$(realpath "$out")
  gif="$out/$shots-result.gif"
  rm -f "$gif" "$out/$shots"-*.png
}

# A display of our own: the one asked for, or the first free one.
start_x() {
  exec 3>"$out/.display-$shots"
  if [ -n "${FRAMOLO_DISPLAY:-}" ]; then
    Xvfb "$FRAMOLO_DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    display=$FRAMOLO_DISPLAY
  else
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  fi
  xvfb=$!
  app=""
  trap cleanup EXIT
  if [ -z "${FRAMOLO_DISPLAY:-}" ]; then
    for _ in $(seq 50); do [ -s "$out/.display-$shots" ] && break; sleep 0.1; done
    display=":$(cat "$out/.display-$shots")"
  fi
  export DISPLAY=$display
  # What the program keeps between runs stays in the output folder.
  export XDG_CONFIG_HOME="$out/config-$shots"
  for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
}
cleanup() {
  if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; fi
  kill "$xvfb" 2>/dev/null || true
}

fail() {
  echo "$(basename "$0" .sh): $*" >&2
  import -window root "$out/$shots-failure.png" 2>/dev/null || true
  exit 1
}
shot() { import -window root "$out/$shots-$1.png"; }

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

# Starts the program; the main window shows after the splash window's three
# seconds. Sets app (its process), main (its window) and mx, my (its place).
start_framolo() {
  QT_QPA_PLATFORM=xcb "$program" &
  app=$!
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
}
click() { xdotool mousemove $((mx + $1)) $((my + $2)) click 1; }
# A window manager gives the keyboard back to the window when a dialog on it
# closes; the private X server has none, so the scripts do it.
refocus() { xdotool windowfocus --sync "$main"; }
# Another visible window of the program whose title matches, as its id.
wait_other_window() { # title seconds
  for _ in $(seq $(($2 * 10))); do
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
      [ "$id" != "$main" ] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

# Waits up to the seconds given for the program to end; true when it did.
wait_end() {
  for _ in $(seq $(($1 * 10))); do kill -0 "$app" 2>/dev/null || { app=""; return 0; }; sleep 0.1; done
  return 1
}

# Checks with giflib that a GIF holds every frame of a clip, at its size.
check_gif() { # probe gif clip
  [ -s "$2" ] || fail "no GIF was saved"
  read -r frames size < <("$1" "$2") || fail "giflib cannot read the saved GIF"
  expected_frames=$(ffprobe -v error -select_streams v:0 -count_frames \
    -show_entries stream=nb_read_frames -of csv=p=0 "$3")
  expected_size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
    -of csv=s=x:p=0 "$3")
  [ "$frames" = "$expected_frames" ] || fail "giflib reads $frames frames, the clip has $expected_frames"
  [ "$size" = "$expected_size" ] || fail "giflib reads $size, the clip is $expected_size"
}
