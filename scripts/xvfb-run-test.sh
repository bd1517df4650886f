#!/usr/bin/env bash
# Runs one command on a private Xvfb server and stops the server afterwards.
# The server picks a free display number itself, so parallel runs never meet.
#
#   scripts/xvfb-run-test.sh COMMAND [ARG ...]
set -euo pipefail
if ! command -v Xvfb >/dev/null; then
  echo "xvfb-run-test: Xvfb is not installed" >&2
  exit 1
fi
fifo_dir=$(mktemp -d)
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo_dir/display" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf "$fifo_dir"
}
trap cleanup EXIT
read -r -t 20 number <"$fifo_dir/display" || { echo "xvfb-run-test: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$number" QT_QPA_PLATFORM=xcb "$@"
