#!/bin/bash
# Checks that the guide quotes the example source verbatim: the first fenced
# block after the line "<!-- example: FILE -->" equals FILE.
# Usage: check_example.sh GUIDE FILE SOURCE_DIR   (FILE relative to SOURCE_DIR)
guide=$1 file=$2 src=$3
quoted=$(awk -v mark="<!-- example: $file -->" '
  $0 == mark { found = 1; next }
  found == 1 && /^```/ { found = 2; next }
  found == 2 && /^```/ { exit }
  found == 2 { print }' "$guide")
if [ -z "$quoted" ]; then
  echo "FAIL: $guide has no block after '<!-- example: $file -->'"
  exit 1
fi
if ! diff -u --label "$file" --label "$guide" "$src/$file" <(printf '%s\n' "$quoted"); then
  echo "FAIL: the example in $guide differs from $file"
  exit 1
fi
echo "the guide quotes $file verbatim ($(wc -l <"$src/$file") lines)"
