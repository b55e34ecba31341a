// The calibration file: save_calib and load_calibration on files of 10,
// 1,000 and 100,000 lines. A save is set against the floor of a durable
// save of the same content (write a copy, fsync it, rename it into place).
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "calibrat/calibrat.h"
#include "support.h"
#include "table.h"

namespace {

constexpr reader_uint serial = 0x1a2b;
constexpr reader_uint wavelength = 660;
constexpr reader_time when = 1700000000;

readerinfo_t reader() {
    readerinfo_t info;
    memset(&info, 0, sizeof info);
    info.SerialNumber = serial;
    info.Wavelength = wavelength;
    info.calmin = 62;
    info.calmax = 58812;
    info.admin = 0;
    info.admax = 0xFFFF;
    return info;
}

// A calibration history of `lines` lines: other readers' calibrations,
// then this reader's only one last, so a load reads the whole file.
std::string history(int lines) {
    std::string text;
    char line[160];
    for (int i = 0; i < lines - 1; i++) {
        unsigned other = 0x2000u + (unsigned)i % 0xD000u;
        snprintf(line, sizeof line, "calib.%04x:%d=%04x,%04x 0.050000,0.850000 Tue Nov 14 22:13:20 2023 \n",
                 other, 600 + i % 100, 40 + i % 50, 60000 - i % 999);
        text += line;
    }
    snprintf(line, sizeof line, "calib.%04x:%d=0040,e000 0.050000,0.850000 Tue Nov 14 22:13:20 2023 \n",
             (unsigned)serial, (int)wavelength);
    return text + line;
}

// Writes `content` to a new file `temp`, syncs it and renames it to `path`.
bool durable_write(const std::string &temp, const std::string &path, const std::string &content) {
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, content.data(), content.size()) == (ssize_t)content.size();
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    return ok && rename(temp.c_str(), path.c_str()) == 0;
}

std::string read_whole(const std::string &path) {
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, f)) > 0)
        text.append(block, got);
    fclose(f);
    return text;
}

// Elapsed and processor time of one operation.
struct timing {
    double wall = 0, cpu = 0;
};

template <typename F> timing timed(F f) {
    double t0 = bench::now_s(), c0 = bench::thread_cpu_s();
    f();
    return {bench::now_s() - t0, bench::thread_cpu_s() - c0};
}

// Times of an operation on the file of N lines and on a file of one line,
// timed in the same iterations, so that the cost per line can be told apart
// from the fixed cost: (time for N lines - time for 1 line) / (N - 1).
class line_costs {
public:
    void add(const timing &n_lines, const timing &one_line) {
        wall_.add(n_lines.wall);
        one_wall_.add(one_line.wall);
        cpu_.add(n_lines.cpu);
        one_cpu_.add(one_line.cpu);
    }
    bool empty() const { return wall_.empty(); }
    double median() const { return wall_.median(); }
    void report(benchmark::State &state, int lines) const {
        state.counters["per_line_s"] = wall_.median() / lines;
        state.counters["marginal_per_line_s"] = marginal(wall_, one_wall_, lines);
        state.counters["cpu_marginal_per_line_s"] = marginal(cpu_, one_cpu_, lines);
    }

private:
    static double marginal(const bench::samples &n, const bench::samples &one, int lines) {
        return lines > 1 ? (n.median() - one.median()) / (lines - 1) : 0;
    }
    bench::samples wall_, one_wall_, cpu_, one_cpu_;
};

// One save, timed; "" or what failed. The file first gets `content` back,
// synced, so that no earlier write is still on its way to the disk.
std::string timed_save(const std::string &file, const std::string &content, timing *t) {
    if (!durable_write(file + ".restore", file, content))
        return "calibration file not written";
    readerinfo_t info = reader();
    int r = 0;
    *t = timed([&] { r = save_calib(file.c_str(), when, 0.05f, 0.85f, nullptr, &info); });
    return r == RDR_OK ? "" : "save_calib returned " + std::to_string(r);
}

void calib_save(benchmark::State &state) {
    const int lines = (int)state.range(0);
    bench::scratch_dir dir;
    const std::string file = dir.file("calibration.txt"), floor_file = dir.file("floor.txt");
    bench::scratch_dir one_dir;
    const std::string one_file = one_dir.file("calibration.txt");
    const std::string old_content = history(lines), one_content = history(1);
    std::string new_content;
    line_costs save;
    bench::samples floor;
    for (auto _ : state) {
        timing s_one, s;
        std::string failed = timed_save(one_file, one_content, &s_one);
        if (failed.empty())
            failed = timed_save(file, old_content, &s);
        if (!failed.empty()) {
            state.SkipWithError(failed.c_str());
            break;
        }
        if (new_content.empty())
            new_content = read_whole(file);
        double t0 = bench::now_s();
        bool ok = durable_write(floor_file + ".tmp", floor_file, new_content);
        double f = bench::now_s() - t0;
        if (!ok) {
            state.SkipWithError("durable save floor failed");
            break;
        }
        state.SetIterationTime(s.wall);
        save.add(s, s_one);
        floor.add(f);
    }
    if (save.empty())
        return;
    bench::report(state, save.median(), floor.median(), 3, "timed: write a copy, fsync, rename");
    save.report(state, lines);
    state.counters["floor_per_line_s"] = floor.median() / lines;
}
BENCHMARK(calib_save)->Arg(10)->Iterations(300)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(calib_save)->Arg(1000)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(calib_save)->Arg(100000)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// One load, timed; false when the reader's calibration did not come back.
bool timed_load(const std::string &file, timing *t) {
    readerinfo_t info = reader();
    info.calmin = 0;
    int r = 0;
    *t = timed([&] { r = load_calibration(file.c_str(), &info); });
    return r == RDR_OK && info.calmin == 0x40;
}

void calib_load(benchmark::State &state) {
    const int lines = (int)state.range(0);
    bench::scratch_dir dir;
    const std::string file = dir.file("calibration.txt"), one_file = dir.file("one.txt");
    if (!durable_write(file + ".tmp", file, history(lines)) ||
        !durable_write(one_file + ".tmp", one_file, history(1))) {
        state.SkipWithError("calibration file not written");
        return;
    }
    line_costs load;
    for (auto _ : state) {
        timing l, l_one;
        if (!timed_load(one_file, &l_one) || !timed_load(file, &l)) {
            state.SkipWithError("the reader's calibration was not loaded");
            break;
        }
        state.SetIterationTime(l.wall);
        load.add(l, l_one);
    }
    if (load.empty())
        return;
    bench::report_time(state, load.median());
    load.report(state, lines);
}
BENCHMARK(calib_load)->Arg(10)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(calib_load)->Arg(1000)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(calib_load)->Arg(100000)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) { return bench::run_benchmarks(argc, argv); }
