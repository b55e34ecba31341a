// Idle polling: reader_poll on an activated reader with nothing to read,
// against one bare non-blocking read() on the same descriptor.
#include <unistd.h>

#include "reader_setup.h"
#include "support.h"
#include "table.h"

namespace {

int callback_calls;

int on_scan(unsigned char *, int) {
    callback_calls++;
    return 0;
}

void poll_idle(benchmark::State &state) {
    readersim::simulator sim;
    if (!bench::activate_simulated_reader(state, sim, readersim::config()))
        return;
    reader_start(on_scan);
    constexpr int batch = 1000;
    unsigned char byte;
    bench::samples library, bare;
    bool odd = false;
    auto polls = [&] {
        double t0 = bench::now_s();
        for (int i = 0; i < batch; i++)
            reader_poll();
        return bench::now_s() - t0;
    };
    auto reads = [&] {
        double t0 = bench::now_s();
        for (int i = 0; i < batch; i++) {
            ssize_t r = read(fileDescriptor, &byte, 1);
            benchmark::DoNotOptimize(r);
        }
        return bench::now_s() - t0;
    };
    for (auto _ : state) {
        // Alternate which goes first, so that drift falls on both alike.
        double l, b;
        if (odd) {
            b = reads();
            l = polls();
        } else {
            l = polls();
            b = reads();
        }
        odd = !odd;
        state.SetIterationTime(l / batch);
        library.add(l / batch);
        bare.add(b / batch);
    }
    bench::finish_simulated_reader();
    if (callback_calls != 0) {
        state.SkipWithError("the idle line delivered something");
        return;
    }
    if (library.empty())
        return;
    bench::report(state, library.median(), bare.median(), 1.2,
                  "timed: one non-blocking read() on the same descriptor");
}
BENCHMARK(poll_idle)->Iterations(2000)->UseManualTime()->Unit(benchmark::kNanosecond);

} // namespace

int main(int argc, char **argv) { return bench::run_benchmarks(argc, argv); }
