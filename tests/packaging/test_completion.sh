#!/usr/bin/env bash
# Asks framolo-cli's bash completion what Tab offers, in a folder of sample
# files, and checks that every name it offers for --reduction and --dither is
# one the program takes. Skipped (77) where bash-completion is missing.
# Usage: test_completion.sh COMPLETION_FILE FRAMOLO_CLI
set -uo pipefail

completion=$1
cli=$2
if [ ! -r /usr/share/bash-completion/bash_completion ]; then
  echo "bash-completion is not installed"
  exit 77
fi
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$completion"
PATH="$(cd "$(dirname "$cli")" && pwd):$PATH"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch clip.avi CLIP2.MP4 movie.mkv anim.gif notes.txt
mkdir folder

failures=0
# Offers for a command line whose last word is the one being completed,
# sorted and joined by spaces.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _framolo_cli framolo-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}
expect() { # offers, then the command line
  local want=$1 got
  shift
  got=$(offers "$@")
  if [ "$got" != "$want" ]; then
    echo "FAIL: '$*' offers '$got', not '$want'"
    failures=$((failures + 1))
  fi
}

reductions="best grayscale monochrome netscape quantize quantizewindows windows20 windows256 windowsgray"
dithers="burkes floydsteinberg jajuni nearest sierra stevearche stucki"

expect "avi2gif" framolo-cli a
expect "avi2gif gif2avi gif2video help info" framolo-cli ""
expect "--help --version" framolo-cli --
expect "avi2gif gif2avi gif2video info" framolo-cli help ""
expect "--reduction" framolo-cli avi2gif --red
expect "--delay --dither" framolo-cli avi2gif clip.avi --d
expect "--background --force --help --json --quality --quiet" framolo-cli gif2avi --
expect "--frame-hashes" framolo-cli info --f
expect "$reductions" framolo-cli avi2gif clip.avi --reduction ""
expect "quantize quantizewindows" framolo-cli avi2gif --reduction Qu
expect "$dithers" framolo-cli avi2gif --dither ""
expect "" framolo-cli avi2gif --start ""
expect "CLIP2.MP4 clip.avi folder movie.mkv" framolo-cli avi2gif ""
expect "anim.gif folder" framolo-cli avi2gif clip.avi ""
expect "anim.gif folder" framolo-cli avi2gif --width 160 --rle clip.avi ""
expect "" framolo-cli avi2gif clip.avi out.gif ""
expect "anim.gif folder" framolo-cli gif2avi ""
expect "CLIP2.MP4 clip.avi folder" framolo-cli gif2avi --quiet anim.gif ""
expect "anim.gif folder" framolo-cli gif2video ""
expect "CLIP2.MP4 anim.gif clip.avi folder movie.mkv" framolo-cli info --json ""

# Every name offered is one the program takes: a name it refuses is bad usage
# (2), one it takes gets as far as the missing clip (1).
status_of() { # option value
  framolo-cli avi2gif missing.avi out.gif "$1" "$2" >/dev/null 2>&1
  echo $?
}
for name in $(offers framolo-cli avi2gif --reduction ""); do
  [ "$(status_of --reduction "$name")" = 1 ] || { echo "FAIL: --reduction $name is refused"; failures=$((failures + 1)); }
done
for name in $(offers framolo-cli avi2gif --dither ""); do
  [ "$(status_of --dither "$name")" = 1 ] || { echo "FAIL: --dither $name is refused"; failures=$((failures + 1)); }
done
[ "$(status_of --dither nosuchmode)" = 2 ] || { echo "FAIL: an unknown dither mode is taken"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] || exit 1
echo "completion offers what framolo-cli takes"
