#!/bin/bash
# The texts that name the version carry the project's version: a change-log
# section, the newest entry of the Debian packages' change log and the title
# line of each man page.
# Usage: check_versions.sh VERSION CHANGELOG DEBIAN_CHANGELOG MANPAGE...
version=$1 changelog=$2 debian_changelog=$3
shift 3
status=0
grep -q "^## \[$version\]" "$changelog" ||
  { echo "FAIL: $changelog has no section '## [$version]'"; status=1; }
head -n 1 "$debian_changelog" | grep -q "^kestrel ($version-[0-9][^)]*) " ||
  { echo "FAIL: the newest entry of $debian_changelog is not version $version-N"; status=1; }
for page in "$@"; do
  grep -q "^\.TH .*\"Kestrel $version\"" "$page" ||
    { echo "FAIL: the .TH line of $page does not name Kestrel $version"; status=1; }
done
[ $status -eq 0 ] && echo "change logs and $# man pages name version $version"
exit $status
