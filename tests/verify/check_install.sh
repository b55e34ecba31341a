#!/bin/bash
# Installs the build into a temporary prefix and checks the engine there:
# the library with its SONAME and links, the header, and a C99 program
# built against the installed tree that calls the engine.
# Usage: check_install.sh BUILD_DIR CMAKE CC VERSION SOURCE [FLAGS]
set -u
build=$1 cmake=$2 cc=$3 version=$4 source=$5 flags=${6:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-verify-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; }
# The library directory is lib or the Multi-Arch lib/<tuple>.
found=$(find "$work/prefix" -name "libkestrel-verify.so.$version" | head -n 1)
[ -n "$found" ] || fail "libkestrel-verify.so.$version missing"
lib=$(dirname "$found") major=${version%%.*}
[ "$(readlink "$lib/libkestrel-verify.so.$major")" = "libkestrel-verify.so.$version" ] ||
  fail "libkestrel-verify.so.$major is not a link to libkestrel-verify.so.$version"
[ "$(readlink "$lib/libkestrel-verify.so")" = "libkestrel-verify.so.$major" ] ||
  fail "libkestrel-verify.so is not a link to libkestrel-verify.so.$major"
readelf -d "$lib/libkestrel-verify.so.$version" | grep -q "SONAME.*\[libkestrel-verify.so.$major\]" ||
  fail "SONAME is not libkestrel-verify.so.$major"
[ -f "$work/prefix/include/kestrel/verify.h" ] || fail "include/kestrel/verify.h missing"

# shellcheck disable=SC2086
"$cc" -std=c99 -Werror $flags -I"$work/prefix/include" "$source" -L"$lib" -lkestrel-verify \
  -Wl,-rpath,"$lib" -o "$work/program" || fail "a C99 program does not build against the installed engine"
"$work/program" || fail "the program built against the installed engine failed"
echo "installed engine: $lib/libkestrel-verify.so.$version, header, a C99 program runs against them"
