#!/bin/bash
# The texts that name the version carry the project's version: the man
# page's title line and a change-log section.
# Usage: check_versions.sh VERSION MANPAGE CHANGELOG
version=$1 page=$2 changelog=$3
status=0
grep -q "^\.TH .*\"Kestrel $version\"" "$page" ||
  { echo "FAIL: the .TH line of $page does not name Kestrel $version"; status=1; }
grep -q "^## \[$version\]" "$changelog" ||
  { echo "FAIL: $changelog has no section '## [$version]'"; status=1; }
[ $status -eq 0 ] && echo "man page and change log name version $version"
exit $status
