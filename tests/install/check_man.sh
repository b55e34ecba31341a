#!/bin/bash
# Renders a man page as the man command does and fails on any warning; with
# the program, also checks that the page names every option that the
# program's help lists and, for a program with commands, every command and
# each command's options.
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
# described PROGRAM_ARGS...: every option that "PROGRAM_ARGS --help" lists
# is named in the rendered page.
described() {
  local options o
  options=$("$@" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
  [ -n "$options" ] || { echo "FAIL: no options in $* --help"; exit 1; }
  for o in $options; do
    grep -qE -- "$o([^a-z-]|$)" "$out" || { echo "FAIL: option $o of $* is not described"; exit 1; }
  done
}
sections=(NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS")
commands=
if [ -n "$program" ]; then
  help=$("$program" --help) || { echo "FAIL: $program --help"; exit 1; }
  commands=$(printf '%s\n' "$help" | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
  # A program with commands also has them and its files described.
  [ -n "$commands" ] && sections+=(COMMANDS FILES)
fi
for section in "${sections[@]}"; do
  grep -q "^$section" "$out" || { echo "FAIL: no $section section"; exit 1; }
done
if [ -n "$program" ]; then
  described "$program"
  for c in $commands; do
    grep -q "^       $c" "$out" || { echo "FAIL: command $c is not described"; exit 1; }
    described "$program" "$c"
  done
  echo "every command and option of $program --help is described"
fi
echo "$page renders without warnings ($(wc -l <"$out") lines)"
