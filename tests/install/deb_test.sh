#!/bin/bash
# Builds the Debian packages from the build tree, extracts them with dpkg-deb
# into a temporary root and checks that root: each file in its package, the
# computed Depends, the symbols and shlibs of both libraries, the example
# host and the grading host built against the root with find_package(Kestrel)
# and pkg-config and run against the packaged simulator, the packaged kestrel
# program finding the plug-ins, and the Python binding's README example
# (find, scan, grade, interpret) run from the packages. On a disposable
# machine (CI set, run as root) the packages are also installed with dpkg -i,
# run from the system with hosts built against it, and removed again.
# Usage: deb_test.sh BUILD_DIR SOURCE_DIR VERSION CMAKE CC GENERATOR
# Exit 77: the packaging tools are not installed.
set -u
build=$1 src=$2 version=$3 cmake=$4 cc=$5 generator=$6
flags=

for tool in dpkg-shlibdeps dpkg-gencontrol; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed (package dpkg-dev)"; exit 77; }
done
/usr/bin/python3 -c 'import setuptools, wheel' 2>/dev/null ||
  { echo "SKIP: python3-setuptools or python3-wheel is not installed"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-deb.XXXXXX")
root=$work/root
libdir=lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
simulator=$root/usr/bin/kestrel-readersim
installed=
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"
cleanup() {
  stop_sim_quietly
  # shellcheck disable=SC2086
  [ -n "$installed" ] && dpkg --purge $installed >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$src/packaging/make-deb.sh" "$build" "$work/deb" >"$work/make-deb.log" 2>&1 ||
  { cat "$work/make-deb.log"; fail "make-deb.sh"; }
packages="libkestrel1 libkestrel-dev kestrel python3-kestrel"
for p in $packages; do
  deb=$(ls "$work/deb/${p}_${version}-"*.deb 2>/dev/null)
  [ -f "$deb" ] || fail "no package $p of version $version"
  dpkg-deb -x "$deb" "$root"
  dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/$p.files"
  dpkg-deb -f "$deb" Depends >"$work/$p.depends"
  for f in copyright changelog.Debian.gz; do
    grep -qx "usr/share/doc/$p/$f" "$work/$p.files" || fail "$p has no usr/share/doc/$p/$f"
  done
done

# ---- Each file in its package ------------------------------------------------
# holds PACKAGE PATH: the package holds the path.
holds() { grep -qx -- "$2" "$work/$1.files" || fail "$1 does not hold $2"; }
for lib in libkestrel libkestrel-verify; do
  holds libkestrel1 "usr/$libdir/$lib.so.$version"
  holds libkestrel1 "usr/$libdir/$lib.so.${version%%.*}"
  holds libkestrel-dev "usr/$libdir/$lib.so"
done
for h in kestrel.h plugin.h verify.h; do
  holds libkestrel-dev "usr/include/kestrel/$h"
done
holds libkestrel-dev "usr/$libdir/cmake/Kestrel/KestrelConfig.cmake"
holds libkestrel-dev "usr/$libdir/pkgconfig/kestrel.pc"
holds libkestrel-dev "usr/$libdir/pkgconfig/kestrel-verify.pc"
holds kestrel usr/bin/kestrel
holds kestrel usr/bin/kestrel-readersim
holds kestrel usr/share/man/man1/kestrel.1.gz
holds kestrel usr/share/man/man1/kestrel-readersim.1.gz
holds kestrel usr/lib/kestrel/plugins/pharma_it.so
holds python3-kestrel usr/lib/python3/dist-packages/kestrel/__init__.py
# The runtime package holds libraries only, besides its documentation.
if grep -v -e "^usr/$libdir/lib[^/]*\.so\.[0-9.]*$" -e '^usr/share/doc/' -e '^usr/share/lintian/' -e '/$' -e '^$' "$work/libkestrel1.files"; then
  fail "libkestrel1 holds more than shared libraries"
fi
grep -q 'libkestrel1 (>= ' "$work/kestrel.depends" || fail "kestrel does not depend on libkestrel1"
grep -q 'libpng' "$work/kestrel.depends" || fail "kestrel does not depend on libpng (the simulator links it)"
grep -q 'libc6 (>= ' "$work/libkestrel1.depends" || fail "libkestrel1 does not depend on libc6"
grep -q 'libstdc++6 (>= ' "$work/libkestrel1.depends" ||
  fail "libkestrel1 does not depend on libstdc++6 (the verifier engine links it)"

# ---- Both libraries in libkestrel1's symbols and shlibs ------------------------
dpkg-deb -e "$work/deb/libkestrel1_${version}-"*.deb "$work/libkestrel1.control"
for lib in libkestrel libkestrel-verify; do
  grep -qx "$lib ${version%%.*} libkestrel1 (>= $version)" "$work/libkestrel1.control/shlibs" ||
    fail "libkestrel1's shlibs has no line for $lib"
  grep -q "^$lib.so.${version%%.*} libkestrel1 " "$work/libkestrel1.control/symbols" ||
    fail "libkestrel1's symbols file does not cover $lib"
done
grep -q "libkestrel1 (= $version-" "$work/libkestrel-dev.depends" ||
  fail "libkestrel-dev does not depend on this libkestrel1"

# ---- The extracted root at work ---------------------------------------------
example_hosts "$root/usr"

"$root/usr/bin/kestrel" --version >"$work/version.out" 2>&1 || { cat "$work/version.out"; fail "kestrel --version"; }
expect "$work/version.out" "$version"
"$root/usr/bin/kestrel" interpret ']A00CSSBD' >"$work/interpret.out" 2>&1 ||
  { cat "$work/interpret.out"; fail "kestrel interpret from the root"; }
expect "$work/interpret.out" "pharma_it    accepted (1)"

# The packaged binding finds the plug-ins from the packaged library.
accepted() {
  "$@" /usr/bin/python3 -c 'import kestrel; print([a.plugin for a in kestrel.interpret("]A00CSSBD")
    if a.result == kestrel.PluginResult.ACCEPTED], kestrel.plugin_directory())'
}
accepted env -u PYTHONPATH PYTHONPATH="$root/usr/lib/python3/dist-packages" KESTREL_LIBDIR="$root/usr/$libdir" \
  >"$work/python.out" 2>&1 || { cat "$work/python.out"; fail "the packaged binding"; }
expect "$work/python.out" "['pharma_it'] $root/usr/lib/kestrel/plugins"

# The binding's README example as written: the packaged simulator, scans
# graded by the packaged engine, the packaged plug-ins accepting the symbol.
/usr/bin/python3 - "$src/python/README.md" "$work/example.py" "$work/example.expected" <<'PY' ||
import re, sys
text = open(sys.argv[1]).read()
open(sys.argv[2], "w").write(re.findall(r"```python\n(.*?)```", text, re.S)[0])
open(sys.argv[3], "w").write(re.findall(r"prints\n\n```\n(.*?)```", text, re.S)[0])
PY
  fail "no example in python/README.md"
# readme_example [env ...]: runs the example with its output compared.
readme_example() {
  (cd "$work" && "$@" timeout 120 /usr/bin/python3 "$work/example.py") \
    >"$work/example.out" 2>"$work/example.err" && diff -u "$work/example.expected" "$work/example.out" ||
    { cat "$work/example.err"; return 1; }
}
readme_example env -u PYTHONPATH PYTHONPATH="$root/usr/lib/python3/dist-packages" \
  KESTREL_LIBDIR="$root/usr/$libdir" PATH="$root/usr/bin:$PATH" ||
  fail "the binding's README example from the packages"

# ---- Installed on a disposable machine ----------------------------------------
if [ -n "${CI:-}" ] && [ "$(id -u)" -eq 0 ]; then
  for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || installed="$installed $p"
  done
  dpkg -i "$work"/deb/*.deb >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
  (cd / && kestrel --version) >"$work/system-version.out" 2>&1 ||
    { cat "$work/system-version.out"; fail "installed kestrel --version"; }
  expect "$work/system-version.out" "$version"
  (cd / && accepted env -u PYTHONPATH -u KESTREL_LIBDIR) >"$work/system-python.out" 2>&1 ||
    { cat "$work/system-python.out"; fail "the installed binding"; }
  expect "$work/system-python.out" "['pharma_it'] /usr/lib/kestrel/plugins"
  readme_example env -u PYTHONPATH -u KESTREL_LIBDIR ||
    fail "the binding's README example from the installed packages"
  # Hosts build against the system's files without naming a prefix.
  unset PKG_CONFIG_PATH
  for pc in kestrel kestrel-verify; do
    [ "$(pkg-config --modversion $pc)" = "$version" ] || fail "the system's pkg-config does not know $pc"
  done
  consumer_build "$work/consumer-system"
  expect "$work/consumer-system.log" "Kestrel $version, plug-ins in /usr/lib/kestrel/plugins"
  simulator=/usr/bin/kestrel-readersim
  run_host system "$work/consumer-system/host" "$work/none.txt"
  run_grade grade-system "$work/consumer-system/grade"
  echo "installed with dpkg -i: kestrel --version, the binding and hosts built against /usr work"
fi
echo "package test passed: $(cd "$work/deb" && echo *.deb)"
