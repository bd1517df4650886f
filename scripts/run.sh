#!/usr/bin/env bash
# Installs what is missing, builds Framolo and runs it: the window when there is
# a display to show it on, otherwise the command-line converter, which turns
# the sample clip into an animated GIF and prints its report. Options given to
# this script always go to the converter.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --run-only

build=${FRAMOLO_BUILD_DIR:-build}/run
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFRAMOLO_TESTS=OFF

if [ "$#" -eq 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  cmake --build "$build" --target framolo -j "$jobs"
  exec "$build/src/app/framolo"
fi

cmake --build "$build" --target framolo-cli -j "$jobs"
out=${FRAMOLO_OUTPUT:-$build/sample.gif}
"$build/src/cli/framolo-cli" avi2gif samples/sample.avi "$out" "$@"
echo "written: $out"
