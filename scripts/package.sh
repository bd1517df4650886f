#!/usr/bin/env bash
# Builds Framolo's Debian package, build/package/framolo_VERSION_ARCH.deb: both
# programs, their manual pages, the bash completion, the help page, the
# desktop entry, the icons and the AppStream metadata. The build is an
# optimised Release build of its own, with the hardening flags Debian
# packages are built with. Install the package with
#   sudo apt-get install ./build/package/framolo_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --package

build=${FRAMOLO_BUILD_DIR:-build}/package
jobs=$(nproc 2>/dev/null || echo 2)

# CMake reads these only when it first configures the build directory.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFRAMOLO_TESTS=OFF
cmake --build "$build" -j "$jobs" --target framolo framolo-cli framolo_man_pages framolo_icons \
  framolo_changelog
(cd "$build" && cpack -G DEB)
ls "$build"/framolo_*.deb
