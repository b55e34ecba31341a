// The serial transport against the reader simulator on real pseudo-terminals:
// replies, silence, draining, path slots, line settings and byte transparency.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <dirent.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include "kestrel/kestrel.h"
#include "support.h"
#include "usb/transport.h"
#include "usb_support.h"

namespace {

using usbtest::start_sim;
using usbtest::tty_fd;

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int open_descriptors() {
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    while (d != nullptr && readdir(d) != nullptr)
        n++;
    if (d != nullptr)
        closedir(d);
    return n;
}

// Nothing is waiting on the open channel right now.
bool line_is_empty() {
    unsigned char byte;
    return read(fileDescriptor, &byte, 1) == -1 && errno == EAGAIN;
}

readersim::config silent_line() {
    readersim::config cfg;
    cfg.silent = true;
    return cfg;
}

class Transport : public ::testing::Test {
protected:
    readersim::simulator sim;

    void SetUp() override {
        reader_usb_close();
        memset(bsdPaths, 0, sizeof bsdPaths);
    }
    void TearDown() override {
        reader_usb_close();
        memset(bsdPaths, 0, sizeof bsdPaths);
    }
    // Puts the simulator's terminal into slot and opens it.
    void open_slot(int slot, const readersim::simulator &peer) {
        snprintf(bsdPaths[slot], sizeof bsdPaths[slot], "%s", peer.path().c_str());
        ASSERT_EQ(reader_usb_open(slot), 0);
        ASSERT_GE(fileDescriptor, 0);
    }
    void start_and_open(const readersim::config &cfg = {}) {
        ASSERT_NO_FATAL_FAILURE(start_sim(sim, cfg));
        ASSERT_NO_FATAL_FAILURE(open_slot(0, sim));
    }
};

const unsigned char info_request = 'n';
const unsigned char scan_request = 's';

TEST_F(Transport, GetbytesReceivesTheInformationReply) {
    readersim::config cfg;
    cfg.id.serial = 0x0D11;
    ASSERT_NO_FATAL_FAILURE(start_and_open(cfg));
    ASSERT_EQ(usb_write(&info_request, 1), 1);
    unsigned char reply[32];
    ASSERT_EQ(usb_getbytes(reply, 32, 32, 100), 32);
    std::vector<uint8_t> want = readersim::make_reply(cfg.id);
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + 32), want);
    EXPECT_TRUE(sim.wait_for('n'));
}

TEST_F(Transport, GetbytesFailsOnASilentDevice) {
    ASSERT_NO_FATAL_FAILURE(start_and_open(silent_line()));
    ASSERT_EQ(usb_write(&info_request, 1), 1);
    unsigned char reply[32];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(usb_getbytes(reply, 32, 32, 100), RDR_READ_FAILED);
    // 1002 attempts, each after a sleep of at least a millisecond.
    EXPECT_GE(seconds_since(t0), 1.0);
    EXPECT_TRUE(sim.wait_for('n'));
}

TEST_F(Transport, PartialReplyThenSilenceIsAFailureNotACount) {
    ASSERT_NO_FATAL_FAILURE(start_and_open(silent_line()));
    sim.send(std::vector<uint8_t>(20, 0x42));
    unsigned char reply[32];
    EXPECT_EQ(usb_getbytes(reply, 32, 32, 100), RDR_READ_FAILED);

    sim.send(std::vector<uint8_t>(20, 0x42));
    EXPECT_EQ(usb_read(reply, 32), -1);
}

TEST_F(Transport, HungUpLineEndsReadsInsteadOfSpinning) {
    // After a hang-up every read returns 0 at once; such reads count as
    // failed attempts, so the call ends like a silence: after about a
    // second, well before the 10 s bound of a line that keeps delivering.
    ASSERT_NO_FATAL_FAILURE(start_and_open());
    sim.hangup();
    unsigned char reply[32];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(usb_getbytes(reply, 32, 32, 100), RDR_READ_FAILED);
    EXPECT_LT(seconds_since(t0), 5.0);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(usb_read(reply, 1), -1);
    EXPECT_LT(seconds_since(t0), 5.0);
}

TEST_F(Transport, FlushReturnsAfterASecondOfQuiet) {
    ASSERT_NO_FATAL_FAILURE(start_sim(sim));
    // Bytes waiting before the open are drained by it.
    sim.send(std::vector<uint8_t>(10, 'x'));
    ASSERT_NO_FATAL_FAILURE(open_slot(0, sim));
    EXPECT_TRUE(line_is_empty());

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(usb_flush(), 0);
    EXPECT_GE(seconds_since(t0), 1.0);
}

TEST_F(Transport, FlushKeepsReadingWhileTheLineTalks) {
    ASSERT_NO_FATAL_FAILURE(start_and_open());

    // One byte every 200 ms for two seconds: never a second of quiet.
    std::atomic<int> sent{0};
    std::thread talker([&] {
        for (int i = 0; i < 10; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            sim.send({'z'});
            sent++;
        }
    });
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(usb_flush(), 0);
    double took = seconds_since(t0);
    talker.join();
    EXPECT_EQ(sent.load(), 10);
    // The last byte came at about 2 s; a second of quiet followed it.
    EXPECT_GE(took, 2.5);
    EXPECT_TRUE(line_is_empty());
}

// Runs the calls in a child process that may make no system call but write
// and exit (strict seccomp); any other system call kills it.
// Returns the results, or an empty vector when the child did not finish.
std::vector<int> results_without_system_calls(int (*const calls[])(), int count) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int results[16];
        if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0)
            syscall(SYS_exit, 2);
        for (int i = 0; i < count; i++)
            results[i] = calls[i]();
        if (write(fds[1], results, sizeof(int) * (size_t)count) != (ssize_t)(sizeof(int) * (size_t)count))
            syscall(SYS_exit, 3);
        syscall(SYS_exit, 0);
    }
    close(fds[1]);
    std::vector<int> results(count);
    ssize_t got = read(fds[0], results.data(), sizeof(int) * (size_t)count);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != (ssize_t)(sizeof(int) * (size_t)count) || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return results;
}

TEST_F(Transport, EmptyOrInvalidSlotAndClosedChannelMakeNoSystemCall) {
    static int (*const calls[])() = {
        [] { return reader_usb_open(-1); },
        [] { return reader_usb_open(4); },
        [] { return reader_usb_open(255); },
        [] { return reader_usb_open(0); },
        [] { return reader_usb_open(3); },
        [] {
            unsigned char b;
            return usb_read(&b, 1);
        },
        [] { return usb_write(&info_request, 1); },
        [] { return reader_usb_close(); },
    };
    const int want[] = {69, 69, 69, 69, 69, -1, -1, 0};
    const int count = (int)(sizeof calls / sizeof calls[0]);
    // Called once here first, so that nothing is left to resolve in the child.
    for (int i = 0; i < count; i++)
        EXPECT_EQ(calls[i](), want[i]) << "call " << i;

    std::vector<int> got = results_without_system_calls(calls, count);
    ASSERT_EQ((int)got.size(), count) << "a call made a system call";
    for (int i = 0; i < count; i++)
        EXPECT_EQ(got[i], want[i]) << "call " << i;

    unsigned char reply[32];
    EXPECT_EQ(usb_getbytes(reply, 32, 32, 100), RDR_READ_FAILED);
}

TEST_F(Transport, EmptySlotLeavesTheOpenChannelAlone) {
    ASSERT_NO_FATAL_FAILURE(start_and_open());
    int fd = fileDescriptor;
    EXPECT_EQ(reader_usb_open(1), RDR_EX_UNAVAILABLE);
    EXPECT_EQ(reader_usb_open(4), RDR_EX_UNAVAILABLE);
    EXPECT_EQ(fileDescriptor, fd);
    ASSERT_EQ(usb_write(&info_request, 1), 1);
    unsigned char reply[32];
    EXPECT_EQ(usb_getbytes(reply, 32, 32, 100), 32);
}

TEST_F(Transport, UnopenablePathGivesIoErrorAndLeaksNothing) {
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("plain"), "not a terminal");
    struct row {
        std::string path;
    };
    const row rows[] = {{dir.file("missing")}, {"/nonexistent/ttyUSB0"}, {dir.file("plain")}, {dir.path()}};
    int before = open_descriptors();
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(rows[i].path);
        snprintf(bsdPaths[2], sizeof bsdPaths[2], "%s", rows[i].path.c_str());
        EXPECT_EQ(reader_usb_open(2), RDR_EX_IOERR);
        EXPECT_EQ(fileDescriptor, -1);
        EXPECT_EQ(open_descriptors(), before);
    }
}

// Puts a terminal into cooked settings through our own descriptor; the
// settings the kernel then holds go to *applied.
void cook_line(const tty_fd &own, struct termios *applied) {
    ASSERT_GE(own.fd, 0);
    ASSERT_EQ(tcgetattr(own.fd, applied), 0);
    usbtest::make_cooked(applied);
    ASSERT_EQ(tcsetattr(own.fd, TCSANOW, applied), 0);
    ASSERT_EQ(tcgetattr(own.fd, applied), 0);
}

TEST_F(Transport, LineIsRawWhileOpenAndRestoredAfterClose) {
    ASSERT_NO_FATAL_FAILURE(start_sim(sim));
    tty_fd own(sim.path());
    struct termios before;
    ASSERT_NO_FATAL_FAILURE(cook_line(own, &before));
    ASSERT_TRUE(before.c_lflag & ECHO);
    ASSERT_TRUE(before.c_iflag & IXON);

    ASSERT_NO_FATAL_FAILURE(open_slot(0, sim));
    struct termios t;
    ASSERT_EQ(tcgetattr(own.fd, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK | PARMRK | IUCLC | BRKINT), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | CRTSCTS), (tcflag_t)(CLOCAL | CREAD | CRTSCTS));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB), (tcflag_t)CS8);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&t), (speed_t)B115200);
    EXPECT_EQ(cfgetispeed(&t), (speed_t)B115200);
    // Flags the transport has no business with stay as they were.
    EXPECT_EQ(t.c_lflag & (ECHOK | IEXTEN), (tcflag_t)(ECHOK | IEXTEN));
    EXPECT_EQ(t.c_oflag & ONLCR, (tcflag_t)ONLCR);

    EXPECT_EQ(reader_usb_close(), 0);
    EXPECT_EQ(fileDescriptor, -1);
    struct termios after;
    ASSERT_EQ(tcgetattr(own.fd, &after), 0);
    EXPECT_TRUE(usbtest::same_attrs(after, before));
}

TEST_F(Transport, OpeningAnotherDeviceClosesAndRestoresTheFirst) {
    readersim::simulator first, second;
    ASSERT_NO_FATAL_FAILURE(start_sim(first));
    ASSERT_NO_FATAL_FAILURE(start_sim(second));
    tty_fd own(first.path());
    struct termios before;
    ASSERT_NO_FATAL_FAILURE(cook_line(own, &before));

    int descriptors = open_descriptors();
    ASSERT_NO_FATAL_FAILURE(open_slot(0, first));
    ASSERT_NO_FATAL_FAILURE(open_slot(1, second));
    EXPECT_EQ(open_descriptors(), descriptors + 1);
    struct termios now;
    ASSERT_EQ(tcgetattr(own.fd, &now), 0);
    EXPECT_TRUE(usbtest::same_attrs(now, before));

    ASSERT_EQ(usb_write(&info_request, 1), 1);
    EXPECT_TRUE(second.wait_for('n'));
    EXPECT_TRUE(first.received().empty());
}

// Every byte value, the terminal's special characters among them; the tests
// below start from settings that would translate or drop some of them.
std::vector<uint8_t> every_byte_value(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = (uint8_t)(i * 7 + i / 256);
    return bytes;
}

TEST_F(Transport, FrameOfEveryByteValueArrivesUnchanged) {
    readersim::config cfg;
    cfg.frame = every_byte_value(4096);
    cfg.line_rate = 115200;
    ASSERT_NO_FATAL_FAILURE(start_sim(sim, cfg));
    tty_fd own(sim.path());
    struct termios cooked;
    ASSERT_NO_FATAL_FAILURE(cook_line(own, &cooked));
    ASSERT_NO_FATAL_FAILURE(open_slot(0, sim));

    ASSERT_EQ(usb_write(&scan_request, 1), 1);
    std::vector<uint8_t> frame(4096);
    ASSERT_EQ(usb_getbytes(frame.data(), 4096, 4096, 100), 4096);
    EXPECT_EQ(frame, cfg.frame);
    for (uint8_t special : {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x1A, 0x7F, 0xFF, 0x00})
        EXPECT_NE(std::count(frame.begin(), frame.end(), special), 0) << int(special);
}

TEST_F(Transport, RepliesOfEveryByteValueArriveAndLeaveUnchanged) {
    // Silent, as the bytes written below include commands.
    ASSERT_NO_FATAL_FAILURE(start_sim(sim, silent_line()));
    tty_fd own(sim.path());
    struct termios cooked;
    ASSERT_NO_FATAL_FAILURE(cook_line(own, &cooked));
    ASSERT_NO_FATAL_FAILURE(open_slot(0, sim));

    std::vector<uint8_t> all = every_byte_value(256);
    for (int part = 0; part < 8; part++) {
        SCOPED_TRACE(part);
        std::vector<uint8_t> reply(all.begin() + part * 32, all.begin() + part * 32 + 32);
        sim.send(reply);
        unsigned char got[32];
        ASSERT_EQ(usb_getbytes(got, 32, 32, 100), 32);
        EXPECT_EQ(std::vector<uint8_t>(got, got + 32), reply);
    }

    ASSERT_EQ(usb_write(all.data(), 256), 256);
    ASSERT_TRUE(sim.wait_for(all[255]));
    EXPECT_EQ(sim.received(), all);
}

} // namespace
