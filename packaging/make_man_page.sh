#!/bin/sh
# Writes the manual page of a program with help2man, from what the program
# itself prints: its --help and --version, and "COMMAND --help" for every
# command its usage lists, under COMMANDS. What the help does not say (examples,
# see also) comes from the page's include file. The page and the program cannot
# disagree.
# Usage: make_man_page.sh PROGRAM INCLUDE CHANGELOG OUTPUT
# HELP2MAN names the help2man to run (default: the one on the PATH).
set -eu

# The terms of a help's usage list, one a line: "  framolo FILE   opens the
# window with FILE" gives "framolo FILE"; lines indented deeper continue a
# description.
usage_terms() {
  awk '/^usage:$/ { list = 1; next }
    !list { next }
    /^$/ { exit }
    { match($0, /^ */) }
    !indent { indent = RLENGTH }
    RLENGTH == indent { sub(/^ +/, ""); sub(/  .*/, ""); print }'
}

# Run by help2man in the program's place (see below): the program's own text,
# made plain for help2man.
if [ -n "${MAN_PAGE_PROGRAM:-}" ]; then
  text=$("$MAN_PAGE_PROGRAM" "$@")
  if [ "$*" = --help ]; then
    # help2man reads a synopsis from "Usage:" and "or:" lines: the usage
    # list's terms, put in front of the help.
    printf '%s\n' "$text" | usage_terms | sed -e '1s/^/Usage: /' -e '2,$s/^/   or: /'
    echo
  fi
  # The help names the cores of the machine it runs on ("one per core, here
  # 2"); the page is read on other machines. An option's term as wide as the
  # column leaves one space before its description, where help2man wants two.
  printf '%s\n' "$text" | sed -e 's/, here [0-9][0-9]*)/)/' \
    -e 's/^\(  -.\{17\}[^ ]\) \([^ ]\)/\1  \2/'
  exit
fi

program=$1
include=$2
changelog=$3
output=$4
name=$(basename "$program")
help2man=${HELP2MAN:-help2man}

# help2man runs its program through the shell: a copy of this script, named
# as the program, in a folder whose name has no spaces.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$0" "$work/$name"
chmod +x "$work/$name"
MAN_PAGE_PROGRAM=$program
export MAN_PAGE_PROGRAM

# The page is dated by the release it documents (the month, in UTC), so that
# the same sources make the same page.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' "$changelog" | head -n 1)" +%s)
  export SOURCE_DATE_EPOCH
fi
TZ=UTC
export TZ

overview=$("$program" --help)
# NAME: the help's first sentence, without the program's name.
summary=$(printf '%s\n' "$overview" | sed -n '1,/^$/p' | tr '\n' ' ' |
  sed -e 's/\. .*//' -e 's/\.$//' -e "s/^$name //")

# A heading of a help ("usage:", "options:") is a bold paragraph, capitalised,
# under the page's sections and the commands' subsections. help2man quotes the
# headings it makes; the commands' are bare.
heading_to_paragraph='s/^\.SS "\(.*\)"$/.PP\n\\fB\u\1\\fR/'

# COMMANDS: each command's help as help2man makes it. A command is the second
# word of a usage term ("framolo FILE" has none); one without a help of its own
# ("help") is left out.
cp "$include" "$work/include"
heading="[COMMANDS]"
for command in $(printf '%s\n' "$overview" | usage_terms |
  awk -v name="$name" '$1 == name && $2 ~ /^[a-z][a-z0-9-]*$/ { print $2 }'); do
  "$program" "$command" --help >/dev/null 2>&1 || continue
  if [ -n "$heading" ]; then
    echo "$heading" >>"$work/include"
    heading=""
  fi
  printf '.SS %s\n' "$command" >>"$work/include"
  "$help2man" --no-info --help-option="$command --help" "$work/$name" |
    sed -e '1,/^\.SH DESCRIPTION$/d' -e "$heading_to_paragraph" \
      -e 's/^usage: /\\fBUsage:\\fR /' >>"$work/include"
done

# help2man leaves the synopsis's hyphens as they are, where options are typed
# with minus signs, and writes an empty line for a usage of the program alone.
"$help2man" --no-info --name="$summary" --include="$work/include" "$work/$name" |
  sed -e "$heading_to_paragraph" -e '/^\.SH SYNOPSIS$/,/^\.SH /s/-/\\-/g' -e '/^$/d' \
    >"$output.tmp"
mv "$output.tmp" "$output"
