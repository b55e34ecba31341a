#!/usr/bin/env bash
# Runs each fuzz target for a number of seconds on its corpus in
# fuzz/corpus/<target>/ (new inputs are added there), writes the log to
# <build>/fuzz-logs/<target>.log and any crashing input to
# <build>/fuzz-artifacts/, and prints one summary line per target.
# Usage: fuzz/run.sh BUILD_DIR SECONDS TARGET...   (exit 1 when any target failed)
set -u
build=$1 seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/fuzz-logs" "$build/fuzz-artifacts"
failed=()
for t in "$@"; do
  corpus="$here/corpus/$t"
  log="$build/fuzz-logs/$t.log"
  mkdir -p "$corpus"
  # The protocol stream carries a 4096-byte frame behind each "!".
  max_len=4096
  [ "$t" = protocol ] && max_len=8192
  "$build/bin/fuzz_$t" -max_total_time="$seconds" -max_len=$max_len -timeout=25 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz-artifacts/$t-" -print_final_stats=1 "$corpus" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  echo "fuzz_$t: ${secs:-?} s, ${runs:-?} executions, ${cov:-cov: ?}, corpus $(ls "$corpus" | wc -l) files, exit $rc"
  [ $rc -eq 0 ] || { failed+=("$t"); tail -n 40 "$log"; }
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: failed: ${failed[*]} (inputs in $build/fuzz-artifacts/)" >&2; exit 1; }
