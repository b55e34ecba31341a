#!/bin/bash
# Installs the build into a temporary prefix, checks the installed tree, then
# builds the example host and the grading host against it with
# find_package(Kestrel) and with pkg-config and runs the builds against the
# installed reader simulator.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR VERSION CMAKE CC GENERATOR
#                        LIBDIR PLUGINS HOST_PROGRAM [FLAGS]
#   LIBDIR        the library directory under the prefix, e.g. lib/x86_64-linux-gnu
#   PLUGINS       plug-in file names separated by ":"
#   HOST_PROGRAM  file name of the host program, or "" when it is not built
#   FLAGS         extra compile and link flags (the sanitizer build's)
set -u
build=$1 src=$2 version=$3 cmake=$4 cc=$5 generator=$6 libdir=$7 plugins=$8 host_program=$9
flags=${10:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-install.XXXXXX")
prefix=$work/prefix
simulator=$prefix/bin/kestrel-readersim
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"
cleanup() {
  stop_sim_quietly
  rm -rf "$work"
}
trap cleanup EXIT

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; }

# ---- The installed tree ----------------------------------------------------
lib=$prefix/$libdir
[ -f "$lib/libkestrel.so.$version" ] || fail "$libdir/libkestrel.so.$version missing"
[ "$(readlink "$lib/libkestrel.so.${version%%.*}")" = "libkestrel.so.$version" ] ||
  fail "libkestrel.so.${version%%.*} is not a link to libkestrel.so.$version"
[ "$(readlink "$lib/libkestrel.so")" = "libkestrel.so.${version%%.*}" ] ||
  fail "libkestrel.so is not a link to libkestrel.so.${version%%.*}"
readelf -d "$lib/libkestrel.so.$version" | grep -q "SONAME.*\[libkestrel.so.${version%%.*}\]" ||
  fail "SONAME is not libkestrel.so.${version%%.*}"
for h in kestrel.h plugin.h verify.h; do
  [ -f "$prefix/include/kestrel/$h" ] || fail "include/kestrel/$h missing"
done
for f in "$libdir/cmake/Kestrel/KestrelConfig.cmake" "$libdir/cmake/Kestrel/KestrelConfigVersion.cmake" \
         "$libdir/pkgconfig/kestrel.pc" "$libdir/pkgconfig/kestrel-verify.pc" share/man/man1/kestrel.1 \
         share/man/man1/kestrel-readersim.1; do
  [ -f "$prefix/$f" ] || fail "$f missing"
done

programs=kestrel-readersim
[ -n "$host_program" ] && programs="$programs $host_program"
for p in $programs; do
  [ -x "$prefix/bin/$p" ] || fail "bin/$p missing"
  [ "$(runpath "$prefix/bin/$p")" = "\$ORIGIN/../$libdir" ] ||
    fail "bin/$p: RUNPATH '$(runpath "$prefix/bin/$p")', not '\$ORIGIN/../$libdir'"
done
if [ -n "$host_program" ]; then
  # Run from the prefix: the program finds the installed library by RUNPATH.
  "$prefix/bin/$host_program" --version >"$work/version.out" 2>&1 ||
    { cat "$work/version.out"; fail "$host_program --version"; }
  expect "$work/version.out" "$version"
fi

# Each plug-in program and module is installed, links no libkestrel, carries
# no RUNPATH, and the program runs: with no argument its status is 1.
IFS=: read -r -a plugin_files <<<"$plugins"
[ ${#plugin_files[@]} -gt 0 ] || fail "no plug-ins given"
for f in "${plugin_files[@]}"; do
  path=$prefix/lib/kestrel/plugins/$f
  [ -f "$path" ] || fail "lib/kestrel/plugins/$f missing"
  ! readelf -d "$path" | grep -q 'NEEDED.*libkestrel' || fail "$f links libkestrel"
  [ -z "$(runpath "$path")" ] || fail "$f has RUNPATH $(runpath "$path")"
  if [ -x "$path" ] && [ "${f%.so}" = "$f" ]; then
    "$path" >/dev/null 2>&1
    [ $? -eq 1 ] || fail "plug-in program $f without argument: status not 1"
  fi
done
# The installed host program finds and loads every installed module by itself;
# cip39 accepts the symbol, so the status is 0.
if [ -n "$host_program" ]; then
  "$prefix/bin/$host_program" interpret ']A01234562' \
    >"$work/interpret.out" 2>&1 || { cat "$work/interpret.out"; fail "$host_program interpret"; }
  for f in "${plugin_files[@]}"; do
    [ "${f%.so}" != "$f" ] && expect "$work/interpret.out" "${f%.so} "
  done
fi

# ---- The example host, built against the installed tree and run ------------
example_hosts "$prefix"

# ---- The host guide's shell examples, as shown, against this prefix ----------
# Each ```sh block that names PREFIX runs in a directory holding the example
# host.c. A sanitizer build's library needs the sanitizer runtime in every
# program that links it, so there cc brings the build's flags along.
guide=$src/docs/host-guide.md
mkdir -p "$work/guide" && cp "$src/tests/install/host.c" "$work/guide/"
awk -v dir="$work/guide" '
  /^```sh$/ { n++; file = sprintf("%s/block.%02d", dir, n); inside = 1; next }
  inside && /^```$/ { inside = 0; close(file); next }
  inside { print > file }' "$guide"
ran=0
for block in "$work"/guide/block.*; do
  grep -q 'PREFIX/' "$block" || continue
  sed -i "s|PREFIX/LIBDIR/|$prefix/$libdir/|g; s|PREFIX/|$prefix/|g" "$block"
  [ -n "$flags" ] && sed -i "1i cc() { command \"$cc\" $flags \"\$@\"; }" "$block"
  (cd "$work/guide" && timeout 120 bash -e "$block") >"$work/guide.out" 2>&1 ||
    { cat "$block" "$work/guide.out"; fail "an example of the host guide does not run as shown"; }
  ran=$((ran + 1))
done
[ $ran -ge 2 ] || fail "the host guide's PREFIX examples were not found ($ran ran)"
expect "$work/guide.out" "scan 2: 2048 samples"

echo "install test passed: $prefix"
