#!/usr/bin/env bash
# Compares framolo-cli avi2gif with gifski on the same frames: PSNR and SSIM
# of every composited frame against its source frame (frame k with frame k),
# file size and the wall and CPU time of the whole process, first at each tool's
# default setting, then across a sweep of each tool's --quality. The sweep's
# size-against-quality curves are plotted into the output folder.
#
# Clips (60 frames each unless told otherwise, all played at 25 frames a second):
#   camera   photographs shipped by python3-skimage, panned and zoomed (real pictures, moving camera)
#   still    a surveillance camera's view of a square with people walking (vtest.avi, opencv-doc)
#   cartoon  a computer-animated film's trailer (Megamind.avi, opencv-doc)
#   screen   a screen recording: a text editor that scrolls, a pointer and a typing cursor
#
# Each clip is decoded once to raw frames, kept in the output folder's clips/ for later runs. gifski reads them as PNG files made
# beforehand, framolo-cli as an uncompressed AVI of the same frames. Missing
# tools are installed: gifski from its npm package (into the output folder),
# gnuplot, the opencv-doc clips and python3-skimage with apt-get.
#
# usage: bench/gif_vs_gifski.sh PATH/TO/framolo-cli [FRAMES] [OUTPUT_FOLDER]
#   environment: CLIPS="camera still cartoon screen"  SWEEP="30 50 70 80 90 100" (empty: no sweep)
#                FRAMOLO_SWEEP="1 8 16 24 ..." framolo-cli's qualities (default: more points
#                than gifski's, low ones included); GIFSKI_SWEEP (default: SWEEP)
#                FRAMOLO_ARGS="..." options added to every framolo-cli run
#                GIFSKI_ROWS=FILE gifski's sweep rows taken from an earlier run's sweep.txt
#                (same clips and frames) instead of running gifski again
#                RUNS=5 timed runs of each default conversion, after one untimed
#                (the medians are reported; one run of a second or two is noisy)
set -euo pipefail

cli=$(realpath "${1:?path to framolo-cli}")
frames=${2:-60}
out=$(realpath -m "${3:-gif-vs-gifski}")
clips=${CLIPS:-camera still cartoon screen}
sweep=${SWEEP-30 50 70 80 90 100}
runs=${RUNS:-5}
gifski_sweep=${GIFSKI_SWEEP-$sweep}
framolo_sweep=${FRAMOLO_SWEEP-1 8 16 24 30 40 50 60 70 80 90 95 100}
[ -n "$sweep" ] || framolo_sweep= gifski_sweep=
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

die() {
  echo "gif_vs_gifski: $*" >&2
  exit 1
}

source "$(dirname "$0")/bench_clips.sh"

gifski=$out/gifski-npm/node_modules/gifski/bin/debian/gifski
if [ ! -x "$gifski" ]; then
  need_package npm npm
  mkdir -p "$out/gifski-npm"
  (cd "$out/gifski-npm" && npm install --silent gifski@1.7.1 >/dev/null) || die "npm install gifski failed"
  [ -x "$gifski" ] || die "the gifski package has no Linux binary at $gifski"
fi
need_package gnuplot gnuplot-nox
need_clip_packages "$clips"

# make_clip NAME: raw BGR frames of the clip into $raw, the same as an
# uncompressed AVI into $raw_avi and as PNG files into $png, its size into
# $width and $height.
make_clip() {
  local name=$1
  local cached=$out/clips/$name-$frames
  raw=$cached/raw.bgr raw_avi=$cached/raw.avi png=$cached/png
  if [ -f "$cached/done" ]; then
    read -r width height <"$cached/done"
    return
  fi
  rm -rf "$cached" && mkdir -p "$cached"
  make_bench_clip "$name" "$frames" "$raw_avi"
  ffmpeg -hide_banner -loglevel error -y -i "$raw_avi" -fps_mode passthrough \
    -f rawvideo -pix_fmt bgr24 "$raw"
  local decoded=$(($(stat -c %s "$raw") / (width * height * 3)))
  [ "$decoded" -eq "$frames" ] || die "$name: $decoded raw frames, expected $frames"
  mkdir -p "$png"
  ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr24 -s ${width}x${height} -r 25 \
    -i "$raw" "$png/%05d.png"
  echo "$width $height" >"$cached/done"
}

# metrics GIF: "PSNR SSIM" of the GIF's composited frames against the raw
# frames, frame k with frame k. The GIF is read at 25 frames a second, so a
# frame a tool merged into its predecessor's delay is compared as shown.
metrics() {
  local gif=$1 plog=$work/psnr.log slog=$work/ssim.log
  rm -f "$plog" "$slog"
  local cmp="[0:v]fps=25,tpad=stop=2:stop_mode=clone,settb=1/25,setpts=N,format=gbrp,split[a1][a2];[1:v]settb=1/25,setpts=N,format=gbrp,split[b1][b2]"
  ffmpeg -hide_banner -nostats -loglevel error -i "$gif" \
    -f rawvideo -pix_fmt bgr24 -s ${width}x${height} -r 25 -i "$raw" \
    -lavfi "$cmp;[a1][b1]psnr=stats_file=$plog:shortest=1[p];[a2][b2]ssim=stats_file=$slog:shortest=1[s]" \
    -map '[p]' -f null - -map '[s]' -f null - >/dev/null 2>&1 || die "$gif: comparison failed"
  [ "$(wc -l <"$plog")" -eq "$frames" ] || die "$gif: compared $(wc -l <"$plog") frames, expected $frames"
  # The mean of the per-frame mean squared errors, as ffmpeg's own average.
  local psnr ssim
  psnr=$(awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^mse_avg:/) { split($i, a, ":"); s += a[2] } }
    END { m = s / NR; if (m <= 0) print "inf"; else printf "%.3f", 10 * log(255 * 255 / m) / log(10) }' "$plog")
  ssim=$(awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^All:/) { split($i, a, ":"); s += a[2] } }
    END { printf "%.5f", s / NR }' "$slog")
  echo "$psnr $ssim"
}

# timed GIF COMMAND...: runs the command $repeat times (and once more first,
# untimed, when $repeat is above 1), then prints "PSNR SSIM BYTES SECONDS
# CPU_SECONDS": the median wall time, and user plus system time, of the whole
# process.
repeat=1
timed() {
  local gif=$1
  shift
  local n
  : >"$work/times"
  for ((n = repeat > 1 ? 0 : 1; n <= repeat; ++n)); do
    /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" ||
      die "$* failed: $(tail -n 3 "$work/stderr")"
    [ "$n" -gt 0 ] && awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/time" >>"$work/times"
  done
  local values
  values=$(metrics "$gif") || exit 1
  echo "$values $(stat -c %s "$gif") $(median 1 <"$work/times") $(median 2 <"$work/times")"
}
# median COLUMN: the median of a column of numbers on standard input.
median() { sort -g -k "$1" | awk -v c="$1" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

framolo() { # framolo GIF [options]
  local gif=$1
  shift
  # shellcheck disable=SC2086 # the extra options are meant to split
  timed "$gif" "$cli" avi2gif "$raw_avi" "$gif" --quiet ${FRAMOLO_ARGS:-} "$@"
}
gifski_run() { # gifski_run GIF [options]
  local gif=$1
  shift
  # Without --width gifski halves pictures larger than about 800 x 600.
  timed "$gif" "$gifski" --fps 25 --width "$width" "$@" -o "$gif" "$png"/*.png
}

table=$out/table.txt
{
  printf 'frames: %s a clip, %s cores; framolo-cli avi2gif (default settings) against gifski 1.7.1 (default, quality 90); times are medians of %s runs\n\n' \
    "$frames" "$(nproc)" "$runs"
  printf '| clip    | tool    | PSNR dB |   SSIM  |    KiB |  wall s |  CPU s | PSNR +dB | SSIM +   | size x | speed x | CPU x |\n'
  printf '|---|---|---|---|---|---|---|---|---|---|---|---|\n'
} >"$table"
cat "$table"
: >"$out/sweep.txt"
for clip in $clips; do
  make_clip "$clip"
  repeat=$runs
  row=$(framolo "$work/f.gif") || die "$clip: framolo-cli's run failed"
  read -r fp fs fb ft fc <<<"$row"
  row=$(gifski_run "$work/g.gif") || die "$clip: gifski's run failed"
  read -r gp gs gb gt gc <<<"$row"
  repeat=1
  {
    printf '| %-7s | gifski  | %7.2f | %7.5f | %6.0f | %7.2f | %6.2f |          |          |        |         |       |\n' \
      "$clip" "$gp" "$gs" "$(echo "$gb / 1024" | bc -l)" "$gt" "$gc"
    printf '| %-7s | framolo | %7.2f | %7.5f | %6.0f | %7.2f | %6.2f | %+8.2f | %+8.5f | %6.3f | %7.2f | %5.2f |\n' \
      "$clip" "$fp" "$fs" "$(echo "$fb / 1024" | bc -l)" "$ft" "$fc" "$(echo "$fp - $gp" | bc -l)" \
      "$(echo "$fs - $gs" | bc -l)" "$(echo "$fb / $gb" | bc -l)" "$(echo "$gt / $ft" | bc -l)" \
      "$(echo "$gc / $fc" | bc -l)"
  } | tee -a "$table"
  for q in $framolo_sweep; do
    row=$(framolo "$work/f.gif" --quality "$q") || die "$clip: framolo-cli --quality $q failed"
    echo "$clip framolo $q $row" >>"$out/sweep.txt"
  done
  for q in $gifski_sweep; do
    if [ -n "${GIFSKI_ROWS:-}" ]; then
      grep "^$clip gifski $q " "$GIFSKI_ROWS" >>"$out/sweep.txt" || die "$clip: no gifski row for quality $q in $GIFSKI_ROWS"
      continue
    fi
    row=$(gifski_run "$work/g.gif" --quality "$q") || die "$clip: gifski --quality $q failed"
    echo "$clip gifski $q $row" >>"$out/sweep.txt"
  done
done

if [ -n "$sweep" ]; then
  {
    printf '\nsweep: clip tool quality PSNR SSIM bytes wall-seconds CPU-seconds\n'
    cat "$out/sweep.txt"
  } >>"$table"
  # At the size of each gifski file, framolo-cli's curve (straight between its
  # points) against gifski's quality; past framolo-cli's largest file its best.
  {
    printf '\nframolo-cli at the size of each gifski file: clip quality gifski-KiB PSNR(framolo gifski) SSIM(framolo gifski)\n'
    awk '
      $2 == "framolo" { n[$1]++; fs[$1, n[$1]] = $6; fp[$1, n[$1]] = $4; fq[$1, n[$1]] = $5 }
      $2 == "gifski" { g[++m] = $0 }
      function value(clip, i, col) { return col == 4 ? fp[clip, i] : fq[clip, i] }
      # The best of: any framolo file at most that large, and the line from
      # the largest of those to the next larger one.
      function at(clip, size, col,   i, j, t, best, top, v) {
        best = -1
        for (i = 1; i <= n[clip]; ++i)
          if (fs[clip, i] <= size) {
            if (best < 0 || fs[clip, i] > fs[clip, best]) best = i
            v = value(clip, i, col)
            if (top == "" || v > top) top = v
          }
        if (best < 0) return "none"
        j = -1
        for (i = 1; i <= n[clip]; ++i)
          if (fs[clip, i] > size && (j < 0 || fs[clip, i] < fs[clip, j])) j = i
        if (j < 0) return top
        t = (size - fs[clip, best]) / (fs[clip, j] - fs[clip, best])
        v = value(clip, best, col) + t * (value(clip, j, col) - value(clip, best, col))
        return v > top ? v : top
      }
      END {
        for (k = 1; k <= m; ++k) {
          split(g[k], w, " ")
          p = at(w[1], w[6], 4); q = at(w[1], w[6], 5)
          if (p == "none") { printf "%-8s q%-3s %7.0f  framolo has no file this small\n", w[1], w[3], w[6] / 1024; continue }
          printf "%-8s q%-3s %7.0f  PSNR %6.2f %6.2f %-5s  SSIM %.4f %.4f %s\n", w[1], w[3], w[6] / 1024,
            p, w[4], (p > w[4] ? "above" : "BELOW"), q, w[5], (q > w[5] ? "above" : "BELOW")
        }
      }' "$out/sweep.txt"
  } | tee -a "$table"
  for clip in $clips; do
    for metric in psnr ssim; do
      col=4 label="PSNR dB"
      [ $metric = ssim ] && col=5 label=SSIM
      grep "^$clip framolo " "$out/sweep.txt" | sort -k6 -n >"$work/f.dat"
      grep "^$clip gifski " "$out/sweep.txt" | sort -k6 -n >"$work/g.dat"
      gnuplot <<EOF
set terminal pngcairo size 800,560
set output "$out/$clip-$metric.png"
set title "$clip: size against $label (--quality sweeps, $frames frames)"
set xlabel "file size, KiB"
set ylabel "$label"
set key bottom right
set grid
plot "$work/f.dat" using (\$6/1024):$col with linespoints title "framolo-cli", \
     "$work/g.dat" using (\$6/1024):$col with linespoints title "gifski 1.7.1"
EOF
    done
  done
fi
echo
echo "table: $table; curves: $out/*-psnr.png, $out/*-ssim.png"
