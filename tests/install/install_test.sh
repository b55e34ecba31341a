#!/bin/bash
# Installs the build into a temporary prefix, checks the installed tree, then
# builds the example host against it with find_package(Kestrel) and with
# pkg-config and runs both builds against the installed reader simulator.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR VERSION CMAKE CC GENERATOR
#                        PLUGINS HOST_PROGRAM [FLAGS]
#   PLUGINS       plug-in file names separated by ":"
#   HOST_PROGRAM  file name of the host program, or "" when it is not built
#   FLAGS         extra compile and link flags (the sanitizer build's)
set -u
build=$1 src=$2 version=$3 cmake=$4 cc=$5 generator=$6 plugins=$7 host_program=$8
flags=${9:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-install.XXXXXX")
prefix=$work/prefix
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }
# expect FILE TEXT: the file holds the text as one of its lines' substrings.
expect() { grep -qF -- "$2" "$1" || { echo "--- $1:"; cat "$1"; fail "expected '$2' in $1"; }; }
runpath() { readelf -d "$1" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p'; }

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; }

# ---- The installed tree ----------------------------------------------------
lib=$prefix/lib
[ -f "$lib/libkestrel.so.$version" ] || fail "lib/libkestrel.so.$version missing"
[ "$(readlink "$lib/libkestrel.so.${version%%.*}")" = "libkestrel.so.$version" ] ||
  fail "libkestrel.so.${version%%.*} is not a link to libkestrel.so.$version"
[ "$(readlink "$lib/libkestrel.so")" = "libkestrel.so.${version%%.*}" ] ||
  fail "libkestrel.so is not a link to libkestrel.so.${version%%.*}"
readelf -d "$lib/libkestrel.so.$version" | grep -q "SONAME.*\[libkestrel.so.${version%%.*}\]" ||
  fail "SONAME is not libkestrel.so.${version%%.*}"
for h in kestrel.h plugin.h; do
  [ -f "$prefix/include/kestrel/$h" ] || fail "include/kestrel/$h missing"
done
for f in lib/cmake/Kestrel/KestrelConfig.cmake lib/cmake/Kestrel/KestrelConfigVersion.cmake \
         lib/pkgconfig/kestrel.pc share/man/man1/kestrel.1; do
  [ -f "$prefix/$f" ] || fail "$f missing"
done

programs=kestrel-readersim
[ -n "$host_program" ] && programs="$programs $host_program"
for p in $programs; do
  [ -x "$prefix/bin/$p" ] || fail "bin/$p missing"
  [ "$(runpath "$prefix/bin/$p")" = '$ORIGIN/../lib' ] ||
    fail "bin/$p: RUNPATH '$(runpath "$prefix/bin/$p")', not '\$ORIGIN/../lib'"
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
  path=$lib/kestrel/plugins/$f
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

# ---- Building the example host against the installed tree ------------------
"$cmake" -S "$src/tests/install/consumer" -B "$work/consumer" -G "$generator" \
  -DCMAKE_PREFIX_PATH="$prefix" -DKESTREL_VERSION="$version" \
  -DHOST_SOURCE="$src/tests/install/host.c" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >"$work/consumer.log" 2>&1 &&
  "$cmake" --build "$work/consumer" >>"$work/consumer.log" 2>&1 ||
  { cat "$work/consumer.log"; fail "find_package build of the example host"; }
expect "$work/consumer.log" "Kestrel $version, plug-ins in $prefix/lib/kestrel/plugins"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion kestrel)" = "$version" ] ||
  fail "pkg-config version '$(pkg-config --modversion kestrel)', not $version"
[ -d "$(pkg-config --variable=plugindir kestrel)" ] || fail "pkg-config plugindir is no directory"
libdir=$(pkg-config --variable=libdir kestrel)
# shellcheck disable=SC2046,SC2086
"$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $flags -o "$work/host-pc" \
  "$src/tests/install/host.c" $(pkg-config --cflags --libs kestrel) -Wl,-rpath,"$libdir" \
  >"$work/pc.log" 2>&1 || { cat "$work/pc.log"; fail "pkg-config build of the example host"; }

# ---- Running both builds against the installed simulator -------------------
# start_sim OPTIONS...: starts the simulator, sets sim_path from its first line.
start_sim() {
  "$prefix/bin/kestrel-readersim" "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    sim_path=$(head -n 1 "$work/sim.out")
    [ -n "$sim_path" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/sim.err"
  fail "kestrel-readersim printed no terminal path"
}
stop_sim() { kill "$sim_pid" && wait "$sim_pid"; sim_pid=; }

# run_host NAME PROGRAM CALFILE: two scans with bars at 51 and spaces at 204.
run_host() {
  start_sim --serial 0x1234 --low 51 --high 204 --blur 0 --announce-every 0.3
  (cd "$work" && timeout 60 "$2" "$sim_path" 2 "$3") >"$work/$1.out" 2>&1
  status=$?
  stop_sim
  [ $status -eq 0 ] || { cat "$work/$1.out"; fail "$1: host exited with $status"; }
  expect "$work/$1.out" "status: Reader 1234 activated!"
  expect "$work/$1.out" "scan 2: 2048 samples, raw 51..204"
}

# Without a calibration: raw readings 0..0xff00 stand for reflectance 0..1.
run_host find_package "$work/consumer/host" "$work/none.txt"
expect "$work/find_package.out" "reader 1234: 2048 samples per scan, calibration 0000..ff00"
expect "$work/find_package.out" "reflectance 0.200..0.800"

# With a calibration line for the reader at 660 nm: 0xcc00 = 204 * 256 is white.
printf 'calib.1234:660=0000,cc00 0.000000,1.000000 Thu Jan  1 00:00:00 1970 \n' >"$work/cal.txt"
run_host pkg-config "$work/host-pc" "$work/cal.txt"
expect "$work/pkg-config.out" "calibration 0000..cc00"
expect "$work/pkg-config.out" "reflectance 0.250..1.000"

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
  sed -i "s|PREFIX/|$prefix/|g" "$block"
  [ -n "$flags" ] && sed -i "1i cc() { command \"$cc\" $flags \"\$@\"; }" "$block"
  (cd "$work/guide" && timeout 120 bash -e "$block") >"$work/guide.out" 2>&1 ||
    { cat "$block" "$work/guide.out"; fail "an example of the host guide does not run as shown"; }
  ran=$((ran + 1))
done
[ $ran -ge 2 ] || fail "the host guide's PREFIX examples were not found ($ran ran)"
expect "$work/guide.out" "scan 2: 2048 samples"

echo "install test passed: $prefix"
