#!/usr/bin/env bash
# Plays a 768 x 576 MPEG-4 clip at 25 fps and a 1920 x 1080 H.264 clip at 30 fps
# (both with sound) for 20 s each in a TAVIPlayer on Xvfb, and prints frames
# painted against frames due and the CPU time per second of play.
#
#   cmake -S . -B build -DFRAMOLO_BENCH=ON && cmake --build build --target player_bench
#   bench/player_bench.sh build [SECONDS]
#
# The X server runs on display :${FRAMOLO_BENCH_DISPLAY:-10}; a private
# PulseAudio null sink takes the sound.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-20}
bin="$build/bench/preview/player_bench"
clips="$build/bench/preview/clips"
display=":${FRAMOLO_BENCH_DISPLAY:-10}"
[ -x "$bin" ] || { echo "build $bin first (FRAMOLO_BENCH=ON)" >&2; exit 1; }
mkdir -p "$clips"

length=$((seconds + 3))
sd="$clips/sd_768x576_25_mpeg4.avi"
hd="$clips/hd_1920x1080_30_h264.avi"
[ -s "$sd" ] || ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=768x576:rate=25" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$length" \
  -c:v mpeg4 -q:v 4 -c:a pcm_s16le -ac 2 "$sd"
[ -s "$hd" ] || ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$length" \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a libmp3lame -ac 2 "$hd"

Xvfb "$display" -screen 0 2048x1280x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
pulse_dir=$(mktemp -d)
cleanup() {
  bash scripts/pulse-for-tests.sh stop "$pulse_dir" || true
  rm -rf "$pulse_dir"
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
eval "$(bash scripts/pulse-for-tests.sh start "$pulse_dir")"
for _ in $(seq 1 50); do
  DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done

for clip in "$sd" "$hd"; do
  DISPLAY="$display" QT_QPA_PLATFORM=xcb "$bin" "$clip" "$seconds"
done
