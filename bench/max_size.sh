#!/usr/bin/env bash
# avi2gif --estimate and --max-size on real and made clips.
#
# For every clip: the estimate against the real size at four settings (the
# default, --quality 40, --step 2, half the size), then three limits, from
# one that needs only quality given up to one that needs the size reduced
# (80 %, 45 % and 12 % of the default file's size): the final size (never
# over), the quality, step, width and height chosen, PSNR and SSIM of the
# GIF as shown (25 frames a second, scaled back to the clip's size) against
# the clip's frames, and the time against a plain conversion of the clip
# (CPU seconds, and wall seconds, which only a quiet machine makes fair).
#
# Clips (FRAMES frames each, 150 by default, played at 25 frames a second):
#   camera   two photographs shipped by python3-skimage, panned and zoomed
#   still    a surveillance camera's view of a square (vtest.avi, opencv-doc)
#   cartoon  a computer-animated film's trailer (Megamind.avi, opencv-doc)
#   screen   a text editor that scrolls, a blinking cursor and a moving pointer
#   fractal  ffmpeg's mandelbrot zoom, every pixel changing
# Missing packages (opencv-doc, python3-skimage) are installed with apt-get.
#
# usage: bench/max_size.sh PATH/TO/framolo-cli [FRAMES] [OUTPUT_FOLDER]
#   environment: CLIPS="camera still cartoon screen fractal"  SHARES="80 45 12"
set -euo pipefail

cli=$(realpath "${1:?path to framolo-cli}")
frames=${2:-150}
out=$(realpath -m "${3:-max-size-bench}")
clips=${CLIPS:-camera still cartoon screen fractal}
shares=${SHARES:-80 45 12}
mkdir -p "$out/clips"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# No step may take the machine's memory or run away.
ulimit -v 6000000
limit_time() { timeout 600 "$@"; }

die() {
  echo "max_size: $*" >&2
  exit 1
}

source "$(dirname "$0")/bench_clips.sh"
need_clip_packages "$clips"

ff() { limit_time ffmpeg -hide_banner -nostats -loglevel error -y "$@"; }

# make_clip NAME: an uncompressed AVI of the clip in $avi, its size in $width x $height.
make_clip() {
  avi=$out/clips/$1-$frames.avi
  clip_size "$1"
  [ -s "$avi" ] && return
  make_bench_clip "$1" "$frames" "$work/clip.avi"
  mv "$work/clip.avi" "$avi"
}

# run GIF ARGS...: converts, printing "BYTES WALL_SECONDS CPU_SECONDS" and keeping the JSON report in $work/report.
run() {
  local gif=$1
  shift
  rm -f "$gif"
  /usr/bin/time -f "%e %U %S" -o "$work/time" timeout 600 "$cli" avi2gif "$avi" "$gif" --json --quiet "$@" \
    >"$work/report" 2>"$work/err" || true
  local bytes=-1
  [ -f "$gif" ] && bytes=$(stat -c %s "$gif")
  awk -v b="$bytes" '{ printf "%s %s %.2f\n", b, $1, $2 + $3 }' "$work/time"
}

json() { grep -o "\"$1\": [0-9]*" "$work/report" | grep -o '[0-9]*$' || echo -; }

# metrics GIF: "PSNR SSIM" of the GIF as shown against the clip's frames.
metrics() {
  local gif=$1
  ff -i "$gif" -i "$avi" -lavfi \
    "[0:v]fps=25,scale=$width:$height:flags=bicubic,tpad=stop=8:stop_mode=clone,format=gbrp,setpts=N,split[a1][a2];[1:v]format=gbrp,setpts=N,split[b1][b2];[a1][b1]psnr=stats_file=$work/psnr.log:shortest=1[p];[a2][b2]ssim=stats_file=$work/ssim.log:shortest=1[s]" \
    -map '[p]' -f null - -map '[s]' -f null - || die "$gif: comparison failed"
  local psnr ssim
  psnr=$(awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^mse_avg:/) { split($i, a, ":"); s += a[2] } }
    END { printf "%.2f", 10 * log(255 * 255 / (s / NR)) / log(10) }' "$work/psnr.log")
  ssim=$(awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^All:/) { split($i, a, ":"); s += a[2] } } END { printf "%.4f", s / NR }' "$work/ssim.log")
  echo "$psnr $ssim"
}

estimates=$out/estimates.tsv
limits=$out/limits.tsv
printf 'clip\tsettings\testimate\treal\terror_%%\testimate_s\tplain_s\n' >"$estimates"
printf 'clip\tlimit\tbytes\tunder\tquality\tstep\twidth\theight\tencodes\testimates\tpsnr\tssim\tseconds\tplain_seconds\tratio\twall_ratio\n' >"$limits"
for clip in $clips; do
  make_clip "$clip"
  half="--width $((width / 2)) --height $((height / 2))"
  plain_bytes= plain_cpu= plain_wall=
  for settings in "" "--quality 40" "--step 2" "$half"; do
    # shellcheck disable=SC2086 # settings are options to split
    read -r e_bytes e_wall e_cpu < <(/usr/bin/time -f "%e %U %S" -o "$work/time" timeout 600 "$cli" avi2gif "$avi" \
      --estimate --json $settings >"$work/report" && awk -v b="$(json estimate_bytes)" '{ printf "%s %s %.2f\n", b, $1, $2 + $3 }' "$work/time")
    # shellcheck disable=SC2086
    read -r r_bytes r_wall r_cpu < <(run "$work/real.gif" $settings)
    [ -z "$settings" ] && plain_bytes=$r_bytes plain_cpu=$r_cpu plain_wall=$r_wall plain_metrics=$(metrics "$work/real.gif")
    printf '%s\t%s\t%s\t%s\t%+.1f\t%s\t%s\n' "$clip" "${settings:-default}" "$e_bytes" "$r_bytes" \
      "$(echo "100 * $e_bytes / $r_bytes - 100" | bc -l)" "$e_cpu" "$r_cpu" >>"$estimates"
  done
  read -r plain_psnr plain_ssim <<<"$plain_metrics"
  printf '%s\tnone\t%s\tplain\t80\t1\t%s\t%s\t1\t0\t%s\t%s\t%s\t%s\t1.00\t1.00\n' "$clip" "$plain_bytes" "$width" \
    "$height" "$plain_psnr" "$plain_ssim" "$plain_cpu" "$plain_cpu" >>"$limits"
  for share in $shares; do
    limit=$((plain_bytes * share / 100))
    read -r bytes wall cpu < <(run "$work/fit.gif" --max-size "$limit")
    under=yes quality=- step=- w=- h=- enc=- est=- psnr=- ssim=-
    if [ "$bytes" -lt 0 ]; then
      under="none ($(grep -o 'takes [0-9]* bytes' "$work/err" || tail -n 1 "$work/err"))"
    else
      [ "$bytes" -le "$limit" ] || under="OVER"
      quality=$(json quality) step=$(json step) w=$(json width) h=$(json height) enc=$(json encodes) est=$(json estimates)
      read -r psnr ssim < <(metrics "$work/fit.gif")
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%.2f\t%.2f\n' "$clip" "$limit" "$bytes" "$under" \
      "$quality" "$step" "$w" "$h" "$enc" "$est" "$psnr" "$ssim" "$cpu" "$plain_cpu" \
      "$(echo "$cpu / $plain_cpu" | bc -l)" "$(echo "$wall / $plain_wall" | bc -l)" >>"$limits"
  done
done
column -t -s $'\t' "$estimates"
awk -F'\t' 'NR > 1 { e = $5 < 0 ? -$5 : $5; if (e > w) { w = e; at = $1 " " $2 } } END { printf "worst estimate error: %.1f %% (%s)\n\n", w, at }' "$estimates"
column -t -s $'\t' "$limits"
awk -F'\t' 'NR > 1 && $2 != "none" && $3 >= 0 { s += $15; w += $16; ++n }
  END { if (n) printf "mean time against a plain conversion: %.2fx in CPU seconds, %.2fx in wall seconds, over %d runs\n", s / n, w / n, n }' "$limits"
echo "tables: $estimates $limits"
