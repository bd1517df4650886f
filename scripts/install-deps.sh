#!/usr/bin/env bash
# Installs every Debian 12 package Framolo needs to build, run, package and test.
# Usage: scripts/install-deps.sh [--run-only | --package]
set -euo pipefail

build_pkgs=(
  build-essential cmake ninja-build pkg-config ccache
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev
)
test_pkgs=(
  libgtest-dev libgmock-dev libbenchmark-dev
  libgif-dev ffmpeg imagemagick gifsicle python3 python3-skimage bc time
  clang clang-format libclang-rt-14-dev git
  xvfb xauth xdotool pulseaudio pulseaudio-utils
  lintian desktop-file-utils appstream man-db bash-completion
)
# The Debian package: dpkg-shlibdeps finds its dependencies, file tells CPack
# which files are programs, rsvg-convert draws the icons, help2man writes the
# manual pages.
package_pkgs=(dpkg-dev file librsvg2-bin help2man)

pkgs=("${build_pkgs[@]}")
case "${1:-}" in
--run-only) ;;
--package) pkgs+=("${package_pkgs[@]}") ;;
*) pkgs+=("${package_pkgs[@]}" "${test_pkgs[@]}") ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
