// Discovery: the time usb_enumerate spends per probed reader, against an
// open of a quiet line (the open and its drain of about a second, which
// every probe spends by design) timed in the same run; and per device whose
// name rules it out, which opens nothing and so has no floor.
#include <string>
#include <vector>

#include "reader_setup.h"
#include "support.h"
#include "table.h"

namespace {

// Seconds that reader_usb_open spends on a quiet line (the open and the
// drain), or -1.
double open_with_drain(const std::string &path) {
    snprintf(bsdPaths[0], sizeof bsdPaths[0], "%s", path.c_str());
    double t0 = bench::now_s();
    int r = reader_usb_open(0);
    double t1 = bench::now_s();
    reader_usb_close();
    return r == 0 ? t1 - t0 : -1;
}

void discovery_probe(benchmark::State &state) {
    constexpr int readers = 2;
    readersim::simulator sims[readers];
    std::vector<std::string> names, paths;
    for (int i = 0; i < readers; i++) {
        readersim::config cfg;
        cfg.line_rate = 115200;
        cfg.id.serial = (uint16_t)(0x1001 + i);
        if (!sims[i].start(cfg)) {
            state.SkipWithError("simulator did not start");
            return;
        }
        char name[32];
        snprintf(name, sizeof name, "usbserial-0000%04x", 0x1001 + i);
        names.push_back(name);
        paths.push_back(sims[i].path());
    }
    const char *name_ptrs[readers], *path_ptrs[readers];
    for (int i = 0; i < readers; i++) {
        name_ptrs[i] = names[i].c_str();
        path_ptrs[i] = paths[i].c_str();
    }
    serial_registry_set(name_ptrs, path_ptrs, readers);
    bench::samples probe, drain;
    for (auto _ : state) {
        double t0 = bench::now_s();
        int n = usb_enumerate(nullptr, nullptr);
        double t1 = bench::now_s();
        double d = open_with_drain(paths[0]);
        if (n != readers || d < 0) {
            state.SkipWithError(n != readers ? "not every simulated reader was found" : "open failed");
            break;
        }
        state.SetIterationTime((t1 - t0) / readers);
        probe.add((t1 - t0) / readers);
        drain.add(d);
    }
    serial_registry_set(nullptr, nullptr, 0);
    if (probe.empty())
        return;
    bench::report(state, probe.median(), drain.median(), 0, "timed: open and drain of a quiet line");
}
BENCHMARK(discovery_probe)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void discovery_skip(benchmark::State &state) {
    // As many devices as a host list holds, none of them named like a reader.
    constexpr int devices = 16;
    std::vector<std::string> names;
    const char *name_ptrs[devices], *path_ptrs[devices];
    for (int i = 0; i < devices; i++)
        names.push_back("usbserial-A10" + std::to_string(10 + i));
    for (int i = 0; i < devices; i++) {
        name_ptrs[i] = names[i].c_str();
        path_ptrs[i] = "/dev/null";
    }
    serial_registry_set(name_ptrs, path_ptrs, devices);
    bench::samples per_device;
    for (auto _ : state) {
        double t0 = bench::now_s();
        int n = usb_enumerate(nullptr, nullptr);
        double t1 = bench::now_s();
        if (n != 0) {
            state.SkipWithError("a device was taken for a reader");
            break;
        }
        state.SetIterationTime((t1 - t0) / devices);
        per_device.add((t1 - t0) / devices);
    }
    serial_registry_set(nullptr, nullptr, 0);
    if (!per_device.empty())
        bench::report_time(state, per_device.median());
}
BENCHMARK(discovery_skip)->Iterations(20000)->UseManualTime()->Unit(benchmark::kNanosecond);

} // namespace

int main(int argc, char **argv) { return bench::run_benchmarks(argc, argv); }
