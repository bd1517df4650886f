#!/usr/bin/env bash
# Installs what is missing, builds Framolo and runs it: the command-line
# converter turns the sample clip into an animated GIF and prints its report.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --run-only

build=${FRAMOLO_BUILD_DIR:-build}/run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFRAMOLO_TESTS=OFF
cmake --build "$build" --target framolo-cli -j "$(nproc 2>/dev/null || echo 2)"

out=${FRAMOLO_OUTPUT:-$build/sample.gif}
"$build/src/cli/framolo-cli" avi2gif samples/sample.avi "$out" "$@"
echo "written: $out"
