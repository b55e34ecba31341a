// The figures table: a console reporter that also keeps one markdown row
// per benchmark run and appends the rows to the --table file at the end.
#include "table.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {

const char *const measured_key = "measured_s";
const char *const floor_key = "floor_s";
const char *const ratio_key = "ratio";
const char *const target_key = "target";

// A time in seconds with a unit that keeps three or four digits.
std::string format_time(double s) {
    char buf[32];
    if (s >= 1)
        snprintf(buf, sizeof buf, "%.3f s", s);
    else if (s >= 1e-3)
        snprintf(buf, sizeof buf, "%.3f ms", s * 1e3);
    else if (s >= 1e-6)
        snprintf(buf, sizeof buf, "%.3f us", s * 1e6);
    else
        snprintf(buf, sizeof buf, "%.1f ns", s * 1e9);
    return buf;
}

std::string format_number(double v) {
    char buf[32];
    if (v != 0 && (std::fabs(v) >= 1e6 || std::fabs(v) < 1e-3))
        snprintf(buf, sizeof buf, "%.3g", v);
    else
        snprintf(buf, sizeof buf, "%.4g", v);
    return buf;
}

bool is_table_key(const std::string &key) {
    return key == measured_key || key == floor_key || key == ratio_key || key == target_key;
}

class table_reporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the library's own reporter does.
    table_reporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                rows.push_back(row_of(run));
    }

    std::vector<std::string> rows;

private:
    static std::string row_of(const Run &run) {
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty())
            name += "/" + run.run_name.args;
        if (run.error_occurred)
            return "| " + name + " | error: " + run.error_message + " | | | | | |";
        auto value = [&](const char *key) {
            auto it = run.counters.find(key);
            return it == run.counters.end() ? NAN : it->second.value;
        };
        double measured = value(measured_key), floor = value(floor_key), ratio = value(ratio_key),
               target = value(target_key);
        std::string verdict = "report";
        if (!std::isnan(target) && target > 0)
            verdict = ratio <= target ? "met" : "**missed**";
        std::string notes;
        for (const auto &c : run.counters) {
            if (is_table_key(c.first))
                continue;
            notes += (notes.empty() ? "" : ", ") + c.first + " " + format_number(c.second.value);
        }
        return "| " + name + " | " + (std::isnan(measured) ? "" : format_time(measured)) + " | " +
               (std::isnan(floor) ? "" : format_time(floor) + " (" + run.report_label + ")") + " | " +
               (std::isnan(ratio) ? "" : format_number(ratio)) + " | " +
               (std::isnan(target) || target <= 0 ? "-" : "<= " + format_number(target)) + " | " + verdict +
               " | " + notes + " |";
    }
};

} // namespace

void report(benchmark::State &state, double measured_s, double floor_s, double target,
            const std::string &floor) {
    state.counters[measured_key] = measured_s;
    state.counters[floor_key] = floor_s;
    state.counters[ratio_key] = floor_s > 0 ? measured_s / floor_s : 0;
    state.counters[target_key] = target;
    state.SetLabel(floor);
}

void report_time(benchmark::State &state, double measured_s) { state.counters[measured_key] = measured_s; }

int run_benchmarks(int argc, char **argv) {
    // Our own flag first; Google Benchmark refuses flags it does not know.
    const char *table_path = nullptr;
    std::vector<char *> args;
    for (int i = 0; i < argc; i++) {
        if (std::strncmp(argv[i], "--table=", 8) == 0)
            table_path = argv[i] + 8;
        else
            args.push_back(argv[i]);
    }
    int n = (int)args.size();
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;
    table_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (!table_path)
        return 0;
    FILE *out = std::fopen(table_path, "a");
    if (!out) {
        std::perror(table_path);
        return 1;
    }
    for (const std::string &row : reporter.rows)
        std::fprintf(out, "%s\n", row.c_str());
    return std::fclose(out) == 0 ? 0 : 1;
}

} // namespace bench
