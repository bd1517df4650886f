#!/bin/sh
# Writes the manual page of a program from what the program itself prints:
# its --help, its --version, and "COMMAND --help" for every command its usage
# lists. The page and the program cannot disagree.
# Usage: make_man_page.sh PROGRAM OUTPUT [SEE_ALSO...]
set -eu

program=$1
output=$2
shift 2
converter="$(dirname "$0")/help_to_man.awk"
name=$(basename "$program")

# The help names the cores of the machine it runs on ("one per core, here 2");
# the page is read on other machines.
help_of() {
  text=$("$program" "$@") || return
  printf '%s\n' "$text" | sed -e 's/, here [0-9][0-9]*)/)/'
}
convert() { # part
  awk -v part="$1" -v program="$name" -f "$converter"
}
roff_name() {
  printf '%s' "$1" | sed -e 's/-/\\-/g'
}

overview=$(help_of --help)
version=$("$program" --version)
# A command is the second word of a usage line's term; the words after the gap
# describe it ("  framolo   opens the window" has no command).
commands=$(printf '%s\n' "$overview" |
  awk -v name="$name" '/^ / {
    sub(/^ +/, "")
    sub(/  .*/, "")
    if ($1 == name && $2 ~ /^[a-z][a-z0-9-]*$/)
      print $2
  }' | uniq)

{
  printf '.TH %s 1 "" "%s" "User Commands"\n' \
    "$(roff_name "$name" | tr '[:lower:]' '[:upper:]')" "$(roff_name "$version")"
  echo ".SH NAME"
  printf '%s\n' "$overview" | convert name
  echo ".SH SYNOPSIS"
  printf '%s\n' "$overview" | convert synopsis
  echo ".SH DESCRIPTION"
  printf '%s\n' "$overview" | convert body
  heading=".SH COMMANDS"
  for command in $commands; do
    # A word of the usage that is not a command of its own ("help") has no help.
    text=$(help_of "$command" --help 2>/dev/null) || continue
    [ "$text" != "$overview" ] || continue
    printf '%s\n.SS %s\n' "$heading" "$(roff_name "$command")"
    heading=""
    printf '%s\n' "$text" | convert body
  done | sed -e '/^$/d'
  if [ "$#" -gt 0 ]; then
    echo '.SH "SEE ALSO"'
    sep=""
    for page in "$@"; do
      printf '%s\\fB%s\\fR(1)' "$sep" "$(roff_name "$page")"
      sep=", "
    done
    echo
  fi
} >"$output.tmp"
mv "$output.tmp" "$output"
