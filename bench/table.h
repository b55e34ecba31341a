// Figures table shared by the benchmark programs: each benchmark reports its
// measured time, its floor and their ratio as counters; run_benchmarks prints
// the usual console output and appends one markdown row per benchmark to the
// file named by --table=PATH.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

namespace bench {

// Sets the counters the table reads: seconds per operation for the measured
// code and for its floor, their ratio, and the target ratio (0: none).
// `floor` names what the floor is; it becomes the benchmark's label.
void report(benchmark::State &state, double measured_s, double floor_s, double target,
            const std::string &floor);

// Sets only the measured time, for a benchmark without a floor.
void report_time(benchmark::State &state, double measured_s);

// Runs the benchmarks selected on the command line; the exit status.
int run_benchmarks(int argc, char **argv);

} // namespace bench
