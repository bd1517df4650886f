#!/usr/bin/env bash
# Regenerates sample.avi from ffmpeg's own synthetic sources: a moving colour
# test pattern with a tone. Nothing in it comes from outside material.
set -euo pipefail
cd "$(dirname "$0")"
ffmpeg -hide_banner -loglevel error -y \
  -f lavfi -i "testsrc2=size=320x240:rate=25" \
  -f lavfi -i "sine=frequency=440:beep_factor=4:sample_rate=22050" \
  -t 4 -c:v mpeg4 -q:v 6 -bf 2 -vtag XVID -c:a pcm_s16le -ac 1 sample.avi
