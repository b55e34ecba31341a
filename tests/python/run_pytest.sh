#!/bin/sh
# Runs pytest suites with Debian's python3 (exit 77: pytest is not installed).
/usr/bin/python3 -c 'import pytest' 2>/dev/null ||
  { echo "SKIP: pytest is not installed for /usr/bin/python3 (package python3-pytest)"; exit 77; }
exec /usr/bin/python3 -m pytest -q -p no:cacheprovider "$@"
