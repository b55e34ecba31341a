#!/bin/bash
# Compares the dynamic symbols that a shared object defines with a list.
# Usage: check_exports.sh LIBRARY LISTFILE
lib=$1 list=$2
# Sanitizer builds add their own __odr_asan markers beside exported data.
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBR]$/ && $3 !~ /^__odr_asan/ {print $3}' | sort -u)
expected=$(grep -v '^#' "$list" | sed '/^$/d' | sort -u)
if [ "$actual" = "$expected" ]; then
  echo "exported symbols match ($(echo "$expected" | wc -l) names)"
  exit 0
fi
echo "exported symbols differ from $list:"
diff -u --label expected --label actual <(echo "$expected") <(echo "$actual") 2>/dev/null ||
  { echo "--- expected"; echo "$expected"; echo "--- actual"; echo "$actual"; }
exit 1
