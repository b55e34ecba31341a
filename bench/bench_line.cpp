// Scan fetch against the line. Paced (115200 bit/s): from the moment the
// simulator writes "!" to the end-of-scan callback, against the line time of
// the 4097-byte exchange. Unpaced pseudo-terminal: the library's whole frame
// against a plain blocking read of 4096 bytes on the same pty, with the read
// attempts the library's polling needed.
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "reader_setup.h"
#include "support.h"
#include "table.h"

// Read attempts made on this thread. The program is linked with
// --wrap=read, so every read() of the library and of this file counts.
static thread_local long read_calls;
extern "C" ssize_t __real_read(int fd, void *buf, size_t n);
extern "C" ssize_t __wrap_read(int fd, void *buf, size_t n) {
    read_calls++;
    return __real_read(fd, buf, n);
}

namespace {

constexpr double line_rate = 115200;
constexpr int frame_bytes = readersim::frame_bytes;
// The exchange: the announcement and the frame, 10 bits a byte on the line.
constexpr double exchange_line_s = (frame_bytes + 1) * 10 / line_rate;
// A plain read that has had nothing for this long has failed.
constexpr unsigned plain_read_limit_s = 10;
constexpr double library_limit_s = 5;

// What the scan-data callback saw of one scan.
struct scan_seen {
    int samples;
    int failures;
    bool ended;
    double end_s; // when the end-of-scan call came
};
scan_seen seen;

int on_scan(unsigned char *, int count) {
    if (count > 0)
        seen.samples += count;
    else if (count == 0) {
        seen.end_s = bench::now_s();
        seen.ended = true;
    } else
        seen.failures++;
    return 0;
}

bool scan_complete() { return seen.ended && seen.samples == readersim::sample_count && seen.failures == 0; }

// SIGALRM interrupts a plain blocking read that would wait for ever.
void on_alarm(int) {}

void arm_alarm() {
    struct sigaction sa = {};
    sa.sa_handler = on_alarm;
    sigaction(SIGALRM, &sa, nullptr); // no SA_RESTART: the read fails with EINTR
    alarm(plain_read_limit_s);
}

// Blocking reads until n bytes are in; false on end of file, error or alarm.
bool read_exactly(int fd, unsigned char *buf, int n) {
    int got = 0;
    while (got < n) {
        ssize_t r = read(fd, buf + got, (size_t)(n - got));
        if (r <= 0)
            return false;
        got += (int)r;
    }
    return true;
}

// Activates the reader on a simulator with `cfg` and opens a second,
// blocking descriptor of the same pty: the plain reader that the library is
// compared with. Its descriptor, or -1 when the benchmark is skipped.
int start_line(benchmark::State &state, readersim::simulator &sim, const readersim::config &cfg) {
    if (!bench::activate_simulated_reader(state, sim, cfg))
        return -1;
    int fd = open(sim.path().c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        state.SkipWithError("second descriptor of the pty not opened");
        bench::finish_simulated_reader();
        return -1;
    }
    reader_start(on_scan);
    return fd;
}

// Library: "!" written now, then polling until the end-of-scan call.
// Seconds from the "!" to that call, or -1; *polls counts reader_poll calls.
double library_paced_fetch(readersim::simulator &sim, long *polls) {
    seen = {};
    double t0 = bench::now_s();
    sim.announce();
    long n = 0;
    while (!seen.ended && seen.failures == 0 && bench::now_s() - t0 < library_limit_s) {
        reader_poll();
        n++;
    }
    *polls = n;
    return scan_complete() ? seen.end_s - t0 : -1;
}

// Plain reader: waits for the "!", asks for the frame and reads it whole.
double plain_paced_fetch(readersim::simulator &sim, int fd) {
    unsigned char buf[frame_bytes];
    const unsigned char request = 's';
    arm_alarm();
    double t0 = bench::now_s();
    sim.announce();
    bool ok = read_exactly(fd, buf, 1) && buf[0] == '!' && write(fd, &request, 1) == 1 &&
              read_exactly(fd, buf, frame_bytes);
    double t1 = bench::now_s();
    alarm(0);
    return ok ? t1 - t0 : -1;
}

void scan_fetch_paced(benchmark::State &state) {
    readersim::config cfg;
    cfg.line_rate = line_rate;
    readersim::simulator sim;
    int plain = start_line(state, sim, cfg);
    if (plain < 0)
        return;
    bench::samples library, floor;
    double polls_total = 0, attempts_total = 0;
    int done = 0;
    for (auto _ : state) {
        long polls = 0, r0 = read_calls;
        double l = library_paced_fetch(sim, &polls);
        long reads = read_calls - r0;
        double p = plain_paced_fetch(sim, plain);
        if (l < 0 || p < 0) {
            state.SkipWithError(l < 0 ? "library fetch failed" : "plain fetch failed");
            break;
        }
        state.SetIterationTime(l);
        library.add(l);
        floor.add(p);
        polls_total += (double)polls;
        attempts_total += (double)(reads - polls);
        done++;
    }
    close(plain);
    bench::finish_simulated_reader();
    if (done == 0)
        return;
    bench::report(state, library.median(), exchange_line_s, 1.02,
                  "computed: line time of 4097 bytes at 115200 bit/s");
    state.counters["plain_fetch_s"] = floor.median();
    state.counters["vs_plain"] = library.median() / floor.median();
    state.counters["polls_per_scan"] = polls_total / done;
    state.counters["read_attempts_per_frame"] = attempts_total / done;
}
BENCHMARK(scan_fetch_paced)->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);

// Plain reader on an unpaced line: the request, then the frame read whole.
double plain_unpaced_fetch(int fd, long *reads) {
    unsigned char buf[frame_bytes];
    const unsigned char request = 's';
    arm_alarm();
    long r0 = read_calls;
    double t0 = bench::now_s();
    bool ok = write(fd, &request, 1) == 1 && read_exactly(fd, buf, frame_bytes);
    double t1 = bench::now_s();
    *reads = read_calls - r0;
    alarm(0);
    return ok ? t1 - t0 : -1;
}

void scan_fetch_unpaced(benchmark::State &state) {
    readersim::config cfg; // line_rate 0: the pty's own speed
    readersim::simulator sim;
    int plain = start_line(state, sim, cfg);
    if (plain < 0)
        return;
    constexpr int sleeps = 10;
    bench::samples library, floor, sleep;
    double attempts_total = 0, plain_reads_total = 0;
    int done = 0;
    for (auto _ : state) {
        seen = {};
        long r0 = read_calls;
        double t0 = bench::now_s();
        reader_getscan();
        double l = bench::now_s() - t0;
        long attempts = read_calls - r0;
        long plain_reads = 0;
        double p = plain_unpaced_fetch(plain, &plain_reads);
        if (!scan_complete() || p < 0) {
            state.SkipWithError(p < 0 ? "plain fetch failed" : "library fetch failed");
            break;
        }
        // The pause the library makes before each read attempt, as it
        // actually lasts on this machine.
        double s0 = bench::now_s();
        for (int i = 0; i < sleeps; i++)
            usleep(1000);
        sleep.add((bench::now_s() - s0) / sleeps);
        state.SetIterationTime(l);
        library.add(l);
        floor.add(p);
        attempts_total += (double)attempts;
        plain_reads_total += (double)plain_reads;
        done++;
    }
    close(plain);
    bench::finish_simulated_reader();
    if (done == 0)
        return;
    double attempts = attempts_total / done;
    double sleep_floor = attempts * sleep.median();
    bench::report(state, library.median(), floor.median(), 0, "timed: plain blocking read of 4096 bytes");
    state.counters["read_attempts_per_frame"] = attempts;
    state.counters["plain_reads_per_frame"] = plain_reads_total / done;
    state.counters["usleep_1ms_s"] = sleep.median();
    state.counters["sleep_floor_s"] = sleep_floor;
    state.counters["vs_sleep_floor"] = library.median() / sleep_floor;
}
BENCHMARK(scan_fetch_unpaced)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) { return bench::run_benchmarks(argc, argv); }
