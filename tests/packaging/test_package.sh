#!/usr/bin/env bash
# Builds the Debian package from a build whose programs are made, then checks
# it the way Debian would: the files it holds, its control fields, the desktop
# entry, the AppStream metadata, the manual pages and lintian. Skipped (77)
# where dpkg is missing.
# Usage: test_package.sh BUILD_DIR WORK_DIR VERSION CPACK
set -euo pipefail

build=$1
work=$2
version=$3
cpack=$4

if ! command -v dpkg-deb >/dev/null; then
  echo "no dpkg-deb here: the package is not built"
  exit 77
fi
for tool in dpkg-shlibdeps lintian desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || {
    echo "$tool is missing; scripts/install-deps.sh installs it"
    exit 1
  }
done

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
deb=$(echo "$work"/framolo_"$version"_*.deb)
[ -f "$deb" ] || { echo "cpack made no framolo_${version}_*.deb"; exit 1; }

# The control fields, and dependencies found in the programs' libraries.
dpkg-deb -I "$deb"
[ "$(dpkg-deb -f "$deb" Package)" = framolo ] || fail "the package is not named framolo"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libavcodec libavformat libswscale libswresample libqt6widgets6 \
  libqt6multimedia6 libqt6svg6; do
  [[ $depends == *"$library"* ]] || fail "Depends names no $library"
done

# Every file an installed Framolo needs, all under /usr.
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$')
echo "$contents"
sizes="16 22 24 32 48 64 128 256"
expected=(
  usr/bin/framolo usr/bin/framolo-cli
  usr/share/framolo/help.html
  usr/share/applications/framolo.desktop
  usr/share/metainfo/org.example.framolo.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/framolo.svg
  usr/share/man/man1/framolo.1.gz usr/share/man/man1/framolo-cli.1.gz
  usr/share/bash-completion/completions/framolo-cli
  usr/share/doc/framolo/copyright usr/share/doc/framolo/changelog.gz
)
for size in $sizes; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/framolo.png")
done
for file in "${expected[@]}"; do
  grep -qx "\./$file" <<<"$contents" || fail "the package holds no /$file"
done
grep -v '^\./usr/' <<<"$contents" && fail "files outside /usr"

root="$work/root"
dpkg-deb -x "$deb" "$root"
share="$root/usr/share"

# A PNG gives its width and height at bytes 16 to 23.
for size in $sizes; do
  icon="$share/icons/hicolor/${size}x${size}/apps/framolo.png"
  [ "$(od -An -tx1 -j16 -N8 "$icon" | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] ||
    fail "the ${size}x${size} icon is not ${size} by ${size} pixels"
done

desktop-file-validate "$share/applications/framolo.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$share/metainfo/org.example.framolo.metainfo.xml" ||
  fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$share/metainfo/org.example.framolo.metainfo.xml" ||
  fail "the metainfo has no release $version"
zcat "$share/doc/framolo/changelog.gz" | head -n 1 | grep -q "^framolo ($version) " ||
  fail "the changelog's latest entry is not $version"

# The terms of a help text's items: "  --start N    first frame" gives "--start N".
item_terms() {
  awk 'match($0, /^ +[^ ]/) && RLENGTH <= 5 { sub(/^ +/, ""); sub(/  .*/, ""); print }'
}

# The pages format without a warning, and name every option the programs'
# help lists (the page is made from that help; a dropped line shows here).
for program in framolo framolo-cli; do
  page="$share/man/man1/$program.1.gz"
  warnings=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings on $program.1: $warnings"
  help=$("$root/usr/bin/$program" --help)
  for command in $(item_terms <<<"$help" | awk -v p="$program" '$1 == p && $2 ~ /^[a-z]/ { print $2 }'); do
    help+=$'\n'$("$root/usr/bin/$program" "$command" --help 2>/dev/null || true)
  done
  options=$(item_terms <<<"$help" | grep -oE -- '(^|[[ ])--?[a-z][-a-z]*' | tr -d '[ ' | sort -u)
  for option in $options; do
    zcat "$page" | grep -qF -- "\\fB${option//-/\\-}\\fR" ||
      fail "$program.1 does not list $option"
  done
  echo "$program.1: $(wc -w <<<"$options") options, as in its help"
done

# Every warning and error fails; info tags are listed in the log.
if ! report=$(lintian --display-info --fail-on error,warning "$deb" 2>&1); then
  fail "lintian found errors or warnings"
fi
grep -v 'root privileges' <<<"$report" || true

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the package holds every file and passes its checks: $deb"
