#!/bin/bash
# Compiles the C example of README.md against the header and the library,
# so the README's host keeps matching the API.
# Usage: check_readme_example.sh README INCLUDE_DIR LIBRARY_DIR C_COMPILER
readme=$1 include=$2 libdir=$3 cc=$4
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
awk '/^## A host in C/ {section=1} section && /^```c$/ {code=1; next} code && /^```$/ {exit} code' \
  "$readme" >"$work/host.c"
[ -s "$work/host.c" ] || { echo "no C example under '## A host in C' in $readme"; exit 1; }
"$cc" -std=c99 -D_DEFAULT_SOURCE -Wall -Wextra -Werror -I"$include" "$work/host.c" \
  -L"$libdir" -lkestrel -o "$work/host" && echo "README example compiles and links"
