#!/usr/bin/env bash
# Checks the Debian packages that building and testing Kestrel need. As root
# it installs what is missing; otherwise it names the packages to install.
# (locales: the locale sources from which a test makes de_DE.UTF-8 with localedef.)
# Usage: install-deps.sh [group...]   groups: build (default), python, peers, bench, fuzz, lint, deb
set -u
declare -A groups=(
  [build]="cmake g++ make ninja-build libgtest-dev binutils pkg-config groff-base libbenchmark-dev libpng-dev locales"
  [python]="python3 python3-pytest python3-pip python3-setuptools python3-wheel"
  [peers]="zint zxing-cpp-tools zbar-tools python3-stdnum python3"
  [bench]="libbenchmark-dev"
  [fuzz]="clang libclang-rt-14-dev"
  [lint]="clang-format"
  [deb]="dpkg-dev lintian python3-setuptools python3-wheel"
)
wanted=()
for g in "${@:-build}"; do
  [ -n "${groups[$g]+x}" ] || { echo "install-deps: unknown group '$g'" >&2; exit 2; }
  wanted+=(${groups[$g]})
done
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  exit $?
fi
echo "install-deps: missing packages: ${missing[*]}" >&2
echo "install-deps: run: sudo apt-get install ${missing[*]}" >&2
exit 1
