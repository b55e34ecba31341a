#!/bin/sh
# Builds the benchmarks (Release) into $BENCH_BUILD, runs them, and writes
# the figures table with the machine it ran on to bench/results.md, which
# it prints at the end.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$src/build-bench}
jobs=${JOBS:-2}
out=$src/bench/results.md

if [ ! -f "$build/CMakeCache.txt" ]; then
  generator="Unix Makefiles"
  command -v ninja >/dev/null 2>&1 && generator=Ninja
  cmake -S "$src" -B "$build" -G "$generator" -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j "$jobs" --target benchmarks

rows=$(mktemp)
trap 'rm -f "$rows"' EXIT
for program in line poll discovery calfile plugins; do
  "$build/bin/bench_$program" --table="$rows"
done

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
cores=$(grep -c '^processor' /proc/cpuinfo)
cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")

{
  echo "# Benchmark figures"
  echo
  echo "Produced by \`make bench\` (bench/run.sh) on $(date -u '+%Y-%m-%d %H:%M UTC'); build type $build_type."
  echo
  echo "- CPU: ${cpu:-unknown}"
  echo "- Cores: $cores"
  echo "- Kernel: $(uname -srm)"
  echo "- Compiler: $("${cxx:-c++}" --version | head -n 1)"
  echo
  echo "Each ratio is measured time / floor. A floor marked *timed* is measured in the"
  echo "same run, side by side with the code it bounds; a floor marked *computed* is a"
  echo "constant worked out from the line's fixed figures (115200 bit/s, 10 bits per byte)."
  echo "Rows without a floor report their time only. Times are medians of the"
  echo "iterations, counts are means."
  echo
  echo "| Benchmark | Measured | Floor | Ratio | Target | Verdict | Notes |"
  echo "|---|---|---|---|---|---|---|"
  cat "$rows"
  echo
  cat <<'NOTES'
What the rows measure:

- scan_fetch_paced: simulator at 115200 bit/s; from the call that makes the
  simulator write "!" (readersim::simulator::announce, on the polling thread)
  to the end-of-scan callback, against the computed line time of 4097 bytes
  (0.3556 s). plain_fetch_s is a blocking reader doing the same exchange on a
  second descriptor of the same pty.
- scan_fetch_unpaced: reader_getscan on an unpaced pty against a plain
  blocking read of the 4096-byte frame on the same pty. read_attempts_per_frame
  counts the library's read() calls, each preceded by its 1 ms sleep;
  sleep_floor_s is that count times one usleep(1000) as measured here.
- poll_idle: reader_poll with nothing to read against one bare non-blocking
  read() on the library's own descriptor.
- discovery_probe: usb_enumerate over two simulated readers (115200 bit/s),
  per reader, against reader_usb_open on a quiet line (the open and its
  drain of about a second), timed in the same run.
- discovery_skip: per device whose name rules it out (16 in the list); such
  a device is never opened, so there is no drain to compare with.
- calib_save/N, calib_load/N: files of N lines; the reader's own line is the
  last, so a load reads the whole file. The save's floor writes the same new
  content to a new file, fsyncs it and renames it into place.
  marginal_per_line_s is (time for N lines - time for 1 line) / (N - 1), both
  timed in the same iterations: the cost per line without the fixed cost of
  the syncs, which at 10 lines is within the disk's noise;
  cpu_marginal_per_line_s is the same in processor time of the thread, which
  other processes on the machine do not stretch. A save syncs the
  new file and then its directory (so the rename survives a power cut), the
  floor only the file: where syncs dominate, at 10 and 1,000 lines, the
  ratio follows the disk's sync latency, about 1.5 on a quiet disk and more
  while other processes queue writes to the same disk.
- plugin_entry/NAME: one entry call through the module NAME.so on data it
  accepts, against memcpy of the same 256 bytes.
- harness_run/NAME: the program NAME run with one argument to its end,
  against /bin/true, both with standard output on /dev/null.

Debian's libbenchmark announces itself as a DEBUG build; every figure here is
timed by the benchmark itself (manual time), outside that library's code.
NOTES
} >"$out"

echo
cat "$out"
