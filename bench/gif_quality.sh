#!/usr/bin/env bash
# Compares the GIFs framolo-cli and its peers make from the same frames:
# PSNR against the frames, file size, wall time and peak memory of each run.
#
#   framolo-cli default            quantize + floydsteinberg
#   framolo-cli best               --reduction best
#   framolo-cli best optimize      --reduction best --optimize (tolerance 8, the default)
#   framolo-cli ... tolerance 0    --reduction best --optimize --tolerance 0
#   framolo-cli ... no dither      --reduction best --optimize --dither nearest
#   ffmpeg per-frame palettes      palettegen stats_mode=single, paletteuse new=1, Floyd-Steinberg
#   ffmpeg one palette, rects      palettegen, paletteuse Floyd-Steinberg, diff_mode=rectangle
#   ffmpeg diff palette, Bayer     palettegen stats_mode=diff, paletteuse Bayer, diff_mode=rectangle
#   gifsicle -O3                   gifsicle -O3 over framolo-cli best (when gifsicle is installed)
#   gifski                         (when gifski is installed)
#
# Two clips, 768 x 576 at 25 frames per second:
#   motion  photographs shipped by python3-skimage, panned and zoomed (MPEG-4 with B-frames)
#   static  a still Mandelbrot picture under a moving test pattern (H.264 with B-frames)
#
# Each clip is decoded once to raw frames with -fps_mode passthrough, so that
# no frame is repeated or dropped; every tool reads those raw frames, and
# every GIF is compared with them frame k against frame k. The script stops
# if a GIF does not have the raw clip's frame count, or if the comparison
# does not pair the frames one to one.
#
# usage: bench/gif_quality.sh PATH/TO/framolo-cli [FRAMES]
set -euo pipefail

cli=${1:?path to framolo-cli}
frames=${2:-60}
width=768
height=576
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

die() {
  echo "gif_quality: $*" >&2
  exit 1
}

source "$(dirname "$0")/bench_clips.sh"

make_motion_clip() {
  local half=$((frames / 2))
  local pan="zoompan=z='1.15+0.004*on':x='iw/5+on*3':y='ih/6+on*2':d=1:s=${width}x${height}:fps=25"
  ffmpeg -hide_banner -loglevel error -y \
    -loop 1 -i "$(bench_photo astronaut.png)" -loop 1 -i "$(bench_photo coffee.png)" \
    -filter_complex "[0:v]scale=1536:1536,${pan},trim=end_frame=${half},setsar=1[a];[1:v]scale=1600:1200,${pan},trim=end_frame=$((frames - half)),setsar=1[b];[a][b]concat=n=2:v=1[v]" \
    -map '[v]' -frames:v "$frames" -c:v mpeg4 -q:v 3 -bf 2 -vtag XVID "$1"
}

make_static_clip() {
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "mandelbrot=s=${width}x${height}:rate=25,trim=end_frame=1,loop=loop=-1:size=1" \
    -f lavfi -i "testsrc2=s=240x180:rate=25" \
    -filter_complex "[0:v][1:v]overlay=x='40+t*200':y='200+40*sin(t*3)':shortest=1,format=yuv420p" \
    -frames:v "$frames" -c:v libx264 -crf 16 -bf 3 "$1"
}

# Frames a decoder reads from a file.
frame_count() {
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$1"
}

# Average PSNR of a GIF against the raw frames, frame k with frame k (both
# renumbered 0, 1, 2, ...); $3 shifts the GIF by that many frames.
psnr() {
  local gif=$1 raw=$2 shift=${3:-0} log=$work/psnr.log
  rm -f "$log"
  local out
  out=$(ffmpeg -hide_banner -nostats -i "$gif" \
    -f rawvideo -pix_fmt bgr24 -s ${width}x${height} -r 25 -i "$raw" \
    -lavfi "[0:v]trim=start_frame=${shift},settb=1/25,setpts=N,format=rgb24[a];[1:v]settb=1/25,setpts=N,format=rgb24[b];[a][b]psnr=stats_file=${log}:shortest=1" \
    -fps_mode passthrough -f null - 2>&1)
  local compared
  compared=$(wc -l <"$log")
  [ "$compared" -eq $((frames - shift)) ] ||
    die "$(basename "$gif"): compared $compared frame pairs, expected $((frames - shift))"
  # Every pair is frame n of the GIF with frame n of the clip.
  awk '{ split($1, a, ":"); if (a[2] != NR) exit 1 }' "$log" || die "frame pairs out of order"
  echo "$out" | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -n 1
}

# run LABEL OUTPUT COMMAND...: times the command and prints one table row.
run() {
  local label=$1 output=$2
  shift 2
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" ||
    die "$label failed: $(tail -n 3 "$work/stderr")"
  report "$label" "$output" "$(cut -d' ' -f1 "$work/time")" "$(cut -d' ' -f2 "$work/time")"
}

# report LABEL GIF SECONDS PEAK_KB
report() {
  local label=$1 gif=$2 seconds=$3 peak=$4
  local count value
  count=$(frame_count "$gif")
  [ "$count" -eq "$frames" ] || die "$label: $count frames in the GIF, the clip has $frames"
  value=$(psnr "$gif" "$raw")
  printf '| %-8s | %-40s | %6.2f | %6.2f | %6.2f | %5.0f |\n' "$clip" "$label" "$value" \
    "$(echo "$(stat -c %s "$gif") / 1048576" | bc -l)" "$seconds" "$(echo "$peak / 1024" | bc -l)"
}

# ffmpeg reading the raw frames.
ffmpeg_raw() {
  echo ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr24 -s ${width}x${height} \
    -r 25 -i "$raw"
}

printf 'frames: %s at %sx%s, %s cores\n\n' "$frames" "$width" "$height" "$(nproc)"
printf '| clip     | tool and setting                         | PSNR dB |    MiB | wall s | peak MiB |\n'
printf '|---|---|---|---|---|---|\n'

for clip in motion static; do
  source_clip=$work/$clip.avi
  if [ "$clip" = motion ]; then
    make_motion_clip "$source_clip"
  else
    make_static_clip "$source_clip"
  fi

  # Decode once, frame for frame; the raw frames are what every tool reads.
  raw=$work/$clip.bgr
  ffmpeg -hide_banner -loglevel error -y -i "$source_clip" -fps_mode passthrough \
    -f rawvideo -pix_fmt bgr24 "$raw"
  decoded=$(($(stat -c %s "$raw") / (width * height * 3)))
  [ "$decoded" -eq "$frames" ] || die "$clip: $decoded raw frames, expected $frames"
  # framolo-cli reads AVI: the same raw frames, stored uncompressed.
  raw_avi=$work/$clip-raw.avi
  ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr24 -s ${width}x${height} -r 25 \
    -i "$raw" -c:v rawvideo -pix_fmt bgr24 "$raw_avi"

  run "framolo-cli default" "$work/default.gif" "$cli" avi2gif "$raw_avi" "$work/default.gif" --quiet
  if [ "$clip" = motion ]; then
    # The comparison must be aligned: shifted by one frame it has to get worse.
    aligned=$(psnr "$work/default.gif" "$raw")
    shifted=$(psnr "$work/default.gif" "$raw" 1)
    [ "$(echo "$aligned > $shifted" | bc -l)" -eq 1 ] ||
      die "alignment check: $aligned dB aligned, $shifted dB shifted by one frame"
  fi
  run "framolo-cli --reduction best" "$work/best.gif" \
    "$cli" avi2gif "$raw_avi" "$work/best.gif" --quiet --reduction best
  run "framolo-cli --reduction best --optimize" "$work/optimized.gif" \
    "$cli" avi2gif "$raw_avi" "$work/optimized.gif" --quiet --reduction best --optimize
  run "framolo-cli best --optimize, tolerance 0" "$work/exact.gif" \
    "$cli" avi2gif "$raw_avi" "$work/exact.gif" --quiet --reduction best --optimize --tolerance 0
  run "framolo-cli best --optimize, no dither" "$work/plain.gif" \
    "$cli" avi2gif "$raw_avi" "$work/plain.gif" --quiet --reduction best --optimize --dither nearest
  # shellcheck disable=SC2046 # ffmpeg_raw's words are meant to split
  run "ffmpeg per-frame palettes, FS" "$work/ff1.gif" $(ffmpeg_raw) -lavfi \
    "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1:dither=floyd_steinberg" \
    -fps_mode passthrough "$work/ff1.gif"
  # shellcheck disable=SC2046
  run "ffmpeg one palette, FS, rectangles" "$work/ff2.gif" $(ffmpeg_raw) -lavfi \
    "split[a][b];[a]palettegen[p];[b][p]paletteuse=dither=floyd_steinberg:diff_mode=rectangle" \
    -fps_mode passthrough "$work/ff2.gif"
  # shellcheck disable=SC2046
  run "ffmpeg diff palette, Bayer, rectangles" "$work/ff3.gif" $(ffmpeg_raw) -lavfi \
    "split[a][b];[a]palettegen=stats_mode=diff[p];[b][p]paletteuse=dither=bayer:diff_mode=rectangle" \
    -fps_mode passthrough "$work/ff3.gif"
  if command -v gifsicle >/dev/null; then
    # gifsicle rewrites framolo-cli's best GIF; the time is gifsicle's alone.
    run "gifsicle -O3 of framolo best (its step)" "$work/gifsicle.gif" \
      gifsicle -O3 "$work/best.gif" -o "$work/gifsicle.gif"
  fi
  if command -v gifski >/dev/null; then
    mkdir -p "$work/png"
    ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr24 -s ${width}x${height} -r 25 \
      -i "$raw" "$work/png/%05d.png"
    run "gifski" "$work/gifski.gif" gifski --fps 25 -o "$work/gifski.gif" "$work"/png/*.png
    rm -rf "$work/png"
  fi
done
