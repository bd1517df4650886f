#!/usr/bin/env bash
# Runs one libFuzzer target of a FRAMOLO_FUZZ build for a while, at low
# priority, from a work corpus seeded with the target's small seeds.
#
#   fuzz/run_fuzzer.sh BUILD_DIR TARGET SECONDS [WORK_DIR [LIBFUZZER_FLAG...]]
#
# Flags after the work directory come last and so win over the defaults, e.g.
# -timeout=60 on a machine so loaded that a millisecond input may stall.
#
# Seeds larger than the target's input cap stay out of the work corpus (CTest
# still replays them); they would only make each run slow.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
target=$2
seconds=$3
work=${4:-$build/fuzz-work/$target}
shift $(($# < 4 ? $# : 4))

max_len=65536
dict=
seeds=()
case $target in
gif_load_fuzz | gif_render_fuzz)
  max_len=16384
  dict=$here/gif.dict
  seeds=("$here/corpus/gif_load" "$here/../tests/data/gif")
  ;;
gif_encode_roundtrip_fuzz)
  # Three 64 x 64 pictures of 24 bits with their settings fit in 37 KiB; the
  # cap keeps most inputs to one or two pictures, which is where the speed is.
  max_len=16384
  seeds=("$here/corpus/gif_encode_roundtrip")
  ;;
bmp_load_fuzz)
  max_len=65536
  seeds=("$here/corpus/bmp_load")
  ;;
avi_header_fuzz)
  max_len=65536
  dict=$here/avi/avi.dict
  seeds=("$here/avi/corpus")
  ;;
clip_read_fuzz)
  max_len=65536
  dict=$here/avi/avi.dict
  seeds=("$here/corpus/clip_read" "$here/avi/corpus")
  ;;
*)
  echo "unknown target $target" >&2
  exit 2
  ;;
esac

binary=$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)
[ -n "$binary" ] || { echo "no $target in $build" >&2; exit 2; }

mkdir -p "$work/corpus" "$work/artifacts"
for dir in "${seeds[@]}"; do
  [ -d "$dir" ] || continue
  find "$dir" -type f -size -$((max_len + 1))c \( -name '*.gif' -o -name '*.bmp' -o -name '*.avi' -o -name '*.mp4' \
    -o -name 'seed-*' -o -name 'regress-*' \) -exec cp -n {} "$work/corpus/" \;
done

args=(-max_len="$max_len" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10
  -print_final_stats=1 -artifact_prefix="$work/artifacts/")
[ -n "$dict" ] && args+=(-dict="$dict")
args+=("$@")
exec nice -n 19 "$binary" "${args[@]}" "$work/corpus"
