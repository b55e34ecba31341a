// Faults on the line, through the simulator: a reader that never stops
// sending, hang-ups before, inside and after the information reply and in a
// scan frame, repeated activation without leaking descriptors, and discovery
// while a reader is active.
#include <atomic>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "control/control.h"
#include "readersim.h"
#include "support.h"
#include "usb/transport.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point t0) {
    return std::chrono::duration<double>(clock_type::now() - t0).count();
}

// Calls of the scan-data callback: the count, and whether the buffer was null.
struct scan_call {
    int count;
    bool null_buf;
};
std::vector<scan_call> calls;

int record_scan(unsigned char *buf, int count) {
    calls.push_back({count, buf == nullptr});
    return 0;
}

int open_descriptors() {
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d)
        return -1;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.')
            n++;
    closedir(d);
    return n - 1; // the listing's own descriptor
}

// Bound on a read that meets a hung-up line: it must end after its second of
// silence; generous for a loaded machine, yet below the 10 s busy-line bound.
constexpr double hangup_bound_s = 7.0;

class LineFaults : public testing::Test {
protected:
    readersim::simulator sim;

    void SetUp() override {
        calls.clear();
        reader_stop();
        reader_usb_close();
        memset(bsdPaths, 0, sizeof bsdPaths);
    }
    void TearDown() override {
        reader_stop();
        reader_usb_close();
        memset(bsdPaths, 0, sizeof bsdPaths);
        serial_registry_set(nullptr, nullptr, 0);
    }
    // Starts the simulator as reader index 0 without discovery.
    void start(const readersim::config &cfg = {}) {
        ASSERT_TRUE(sim.start(cfg)) << "cannot start the reader simulator";
        snprintf(bsdPaths[0], sizeof bsdPaths[0], "%s", sim.path().c_str());
    }
    int activate() { return reader_activate(nullptr, nullptr, nullptr, READER_CLASS_USB, 0); }
    // Polls until `n` callback calls have arrived, within a generous bound.
    bool poll_until_calls(size_t n, double bound = 8.0) {
        auto t0 = clock_type::now();
        while (calls.size() < n && seconds_since(t0) < bound) {
            reader_poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return calls.size() >= n;
    }
    // A silent reader that, once the information request has arrived, does
    // `before_hangup` and hangs up: the activation fails, no reader current.
    // A hung-up line reads end of file at once, which is no byte: the read
    // gives up after its second of silence, long before the busy-line
    // bound of 10 s that only a line delivering bytes reaches.
    template <typename F> void expect_activation_fails_on_hangup(F before_hangup) {
        readersim::config cfg;
        cfg.silent = true;
        ASSERT_NO_FATAL_FAILURE(start(cfg));
        std::atomic<bool> hung{false};
        clock_type::time_point hung_at;
        std::thread far_end([&] {
            if (sim.wait_for('n')) {
                before_hangup();
                sim.hangup();
                hung_at = clock_type::now();
                hung = true;
            }
        });
        EXPECT_EQ(activate(), RDR_READ_FAILED);
        auto ended = clock_type::now();
        far_end.join();
        ASSERT_TRUE(hung);
        EXPECT_LT(std::chrono::duration<double>(ended - hung_at).count(), hangup_bound_s);
        EXPECT_EQ(current_id, READER_NONE);
        EXPECT_EQ(current_info, nullptr);
    }
    // After a hang-up every poll reads end of file: each reports a null
    // buffer and -1, none delivers samples, and the reader stays current.
    void expect_polls_report_hangup() {
        size_t before = calls.size();
        for (int i = 0; i < 20; i++)
            EXPECT_EQ(reader_poll(), 0);
        ASSERT_EQ(calls.size(), before + 20);
        for (size_t i = before; i < calls.size(); i++) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(calls[i].null_buf);
            EXPECT_EQ(calls[i].count, -1);
        }
        EXPECT_EQ(current_id, READER_CLASS_USB);
    }
    // The hung-up device is gone: stopping still works, reopening fails.
    void expect_gone_after_hangup() {
        EXPECT_EQ(reader_stop(), 0);
        EXPECT_EQ(current_info, nullptr);
        EXPECT_EQ(activate(), RDR_EX_IOERR);
        EXPECT_EQ(current_id, READER_NONE);
    }
};

// The drain reads as long as bytes come; a reader that never pauses is cut
// off by the drain's bound (10 s), the open still succeeds, and the noise
// then reaches the information request.
TEST_F(LineFaults, FloodDuringTheDrainEndsAtTheBound) {
    ASSERT_NO_FATAL_FAILURE(start());
    sim.flood('x');
    auto t0 = clock_type::now();
    int r = activate();
    double took = seconds_since(t0);
    sim.stop_flood();
    EXPECT_EQ(r, RDR_BAD_CHECKSUM); // 32 flood bytes taken for the reply
    EXPECT_GE(took, 9.5);           // the line never paused for a second
    EXPECT_LT(took, 30.0);          // but the drain did end
    EXPECT_GE(fileDescriptor, 0);
    EXPECT_EQ(current_info, nullptr);
}

// A frame that stops short while stray bytes keep trickling in, each within
// the second of silence a read waits out: the fetch still ends, at the busy
// line bound, as one failed transfer.
TEST_F(LineFaults, TrickleDuringAFrameEndsAtTheBound) {
    readersim::config cfg;
    cfg.frame_cut = 3000;
    ASSERT_NO_FATAL_FAILURE(start(cfg));
    ASSERT_EQ(activate(), 0);
    reader_start(record_scan);
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        while (!done) {
            sim.send({'x'});
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
    });
    auto t0 = clock_type::now();
    EXPECT_EQ(reader_getscan(), 0);
    double took = seconds_since(t0);
    done = true;
    trickle.join();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].count, -2);
    EXPECT_GE(took, 9.5);
    EXPECT_LT(took, 30.0);
}

TEST_F(LineFaults, HangupBeforeTheReplyFailsTheActivation) {
    ASSERT_NO_FATAL_FAILURE(expect_activation_fails_on_hangup([&] {}));
}

TEST_F(LineFaults, HangupInTheMiddleOfTheReplyFailsTheActivation) {
    ASSERT_NO_FATAL_FAILURE(expect_activation_fails_on_hangup([&] {
        std::vector<uint8_t> reply = readersim::make_reply(readersim::identity{});
        sim.send(std::vector<uint8_t>(reply.begin(), reply.begin() + 20));
    }));
}

// The frame stops after 1000 bytes and the line hangs up: one -2 for the
// scan, no samples, then each poll reports the dead line. The fetch ends a
// second after the hang-up, not at the busy-line bound.
TEST_F(LineFaults, HangupInTheMiddleOfAFrame) {
    readersim::config cfg;
    cfg.frame_cut = 1000;
    cfg.hangup_after_frame_bytes = true;
    ASSERT_NO_FATAL_FAILURE(start(cfg));
    ASSERT_EQ(activate(), 0);
    reader_start(record_scan);
    auto t0 = clock_type::now();
    sim.announce();
    ASSERT_TRUE(poll_until_calls(1));
    // At most two seconds for the simulator to see the cut frame read, one
    // of silence, and margin for a loaded machine.
    EXPECT_LT(seconds_since(t0), hangup_bound_s);
    EXPECT_EQ(calls[0].count, -2);
    EXPECT_FALSE(calls[0].null_buf);
    EXPECT_EQ(sim.frames_sent(), 1);
    ASSERT_NO_FATAL_FAILURE(expect_polls_report_hangup());
    ASSERT_NO_FATAL_FAILURE(expect_gone_after_hangup());
}

// A good scan, then the reader goes away while the host polls.
TEST_F(LineFaults, HangupWhilePolling) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(activate(), 0);
    ASSERT_TRUE(sim.wait_for('l'));
    reader_start(record_scan);
    sim.announce();
    ASSERT_TRUE(poll_until_calls(2));
    EXPECT_EQ(calls[0].count, 2048);
    EXPECT_EQ(calls[1].count, 0);
    sim.hangup();
    ASSERT_NO_FATAL_FAILURE(expect_polls_report_hangup());
    ASSERT_NO_FATAL_FAILURE(expect_gone_after_hangup());
}

// Each activation opens the device anew (and drains it for a second); the
// channel it replaces is closed, so only the last one stays open.
TEST_F(LineFaults, RepeatedActivationAndStopLeakNoDescriptors) {
    ASSERT_NO_FATAL_FAILURE(start());
    const int before = open_descriptors();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 20; i++) {
        SCOPED_TRACE(i);
        ASSERT_EQ(activate(), 0);
        EXPECT_EQ(reader_stop(), 0);
        EXPECT_EQ(open_descriptors(), before + 1);
    }
    ASSERT_TRUE(sim.wait_for('o', 20));
    EXPECT_EQ(sim.replies_sent(), 20);
    reader_usb_close();
    EXPECT_EQ(open_descriptors(), before);
}

// Discovery replaces the active reader's channel and closes every channel it
// opens. What must happen then: polling the reader that the host still holds
// reaches no descriptor at all (not a stale number that may now belong to
// something else); each poll reports the failure through the callback; and
// activating the reader again brings it back.
TEST_F(LineFaults, DiscoveryWhileActiveThenPollingThatReader) {
    readersim::simulator other;
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(other.start({}));
    const std::string name0 = "usbserial-00001", name1 = "usbserial-00002";
    const std::string path0 = sim.path(), path1 = other.path();
    const char *names[] = {name0.c_str(), name1.c_str()};
    const char *paths[] = {path0.c_str(), path1.c_str()};
    ASSERT_EQ(serial_registry_set(names, paths, 2), 0);

    ASSERT_EQ(activate(), 0);
    ASSERT_TRUE(sim.wait_for('l'));
    const int active_fd = fileDescriptor;
    const int before = open_descriptors();
    EXPECT_EQ(reader_enumerate(nullptr, nullptr, nullptr, 0), 2);
    EXPECT_EQ(fileDescriptor, -1);
    EXPECT_EQ(open_descriptors(), before - 1);
    EXPECT_EQ(current_id, READER_CLASS_USB);

    // A file holding an announcement, put at the old descriptor's number:
    // a stale descriptor would read it.
    testsupport::temp_dir tmp;
    testsupport::write_file(tmp.file("decoy"), "!");
    int decoy = open(tmp.file("decoy").c_str(), O_RDONLY);
    ASSERT_GE(decoy, 0);
    if (decoy != active_fd) {
        ASSERT_EQ(fcntl(active_fd, F_GETFD), -1) << "the old number was taken by something else";
        ASSERT_EQ(dup2(decoy, active_fd), active_fd);
        close(decoy);
        decoy = active_fd;
    }
    reader_start(record_scan);
    EXPECT_EQ(reader_poll(), 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].null_buf);
    EXPECT_EQ(calls[0].count, -1);
    char left = 0;
    EXPECT_EQ(read(decoy, &left, 1), 1);
    EXPECT_EQ(left, '!');
    close(decoy);

    calls.clear();
    ASSERT_EQ(activate(), 0);
    ASSERT_TRUE(sim.wait_for('l', 2));
    reader_start(record_scan);
    sim.announce();
    ASSERT_TRUE(poll_until_calls(2));
    EXPECT_EQ(calls[0].count, 2048);
    EXPECT_EQ(calls[1].count, 0);
}

} // namespace
