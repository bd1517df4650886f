#!/usr/bin/env bash
# Times framolo-cli avi2gif against ffmpeg's palettegen + paletteuse on the same
# 768x576 clip at the same size, and prints the ratio of wall times and the PSNR
# of each GIF against the source frames.
#
# usage: bench/cli_vs_ffmpeg.sh PATH/TO/framolo-cli [FRAMES]
set -euo pipefail

cli=${1:?path to framolo-cli}
frames=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A photo-like clip: a real photograph (shipped by python3-skimage) panned and zoomed.
photo=$(dpkg -L python3-skimage | grep '/astronaut.png$' | head -n 1)
clip=$work/clip.avi
ffmpeg -hide_banner -loglevel error -y -loop 1 -i "$photo" \
  -vf "scale=1536:1536,zoompan=z='1.2+0.004*on':x='iw/4+on*2':y='ih/5+on':d=1:s=768x576:fps=25" \
  -frames:v "$frames" -c:v mpeg4 -q:v 3 -bf 2 -vtag XVID "$clip"

now() { date +%s.%N; }

t0=$(now)
"$cli" avi2gif "$clip" "$work/framolo.gif" --quiet
t1=$(now)
ffmpeg -hide_banner -loglevel error -y -i "$clip" \
  -lavfi "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1:dither=floyd_steinberg" \
  "$work/ffmpeg.gif"
t2=$(now)

psnr() {
  ffmpeg -hide_banner -nostats -i "$1" -i "$clip" -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" \
    -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -n 1
}

ours=$(echo "$t1 - $t0" | bc -l)
theirs=$(echo "$t2 - $t1" | bc -l)
printf 'frames: %s at 768x576\n' "$frames"
printf 'framolo-cli: %.3f s (%.1f ms/frame), PSNR %s dB, %s bytes\n' "$ours" "$(echo "$ours * 1000 / $frames" | bc -l)" \
  "$(psnr "$work/framolo.gif")" "$(stat -c %s "$work/framolo.gif")"
printf 'ffmpeg:      %.3f s (%.1f ms/frame), PSNR %s dB, %s bytes\n' "$theirs" "$(echo "$theirs * 1000 / $frames" | bc -l)" \
  "$(psnr "$work/ffmpeg.gif")" "$(stat -c %s "$work/ffmpeg.gif")"
printf 'speed ratio (ffmpeg time / framolo time): %.2f\n' "$(echo "$theirs / $ours" | bc -l)"
