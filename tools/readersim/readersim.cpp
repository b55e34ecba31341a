// The simulator's pseudo-terminal and its serving thread: reads commands
// from the master side, answers them, announces scans and misbehaves on request.
//
// The line on Linux:
// - The simulator keeps one descriptor of the terminal side open for its
//   whole life. Without it the master reads EIO whenever the library has
//   closed its own descriptor, e.g. between a discovery probe and the
//   activation. That descriptor never reads, so every byte still goes to
//   the library.
// - hangup() closes the master and that descriptor. From then on a read on
//   a descriptor the library still holds returns 0 (end of file) at once,
//   blocking or not, and poll() reports POLLHUP; writes fail with EIO; the
//   path is gone, so a new open fails with ENOENT. Bytes the library had
//   not read yet are discarded by the hang-up, so the hang-up that follows
//   a cut frame first waits (up to two seconds) until the library has read
//   what was sent.
#include "readersim.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace readersim {

using clock_type = std::chrono::steady_clock;
using seconds_d = std::chrono::duration<double>;

namespace {

constexpr int poll_ms = 10;
// A write that makes no progress for this long (nobody reads the line)
// gives up, so no call blocks for ever.
constexpr double stall_limit_s = 5.0;
constexpr double drain_limit_s = 2.0;

clock_type::time_point after(double s) {
    return clock_type::now() + std::chrono::duration_cast<clock_type::duration>(seconds_d(s));
}

bool make_raw(int fd) {
    struct termios t;
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace

struct simulator::impl {
    // Guards cfg, reply, frame, rx and the flood settings.
    mutable std::mutex mu;
    mutable std::condition_variable changed;
    config cfg;
    std::vector<uint8_t> reply, frame;
    std::vector<uint8_t> rx;
    bool flooding = false;
    uint8_t flood_byte = 0;
    bool flood_timed = false;
    clock_type::time_point flood_until;

    // One writer at a time on the master. Only the serving thread closes
    // the master, and only while holding this lock.
    std::mutex line_mu;
    int master = -1;
    int keeper = -1;
    std::string path;
    std::thread thread;

    std::atomic<bool> quit{false};
    std::atomic<bool> hang_request{false};
    std::atomic<bool> hung{false};
    std::atomic<bool> is_started{false};
    std::atomic<int> frames{0}, replies{0};
    clock_type::time_point next_announce;

    void prepare(const config &c);
    bool write_paced(const uint8_t *p, size_t n, double rate);
    bool write_line(const std::vector<uint8_t> &bytes, double rate);
    void send_announce(double rate, const std::string &stray);
    void close_line();
    void drain_then_hang_up();
    void note_start_stop(uint8_t b);
    void handle(uint8_t b);
    void flood_some();
    void serve();
};

// Builds the reply and frame for a configuration and makes it current.
void simulator::impl::prepare(const config &c) {
    std::vector<uint8_t> r = make_reply(c.id);
    std::vector<uint8_t> f;
    if (!c.frame.empty())
        f = c.frame;
    else if (!c.samples.empty())
        f = make_frame(c.samples);
    else
        f = make_frame(make_samples(c.prof));
    std::lock_guard<std::mutex> lock(mu);
    cfg = c;
    reply = std::move(r);
    frame = std::move(f);
}

// Writes n bytes; with a rate, byte k leaves no earlier than k * 10 / rate
// seconds after the first, on a schedule from the monotonic clock, and the
// call returns when the last byte's time has passed. The caller holds line_mu.
bool simulator::impl::write_paced(const uint8_t *p, size_t n, double rate) {
    if (master < 0)
        return false;
    const double byte_s = rate > 0 ? 10.0 / rate : 0;
    // About a millisecond of line time per chunk.
    const size_t chunk = rate > 0 ? std::max<size_t>(1, (size_t)(rate / 10 / 1000)) : n;
    const auto t0 = clock_type::now();
    auto last_progress = t0;
    size_t sent = 0;
    while (sent < n) {
        if (quit || hang_request)
            return false;
        if (rate > 0) {
            auto due = t0 + std::chrono::duration_cast<clock_type::duration>(seconds_d(sent * byte_s));
            if (clock_type::now() < due) {
                std::this_thread::sleep_until(std::min(due, after(poll_ms / 1000.0)));
                continue;
            }
        }
        ssize_t w = ::write(master, p + sent, std::min(chunk, n - sent));
        if (w > 0) {
            sent += (size_t)w;
            last_progress = clock_type::now();
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (clock_type::now() - last_progress > seconds_d(stall_limit_s))
            return false;
        struct pollfd pfd = {master, POLLOUT, 0};
        poll(&pfd, 1, poll_ms);
    }
    if (rate > 0) {
        auto end = t0 + std::chrono::duration_cast<clock_type::duration>(seconds_d(n * byte_s));
        while (clock_type::now() < end && !quit && !hang_request)
            std::this_thread::sleep_until(std::min(end, after(poll_ms / 1000.0)));
    }
    return true;
}

bool simulator::impl::write_line(const std::vector<uint8_t> &bytes, double rate) {
    std::lock_guard<std::mutex> lock(line_mu);
    return write_paced(bytes.data(), bytes.size(), rate);
}

void simulator::impl::send_announce(double rate, const std::string &stray) {
    std::vector<uint8_t> bytes(stray.begin(), stray.end());
    bytes.push_back('!');
    write_line(bytes, rate);
}

// Serving thread only.
void simulator::impl::close_line() {
    std::lock_guard<std::mutex> lock(line_mu);
    if (master >= 0)
        ::close(master);
    if (keeper >= 0)
        ::close(keeper);
    master = keeper = -1;
    {
        std::lock_guard<std::mutex> state(mu);
        hung = true;
    }
    changed.notify_all();
}

// A hang-up discards what the terminal side has not read yet; give the
// library the chance to read the bytes already sent first.
void simulator::impl::drain_then_hang_up() {
    auto limit = after(drain_limit_s);
    int empty_checks = 0;
    while (empty_checks < 2 && clock_type::now() < limit && !quit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        int pending = 0;
        if (ioctl(keeper, FIONREAD, &pending) != 0)
            break;
        empty_checks = pending == 0 ? empty_checks + 1 : 0;
    }
    close_line();
}

void simulator::impl::note_start_stop(uint8_t b) {
    if (b == 'l') {
        double every;
        {
            std::lock_guard<std::mutex> lock(mu);
            every = cfg.announce_every;
        }
        is_started = true;
        next_announce = after(every);
    } else if (b == 'o') {
        is_started = false;
    }
}

// Answers the requests; the other bytes ("l" and "o" included) need no answer.
void simulator::impl::handle(uint8_t b) {
    if (b != 'n' && b != 's')
        return;
    std::vector<uint8_t> answer;
    double rate;
    int cut;
    bool hang_up;
    {
        std::lock_guard<std::mutex> lock(mu);
        if (cfg.silent)
            return;
        answer = b == 'n' ? reply : frame;
        rate = cfg.line_rate;
        cut = cfg.frame_cut;
        hang_up = cfg.hangup_after_frame_bytes;
    }
    if (b == 'n') {
        replies++;
        write_line(answer, rate);
        return;
    }
    if (cut >= 0 && (size_t)cut < answer.size())
        answer.resize((size_t)cut);
    frames++;
    write_line(answer, rate);
    if (cut >= 0 && hang_up)
        drain_then_hang_up();
}

// Writes whatever the line takes of the flood byte right now.
void simulator::impl::flood_some() {
    uint8_t byte;
    {
        std::lock_guard<std::mutex> lock(mu);
        if (flooding && flood_timed && clock_type::now() >= flood_until)
            flooding = false;
        if (!flooding)
            return;
        byte = flood_byte;
    }
    std::vector<uint8_t> chunk(1024, byte);
    std::lock_guard<std::mutex> lock(line_mu);
    if (master >= 0) {
        ssize_t ignored = ::write(master, chunk.data(), chunk.size());
        (void)ignored;
    }
}

void simulator::impl::serve() {
    while (!quit) {
        if (hang_request && !hung)
            close_line();
        if (hung) {
            std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
            continue;
        }
        bool want_flood;
        {
            std::lock_guard<std::mutex> lock(mu);
            want_flood = flooding;
        }
        struct pollfd pfd = {master, (short)(POLLIN | (want_flood ? POLLOUT : 0)), 0};
        int r = poll(&pfd, 1, poll_ms);
        if (r > 0 && (pfd.revents & POLLIN)) {
            uint8_t buf[256];
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                // Start and stop take effect before the bytes count as
                // received, so a caller of wait_for('o') sees started() false.
                for (ssize_t i = 0; i < n; i++)
                    note_start_stop(buf[i]);
                {
                    std::lock_guard<std::mutex> lock(mu);
                    rx.insert(rx.end(), buf, buf + n);
                }
                changed.notify_all();
                for (ssize_t i = 0; i < n && !hung && !hang_request; i++)
                    handle(buf[i]);
            }
        } else if (r > 0 && (pfd.revents & (POLLHUP | POLLERR))) {
            // Not expected while the keeper is open; avoid a busy loop.
            std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
        }
        if (want_flood && !hung)
            flood_some();

        double every, rate;
        bool silent;
        std::string stray;
        {
            std::lock_guard<std::mutex> lock(mu);
            every = cfg.announce_every;
            rate = cfg.line_rate;
            silent = cfg.silent;
            stray = cfg.stray_before_announce;
        }
        if (is_started && every > 0 && !silent && !hung && clock_type::now() >= next_announce) {
            send_announce(rate, stray);
            next_announce =
                std::max(next_announce + std::chrono::duration_cast<clock_type::duration>(seconds_d(every)),
                         clock_type::now());
        }
    }
}

simulator::simulator() : d(new impl) {}

simulator::~simulator() {
    stop();
    delete d;
}

bool simulator::start(const config &cfg) {
    if (d->thread.joinable())
        return false;
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        return false;
    char name[128];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
        ::close(m);
        return false;
    }
    int k = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (k < 0 || !make_raw(k) || !make_raw(m) || fcntl(m, F_SETFL, O_NONBLOCK) != 0) {
        if (k >= 0)
            ::close(k);
        ::close(m);
        return false;
    }
    d->prepare(cfg);
    d->master = m;
    d->keeper = k;
    d->path = name;
    d->quit = false;
    d->hang_request = false;
    d->hung = false;
    d->is_started = false;
    d->thread = std::thread([this] { d->serve(); });
    return true;
}

void simulator::stop() {
    d->quit = true;
    if (d->thread.joinable())
        d->thread.join();
    std::lock_guard<std::mutex> lock(d->line_mu);
    if (d->master >= 0)
        ::close(d->master);
    if (d->keeper >= 0)
        ::close(d->keeper);
    d->master = d->keeper = -1;
}

const std::string &simulator::path() const { return d->path; }

void simulator::set_config(const config &cfg) { d->prepare(cfg); }

config simulator::get_config() const {
    std::lock_guard<std::mutex> lock(d->mu);
    return d->cfg;
}

void simulator::announce() {
    double rate;
    std::string stray;
    {
        std::lock_guard<std::mutex> lock(d->mu);
        rate = d->cfg.line_rate;
        stray = d->cfg.stray_before_announce;
    }
    d->send_announce(rate, stray);
}

void simulator::send(const std::vector<uint8_t> &bytes) {
    double rate;
    {
        std::lock_guard<std::mutex> lock(d->mu);
        rate = d->cfg.line_rate;
    }
    d->write_line(bytes, rate);
}

void simulator::hangup() {
    if (!d->thread.joinable()) {
        stop();
        d->hung = true;
        return;
    }
    d->hang_request = true;
    // The serving thread closes the line within one poll interval; a write
    // in progress gives up at once.
    std::unique_lock<std::mutex> lock(d->mu);
    d->changed.wait_for(lock, std::chrono::seconds(5), [this] { return d->hung.load(); });
}

void simulator::flood(uint8_t byte, double seconds) {
    std::lock_guard<std::mutex> lock(d->mu);
    d->flooding = true;
    d->flood_byte = byte;
    d->flood_timed = seconds > 0;
    d->flood_until = after(seconds);
}

void simulator::stop_flood() {
    std::lock_guard<std::mutex> lock(d->mu);
    d->flooding = false;
}

std::vector<uint8_t> simulator::received() const {
    std::lock_guard<std::mutex> lock(d->mu);
    return d->rx;
}

std::string simulator::received_text() const {
    std::lock_guard<std::mutex> lock(d->mu);
    return std::string(d->rx.begin(), d->rx.end());
}

void simulator::clear_received() {
    std::lock_guard<std::mutex> lock(d->mu);
    d->rx.clear();
}

bool simulator::wait_for(uint8_t byte, int count, double timeout_s) const {
    std::unique_lock<std::mutex> lock(d->mu);
    return d->changed.wait_for(lock, seconds_d(timeout_s),
                               [&] { return std::count(d->rx.begin(), d->rx.end(), byte) >= count; });
}

bool simulator::wait_unread(int count, double timeout_s) const {
    auto limit = after(timeout_s);
    for (;;) {
        int pending = 0;
        if (d->keeper < 0 || ioctl(d->keeper, FIONREAD, &pending) != 0)
            return false;
        if (pending >= count)
            return true;
        if (clock_type::now() >= limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int simulator::frames_sent() const { return d->frames; }
int simulator::replies_sent() const { return d->replies; }
bool simulator::started() const { return d->is_started; }

} // namespace readersim
