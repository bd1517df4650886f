#!/usr/bin/env bash
# Installs what is missing, builds Framolo twice (the optimised Release build
# users run, with warnings as errors, and a build under AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test of both through CTest; then
# runs the threaded code's tests once more under ThreadSanitizer. The Release
# build's tests include the Debian package's (label "package"): it is made
# from that build with cpack and checked with dpkg-deb, desktop-file-validate,
# appstreamcli, man and lintian.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# Formatting is part of the build's rules.
git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'fuzz/*.cpp' 'bench/*.cpp' |
  xargs clang-format --dry-run --Werror

jobs=$(nproc 2>/dev/null || echo 2)

# A private PulseAudio server with a null sink for the tests that play real
# sound; stopped by its own command when the script ends.
pulse_dir=$(mktemp -d)
trap 'bash scripts/pulse-for-tests.sh stop "$pulse_dir"; rm -rf "$pulse_dir"' EXIT
eval "$(bash scripts/pulse-for-tests.sh start "$pulse_dir")"
build=${FRAMOLO_BUILD_DIR:-build}

# Release, not RelWithDebInfo: some warnings (-Wnonnull) only show at -O3.
cmake -S . -B "$build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFRAMOLO_WERROR=ON
cmake --build "$build/release" -j "$jobs"
ctest --test-dir "$build/release" --output-on-failure -j "$jobs"

if [ "${FRAMOLO_SKIP_SANITIZERS:-0}" != "1" ]; then
  cmake -S . -B "$build/sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFRAMOLO_WERROR=ON \
    -DFRAMOLO_SANITIZE=ON
  cmake --build "$build/sanitize" -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$build/sanitize" --output-on-failure -j "$jobs" -LE slow
fi

# The threaded code under ThreadSanitizer: every test labelled threads (the GIF
# painters and previews, and the command-line converter's frame pipeline).
# Only the programs that run them are built. FFmpeg's own decoder threads are
# invisible to it (tests/tsan.supp).
if [ "${FRAMOLO_SKIP_SANITIZERS:-0}" != "1" ]; then
  cmake -S . -B "$build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFRAMOLO_WERROR=ON \
    -DFRAMOLO_SANITIZE=thread -DFRAMOLO_MODULES="platform;avifile;video;color;gif;convert;cli;preview"
  cmake --build "$build/tsan" -j "$jobs" --target test_gif_animation test_preview test_convert \
    test_cli framolo-cli
  TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" \
    ctest --test-dir "$build/tsan" --output-on-failure -j "$jobs" -L threads
fi
