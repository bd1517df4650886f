#!/usr/bin/env bash
# Times framolo-cli avi2gif against ffmpeg's palettegen + paletteuse on the same
# 768x576 frames at the same size, and prints the ratio of wall times and the PSNR
# of each GIF against those frames.
#
# The XviD clip is decoded to raw frames once, with -fps_mode passthrough: read
# straight from the clip, ffmpeg repeats a frame near the start, and from there on
# every GIF frame would be compared with its neighbour. Both tools read the raw
# frames, and each GIF is compared with them frame k against frame k.
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

raw=$work/clip.bgr
ffmpeg -hide_banner -loglevel error -y -i "$clip" -fps_mode passthrough -f rawvideo -pix_fmt bgr24 "$raw"
decoded=$(($(stat -c %s "$raw") / (768 * 576 * 3)))
if [ "$decoded" -ne "$frames" ]; then
  echo "cli_vs_ffmpeg: $decoded raw frames, expected $frames" >&2
  exit 1
fi
raw_avi=$work/raw.avi
ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr24 -s 768x576 -r 25 -i "$raw" \
  -c:v rawvideo -pix_fmt bgr24 "$raw_avi"

now() { date +%s.%N; }

t0=$(now)
"$cli" avi2gif "$raw_avi" "$work/framolo.gif" --quiet
t1=$(now)
ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr24 -s 768x576 -r 25 -i "$raw" \
  -lavfi "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1:dither=floyd_steinberg" \
  -fps_mode passthrough "$work/ffmpeg.gif"
t2=$(now)

# Frame k of the GIF against frame k of the raw clip; stops when a GIF has
# another frame count than the clip.
psnr() {
  local log=$work/psnr.log out
  out=$(ffmpeg -hide_banner -nostats -i "$1" -f rawvideo -pix_fmt bgr24 -s 768x576 -r 25 -i "$raw" \
    -lavfi "[0:v]settb=1/25,setpts=N,format=rgb24[a];[1:v]settb=1/25,setpts=N,format=rgb24[b];[a][b]psnr=stats_file=$log:shortest=1" \
    -f null - 2>&1)
  local count
  count=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1")
  if [ "$count" -ne "$frames" ] || [ "$(wc -l <"$log")" -ne "$frames" ]; then
    echo "cli_vs_ffmpeg: $1 has $count frames, the clip $frames" >&2
    exit 1
  fi
  echo "$out" | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -n 1
}

ours=$(echo "$t1 - $t0" | bc -l)
theirs=$(echo "$t2 - $t1" | bc -l)
ours_psnr=$(psnr "$work/framolo.gif")
theirs_psnr=$(psnr "$work/ffmpeg.gif")
printf 'frames: %s at 768x576\n' "$frames"
printf 'framolo-cli: %.3f s (%.1f ms/frame), PSNR %s dB, %s bytes\n' "$ours" "$(echo "$ours * 1000 / $frames" | bc -l)" \
  "$ours_psnr" "$(stat -c %s "$work/framolo.gif")"
printf 'ffmpeg:      %.3f s (%.1f ms/frame), PSNR %s dB, %s bytes\n' "$theirs" "$(echo "$theirs * 1000 / $frames" | bc -l)" \
  "$theirs_psnr" "$(stat -c %s "$work/ffmpeg.gif")"
printf 'speed ratio (ffmpeg time / framolo time): %.2f\n' "$(echo "$theirs / $ours" | bc -l)"
