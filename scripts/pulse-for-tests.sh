#!/usr/bin/env bash
# A private PulseAudio server whose default sink is a null sink, for the tests
# that play real sound and record it back from the sink's monitor.
#
#   eval "$(scripts/pulse-for-tests.sh start DIR)"   # prints the variables to export
#   scripts/pulse-for-tests.sh stop DIR
#
# DIR is an empty private folder; it becomes the server's XDG_RUNTIME_DIR, so
# the server never meets another one on the same machine. The tests find the
# server through PULSE_SERVER and the sink through FRAMOLO_TEST_PULSE_SINK; a
# test that finds neither skips with the reason.
set -euo pipefail

sink=framolo_test_sink
cmd=${1:-}
dir=${2:-}
if [ -z "$cmd" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi

case "$cmd" in
start)
  if ! command -v pulseaudio >/dev/null || ! command -v parec >/dev/null; then
    echo "pulse-for-tests: pulseaudio or parec is not installed; sound tests will skip" >&2
    exit 0
  fi
  mkdir -p "$dir"
  chmod 700 "$dir"
  if ! XDG_RUNTIME_DIR="$dir" pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
    --load="module-null-sink sink_name=$sink" --load=module-native-protocol-unix \
    >"$dir/pulseaudio.log" 2>&1; then
    echo "pulse-for-tests: the server did not start; sound tests will skip" >&2
    cat "$dir/pulseaudio.log" >&2 || true
    exit 0
  fi
  # The socket appears once the server is ready.
  for _ in $(seq 1 50); do
    [ -S "$dir/pulse/native" ] && break
    sleep 0.1
  done
  if [ ! -S "$dir/pulse/native" ]; then
    echo "pulse-for-tests: no server socket; sound tests will skip" >&2
    exit 0
  fi
  echo "export PULSE_SERVER=unix:$dir/pulse/native"
  echo "export FRAMOLO_TEST_PULSE_SINK=$sink"
  ;;
stop)
  if [ -d "$dir" ]; then
    XDG_RUNTIME_DIR="$dir" pulseaudio --kill 2>/dev/null || true
  fi
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
