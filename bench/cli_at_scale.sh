#!/usr/bin/env bash
# Wall time and peak memory of framolo-cli avi2gif as clips grow: 100, 400 and
# 800 frames of a 768x576 clip and 300 frames of a 1920x1080 clip, each beside
# ffmpeg's per-frame palettegen + paletteuse on the same frames in the same
# run. framolo-cli runs with one thread and with its default (one per core).
# Peak memory is the largest resident set, from /usr/bin/time -f %M; CPU is
# user + system seconds, which says more than wall time on a busy machine.
#
# usage: bench/cli_at_scale.sh PATH/TO/framolo-cli [SIZES]
#   SIZES: "WIDTHxHEIGHT:FRAMES ..." (default "768x576:100 768x576:400
#          768x576:800 1920x1080:300")
set -euo pipefail

cli=${1:?path to framolo-cli}
sizes=${2:-"768x576:100 768x576:400 768x576:800 1920x1080:300"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A photo-like clip: a real photograph (shipped by python3-skimage) panned and zoomed.
photo=$(dpkg -L python3-skimage | grep '/astronaut.png$' | head -n 1)
clip_for() { # WIDTHxHEIGHT FRAMES -> path; one clip per size, long enough for the most frames
  local size=$1 frames=$2 path=$work/clip_$1.avi w h
  w=${size%x*}
  h=${size#*x}
  if [ ! -e "$path" ] || [ "$(cat "$path.frames")" -lt "$frames" ]; then
    ffmpeg -hide_banner -loglevel error -y -loop 1 -i "$photo" \
      -vf "scale=$((w * 2)):$((w * 2)),zoompan=z='1.2+0.002*on':x='iw/4+on*2':y='ih/5+on':d=1:s=${size}:fps=25" \
      -frames:v "$frames" -c:v mpeg4 -q:v 3 -bf 2 -vtag XVID "$path"
    echo "$frames" >"$path.frames"
  fi
  echo "$path"
}

# Runs a command under /usr/bin/time; prints "WALL_SECONDS MEGABYTES CPU_SECONDS".
measure() {
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
    cat "$work/err" >&2
    exit 1
  }
  read -r wall kb user sys <"$work/time"
  printf '%s %.1f %.2f\n' "$wall" "$(echo "$kb / 1024" | bc -l)" "$(echo "$user + $sys" | bc -l)"
}

# Every clip is made first, at its longest, so that making them is not timed.
for case in $sizes; do
  size=${case%:*}
  frames=${case#*:}
  longest=$(for c in $sizes; do if [ "${c%:*}" = "$size" ]; then echo "${c#*:}"; fi; done |
    sort -n | tail -n 1)
  clip_for "$size" "$longest" >/dev/null
done

printf '%-10s %6s | %-23s | %-23s | %-23s | %s\n' size frames "framolo, 1 thread" \
  "framolo, default threads" "ffmpeg, per frame" "ffmpeg / framolo default"
printf '%-10s %6s | %-23s | %-23s | %-23s | %s\n' "" "" "wall s   MB     cpu s" \
  "wall s   MB     cpu s" "wall s   MB     cpu s" "wall    cpu"
for case in $sizes; do
  size=${case%:*}
  frames=${case#*:}
  clip=$(clip_for "$size" "$frames")
  read -r t1 m1 c1 < <(measure "$cli" avi2gif "$clip" "$work/one.gif" --quiet --end $((frames - 1)) --threads 1)
  read -r td md cd < <(measure "$cli" avi2gif "$clip" "$work/default.gif" --quiet --end $((frames - 1)))
  cmp -s "$work/one.gif" "$work/default.gif" || { echo "outputs differ between thread counts" >&2; exit 1; }
  read -r tf mf cf < <(measure ffmpeg -hide_banner -loglevel error -y -i "$clip" -frames:v "$frames" \
    -lavfi "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1:dither=floyd_steinberg" \
    "$work/ffmpeg.gif")
  printf '%-10s %6s | %6.2f %6.1f %7.2f   | %6.2f %6.1f %7.2f   | %6.2f %6.1f %7.2f   | %5.1f %5.1f\n' \
    "$size" "$frames" "$t1" "$m1" "$c1" "$td" "$md" "$cd" "$tf" "$mf" "$cf" \
    "$(echo "$tf / $td" | bc -l)" "$(echo "$cf / $cd" | bc -l)"
done
