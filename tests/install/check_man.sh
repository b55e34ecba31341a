#!/bin/bash
# Renders a man page as the man command does and fails on any warning; with
# the program, also checks that the page names every command and option that
# the program's help lists (every option, for a program without commands).
# Usage: check_man.sh PAGE [PROGRAM]
page=$1 program=${2:-}
command -v groff >/dev/null || { echo "SKIP: groff is not installed (package groff-base)"; exit 77; }
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
groff -man -Tascii -ww -b -P-cbou "$page" >"$out" 2>"$err"
status=$?
if [ $status -ne 0 ] || [ -s "$err" ]; then
  echo "FAIL: groff status $status on $page:"
  cat "$err"
  exit 1
fi
for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "EXIT STATUS" FILES; do
  grep -q "^$section" "$out" || { echo "FAIL: no $section section"; exit 1; }
done
# described_options HELP_TEXT WHAT: every --option in the help text is in the page.
described_options() {
  for o in $(printf '%s\n' "$1" | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -qE -- "$o([^a-z-]|$)" "$out" || { echo "FAIL: option $o of $2 is not described"; exit 1; }
  done
}
if [ -n "$program" ]; then
  help=$("$program" --help) || { echo "FAIL: $program --help"; exit 1; }
  commands=$(printf '%s\n' "$help" | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
  if [ -n "$commands" ]; then
    for c in $commands; do
      grep -q "^       $c" "$out" || { echo "FAIL: command $c is not described"; exit 1; }
      described_options "$("$program" "$c" --help)" "$c"
    done
    echo "every command and option of $program --help is described"
  else
    described_options "$help" "$program"
    echo "every option of $program --help is described"
  fi
fi
echo "$page renders without warnings ($(wc -l <"$out") lines)"
