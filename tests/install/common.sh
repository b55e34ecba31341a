# Shell helpers of the tests of installed and packaged trees: failure,
# expectations on output, and the example host and the grading host built
# against a tree and run against the simulator.
# Set before use: work (a temporary directory), simulator (the program); for
# example_hosts also src, version, cmake, cc, generator, libdir and flags.

sim_pid=
fail() { echo "FAIL: $*"; exit 1; }
# expect FILE TEXT: the file holds the text as one of its lines' substrings.
expect() { grep -qF -- "$2" "$1" || { echo "--- $1:"; cat "$1"; fail "expected '$2' in $1"; }; }
runpath() { readelf -d "$1" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p'; }

# start_sim OPTIONS...: starts the simulator, sets sim_path from its first line.
start_sim() {
  : >"$work/sim.out" # there before the background job opens it
  "$simulator" "$@" >"$work/sim.out" 2>"$work/sim.err" &
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
stop_sim_quietly() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; }

# run_on_sim NAME PROGRAM CALFILE SIMULATOR-OPTIONS...: runs "PROGRAM DEVICE 2
# CALFILE" against a simulator started with the options; its output is
# $work/NAME.out.
run_on_sim() {
  local name=$1 program=$2 calfile=$3 status
  shift 3
  start_sim --serial 0x1234 --announce-every 0.3 "$@"
  (cd "$work" && timeout 60 "$program" "$sim_path" 2 "$calfile") >"$work/$name.out" 2>&1
  status=$?
  stop_sim
  [ $status -eq 0 ] || { cat "$work/$name.out"; fail "$name: $program exited with $status"; }
}

# run_host NAME PROGRAM CALFILE: two scans with bars at 51 and spaces at 204.
run_host() {
  run_on_sim "$1" "$2" "$3" --low 51 --high 204 --blur 0
  expect "$work/$1.out" "status: Reader 1234 activated!"
  expect "$work/$1.out" "scan 2: 2048 samples, raw 51..204"
}

# run_grade NAME PROGRAM: two scans of the Code 39 symbol 0CSSBD from a
# reader at 590 nm, graded by the engine.
run_grade() {
  run_on_sim "$1" "$2" "$work/none.txt" --text 0CSSBD --wavelength 590
  expect "$work/$1.out" "scan 2: 2048 samples, grade 4.0 A, Code 39 ]A00CSSBD"
  expect "$work/$1.out" "symbol ]A00CSSBD: 4.0/06/590"
}

# consumer_build DIR [CMAKE OPTIONS...]: configures and builds the consumer
# project (the example host and the grading host) with find_package(Kestrel).
consumer_build() {
  local dir=$1
  shift
  "$cmake" -S "$src/tests/install/consumer" -B "$dir" -G "$generator" "$@" -DKESTREL_VERSION="$version" \
    -DHOST_SOURCE="$src/tests/install/host.c" -DGRADE_SOURCE="$src/tests/install/grade.c" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >"$dir.log" 2>&1 &&
    "$cmake" --build "$dir" >>"$dir.log" 2>&1 ||
    { cat "$dir.log"; fail "find_package build of the hosts in $dir"; }
}

# example_hosts PREFIX: builds the example host and the grading host against
# the tree under PREFIX with find_package(Kestrel) and with pkg-config, and
# runs all four builds.
example_hosts() {
  local prefix=$1 pc_libdir pc
  consumer_build "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix"
  expect "$work/consumer.log" "Kestrel $version, plug-ins in $prefix/lib/kestrel/plugins"

  export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
  for pc in kestrel kestrel-verify; do
    [ "$(pkg-config --modversion $pc)" = "$version" ] ||
      fail "pkg-config version of $pc '$(pkg-config --modversion $pc)', not $version"
  done
  [ -d "$(pkg-config --variable=plugindir kestrel)" ] || fail "pkg-config plugindir is no directory"
  pc_libdir=$(pkg-config --variable=libdir kestrel-verify)
  # shellcheck disable=SC2046,SC2086
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $flags -o "$work/host-pc" \
    "$src/tests/install/host.c" $(pkg-config --cflags --libs kestrel) -Wl,-rpath,"$pc_libdir" \
    >"$work/pc.log" 2>&1 || { cat "$work/pc.log"; fail "pkg-config build of the example host"; }
  # shellcheck disable=SC2046,SC2086
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $flags -o "$work/grade-pc" \
    "$src/tests/install/grade.c" $(pkg-config --cflags --libs kestrel kestrel-verify) -Wl,-rpath,"$pc_libdir" \
    >"$work/pc.log" 2>&1 || { cat "$work/pc.log"; fail "pkg-config build of the grading host"; }
  run_grade grade-find_package "$work/consumer/grade"
  run_grade grade-pkg-config "$work/grade-pc"

  # Without a calibration: raw readings 0..0xff00 stand for reflectance 0..1.
  run_host find_package "$work/consumer/host" "$work/none.txt"
  expect "$work/find_package.out" "reader 1234: 2048 samples per scan, calibration 0000..ff00"
  expect "$work/find_package.out" "reflectance 0.200..0.800"

  # With a calibration line for the reader at 660 nm: 0xcc00 = 204 * 256 is white.
  printf 'calib.1234:660=0000,cc00 0.000000,1.000000 Thu Jan  1 00:00:00 1970 \n' >"$work/cal.txt"
  run_host pkg-config "$work/host-pc" "$work/cal.txt"
  expect "$work/pkg-config.out" "calibration 0000..cc00"
  expect "$work/pkg-config.out" "reflectance 0.250..1.000"
}
