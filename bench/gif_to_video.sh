#!/usr/bin/env bash
# Times framolo-cli gif2avi writing MP4 and WebM against `ffmpeg -i in.gif
# out.mp4` (and .webm) on the same GIFs, with peak memory, and checks that
# each clip lasts as long as its GIF.
#
# Two GIFs, made at run time:
#   photo   a photograph (python3-skimage) panned, 480x360, 120 frames, delay 4
#   varied  a test pattern, 320x240, 60 frames whose delays cycle 3, 7, 20
#
# usage: bench/gif_to_video.sh PATH/TO/framolo-cli
set -euo pipefail

cli=${1:?path to framolo-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

photo=$(dpkg -L python3-skimage | grep '/astronaut.png$' | head -n 1)
ffmpeg -hide_banner -loglevel error -y -loop 1 -i "$photo" \
  -vf "scale=960:960,zoompan=z='1.1+0.003*on':x='iw/5+on*2':y='ih/6+on':d=1:s=480x360:fps=25,trim=end_frame=120,split[a][b];[a]palettegen[p];[b][p]paletteuse" \
  "$work/photo.gif"

# Variable delays: ffmpeg's GIF muxer takes each frame's delay from its timestamps.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=s=320x240:r=10:d=6" \
  -vf "setpts='(floor(N/3)*30+if(eq(mod(N,3),0),0,if(eq(mod(N,3),1),3,10)))/100/TB',split[a][b];[a]palettegen[p];[b][p]paletteuse" \
  -fps_mode passthrough "$work/varied.gif"

duration() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1"; }

# Runs a command under /usr/bin/time; prints wall seconds and peak KB.
measure() {
  local log=$work/time.log
  /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null 2>&1
  cat "$log"
}

printf '%-8s %-5s %-8s %10s %10s %10s %10s\n' gif ext tool seconds peak_KB size_KB duration
for gif in photo varied; do
  want=$(duration "$work/$gif.gif")
  for ext in mp4 webm; do
    read -r s m < <(measure "$cli" gif2avi "$work/$gif.gif" "$work/f.$ext")
    printf '%-8s %-5s %-8s %10s %10s %10s %10s\n' "$gif" "$ext" framolo "$s" "$m" \
      $(($(stat -c %s "$work/f.$ext") / 1024)) "$(duration "$work/f.$ext")"
    read -r s m < <(measure ffmpeg -y -i "$work/$gif.gif" "$work/g.$ext")
    printf '%-8s %-5s %-8s %10s %10s %10s %10s\n' "$gif" "$ext" ffmpeg "$s" "$m" \
      $(($(stat -c %s "$work/g.$ext") / 1024)) "$(duration "$work/g.$ext")"
  done
  echo "$gif.gif lasts $want s"
done
