#!/bin/bash
# Builds the Debian packages from an existing build tree, without compiling
# anything again: installs the tree under /usr into a staging root, hands each
# installed file to its package by its path, adds the copyright file and the
# change logs, computes the shared-library dependencies with dpkg-shlibdeps
# and writes libkestrel1, libkestrel-dev, kestrel and python3-kestrel .deb
# files into OUT_DIR. The Python package comes from python/ as a wheel.
# Usage: make-deb.sh BUILD_DIR OUT_DIR
set -euo pipefail

die() { echo "make-deb: $*" >&2; exit 1; }
[ $# -eq 2 ] || die "usage: make-deb.sh BUILD_DIR OUT_DIR"
build=$(realpath "$1")
src=$(cd "$(dirname "$0")/.." && pwd)
here=$src/packaging
[ -f "$build/CMakeCache.txt" ] || die "$build is no configured build tree"
for tool in dpkg-architecture dpkg-shlibdeps dpkg-gencontrol dpkg-deb; do
  command -v $tool >/dev/null || die "$tool is missing (Debian package dpkg-dev)"
done
/usr/bin/python3 -c 'import setuptools, wheel' 2>/dev/null ||
  die "python3-setuptools and python3-wheel are needed for python3-kestrel"

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
tuple=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=$(cache CMAKE_INSTALL_LIBDIR)
[ "$libdir" = "lib/$tuple" ] ||
  die "$build installs libraries into '$libdir', not lib/$tuple; run 'cmake -U CMAKE_INSTALL_LIBDIR $build' or use a fresh build tree"
[ "$(cache KESTREL_SANITIZE)" != ON ] || die "$build is a sanitizer build; packages come from a normal build"

mkdir -p "$2"
out=$(realpath "$2")
work=$(mktemp -d "$out/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/stage
deb=$work/debian
mkdir -p "$deb"
cp "$here/control" "$here/changelog" "$deb/"

# Dates inside the packages are the change log's, so that a rebuild of the
# same tree gives the same files.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$deb/changelog" -STimestamp)
export SOURCE_DATE_EPOCH
version=$(dpkg-parsechangelog -l "$deb/changelog" -SVersion)
upstream=${version%-*}

DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; die "cmake --install failed"; }
installed=$(sed -n 's/^Version: //p' "$stage/usr/$libdir/pkgconfig/kestrel.pc")
[ "$installed" = "$upstream" ] ||
  die "the build is version $installed but packaging/changelog's newest entry is $version"

packages="libkestrel1 libkestrel-dev kestrel python3-kestrel"
for p in $packages; do mkdir -p "$deb/$p/DEBIAN"; done

# place PACKAGE FILE [DEST]: moves a staged file (relative to the staging
# root) into a package tree, at DEST or at the same path.
place() {
  local target=$deb/$1/${3:-$2}
  mkdir -p "$(dirname "$target")"
  mv "$stage/$2" "$target"
}

# Every installed file belongs to exactly one package by its path, so that a
# library or header that the install rules gain lands in its package without
# a change here; a file that matches no rule stops the build.
upstream_changelog=
while IFS= read -r -d '' f; do
  case $f in
    usr/$libdir/lib*.so.*) place libkestrel1 "$f" ;;
    usr/$libdir/lib*.so | usr/$libdir/cmake/* | usr/$libdir/pkgconfig/* | usr/include/*)
      place libkestrel-dev "$f" ;;
    usr/share/doc/*/CHANGELOG.md) upstream_changelog=$stage/$f ;;
    usr/share/doc/*/*) place libkestrel-dev "$f" "usr/share/doc/libkestrel-dev/${f##*/}" ;;
    usr/bin/* | usr/lib/kestrel/* | usr/share/man/*) place kestrel "$f" ;;
    *) die "no package takes the installed file /$f" ;;
  esac
done < <(cd "$stage" && find . \( -type f -o -type l \) -printf '%P\0' | sort -z)
[ -n "$upstream_changelog" ] || die "the install rules installed no CHANGELOG.md"

# The Python binding, built as a wheel from a copy of python/ and unpacked
# where Debian's python3 finds modules.
cp -r "$src/python" "$work/python"
(cd "$work/python" && /usr/bin/python3 -c \
  'import sys; from setuptools import build_meta; print(build_meta.build_wheel(sys.argv[1]))' \
  "$work/wheel") >"$work/wheel.log" 2>&1 || { cat "$work/wheel.log" >&2; die "building the Python wheel failed"; }
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
  "$work"/wheel/kestrel-*.whl "$deb/python3-kestrel/usr/lib/python3/dist-packages"

# ELF files of a package tree, one a line.
elf_files() {
  find "$1" -type f ! -path '*/DEBIAN/*' -exec sh -c 'head -c 4 "$1" | grep -q "^.ELF" && echo "$1"' _ {} \; |
    sort
}

for p in $packages; do
  tree=$deb/$p
  doc=$tree/usr/share/doc/$p
  # Programs and libraries without their debugging data and build notes.
  while IFS= read -r f; do
    case $f in
      *.so | *.so.*) strip --remove-section=.comment --remove-section=.note --strip-unneeded "$f" ;;
      *) strip --remove-section=.comment --remove-section=.note "$f" ;;
    esac
  done < <(elf_files "$tree")
  if [ -f "$here/$p.lintian-overrides" ]; then
    mkdir -p "$tree/usr/share/lintian/overrides"
    cp "$here/$p.lintian-overrides" "$tree/usr/share/lintian/overrides/$p"
  fi
  mkdir -p "$doc"
  cp "$here/copyright" "$doc/copyright"
  gzip -9n <"$here/changelog" >"$doc/changelog.Debian.gz"
  gzip -9n <"$upstream_changelog" >"$doc/changelog.gz"
  # Manual pages and longer documents are kept compressed.
  find "$tree/usr/share/man" "$doc" -type f \( -path '*/man/*' -o -size +4k \) ! -name '*.gz' \
    -exec gzip -9n {} + 2>/dev/null || true
  # Shared objects are not executable; directories and other files get the
  # usual modes whatever the umask was.
  find "$tree" -path "$tree/DEBIAN" -prune -o -type d -exec chmod 0755 {} +
  find "$tree" -path "$tree/DEBIAN" -prune -o -type f -exec chmod go-w,u+rw,a+r {} +
  find "$tree" -type f \( -name '*.so' -o -name '*.so.*' \) -exec chmod 0644 {} +
done

# libkestrel1: the symbols it exports, an shlibs line per library, and the
# loader cache refreshed on install and removal.
(cd "$work" && dpkg-gensymbols -q -plibkestrel1 -Pdebian/libkestrel1 -v"$upstream" \
  -Odebian/libkestrel1/DEBIAN/symbols) || die "dpkg-gensymbols failed"
# A package built against a library depends on the -dev package's version.
sed -i '/^[^ *#|]/a * Build-Depends-Package: libkestrel-dev' "$deb/libkestrel1/DEBIAN/symbols"

: >"$deb/libkestrel1/DEBIAN/shlibs"
for lib in "$deb/libkestrel1/usr/$libdir"/lib*.so.*; do
  [ -L "$lib" ] && continue
  soname=$(objdump -p "$lib" | sed -n 's/^ *SONAME *//p')
  [ -n "$soname" ] || die "$lib has no SONAME"
  echo "${soname%.so.*} ${soname##*.so.} libkestrel1 (>= $upstream)" >>"$deb/libkestrel1/DEBIAN/shlibs"
done
sort -u -o "$deb/libkestrel1/DEBIAN/shlibs" "$deb/libkestrel1/DEBIAN/shlibs"
[ -s "$deb/libkestrel1/DEBIAN/shlibs" ] || die "no shared library was installed"
echo "activate-noawait ldconfig" >"$deb/libkestrel1/DEBIAN/triggers"
chmod 0644 "$deb/libkestrel1/DEBIAN"/{symbols,shlibs,triggers}

# Depends of the packages with programs and libraries: from the ELF files'
# needs, libkestrel1's own shlibs file answering for libkestrel.
for p in libkestrel1 kestrel; do
  mapfile -t elves < <(elf_files "$deb/$p")
  [ ${#elves[@]} -gt 0 ] || die "$p holds no program or library"
  (cd "$work" && dpkg-shlibdeps -T"debian/$p.substvars" -l"debian/libkestrel1/usr/$libdir" \
    -S"debian/libkestrel1" "${elves[@]}") || die "dpkg-shlibdeps failed for $p"
done

rm -f "$out"/*.deb
for p in $packages; do
  tree=$deb/$p
  (cd "$tree" && find . -type f ! -path './DEBIAN/*' -printf '%P\0' | sort -z | xargs -0 -r md5sum) \
    >"$tree/DEBIAN/md5sums"
  chmod 0644 "$tree/DEBIAN/md5sums"
  touch "$deb/$p.substvars"
  (cd "$work" && dpkg-gencontrol -p"$p" -T"debian/$p.substvars" -P"debian/$p" -f"debian/files") ||
    die "dpkg-gencontrol failed for $p"
  dpkg-deb --root-owner-group -Zxz --build "$tree" "$out" >/dev/null
done
ls -1 "$out"/*.deb
