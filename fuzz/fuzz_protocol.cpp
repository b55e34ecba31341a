// Fuzzes the reader protocol from the reader's side. The input is the byte
// stream a reader sends: its first 32 bytes answer the information request,
// the rest arrives while the library polls; every "!" the library reads is
// answered by the next 4096 bytes as the scan frame. The stream goes to the
// master of a pseudo-terminal whose terminal side is the library's channel.
//
// Covered: the information request and reply as activation makes them after
// its open (usb_write, usb_getbytes with its deadline, translate_readerinfo,
// the start command), usb_poll byte by byte, usb_getscan with the frame's
// reception and sample gathering, the scan-data callback's calls, and a poll
// on an empty line. Not covered: the open's one-second drain (the channel is
// opened once with OpenSerialPort and set as fileDescriptor) and silences or
// hang-ups, each of which costs a second; the fault tests cover those.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "core/core.h"
#include "usb/transport.h"

namespace {

constexpr size_t reply_len = 32;
constexpr size_t frame_len = 4096;
constexpr int samples = 2048;

int master = -1;
std::vector<uint8_t> stream;      // what the reader sends, padded
std::vector<size_t> frame_starts; // offset of each frame the library must fetch
size_t calls_seen;                // scan-data callback calls so far
size_t frames_seen;

void check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "protocol: %s\n", what);
        abort();
    }
}

// Samples first, then the end call, for each frame in order; nothing else.
int scan_data(unsigned char *buf, int count) {
    const bool samples_due = calls_seen % 2 == 0;
    calls_seen++;
    check(frames_seen < frame_starts.size(), "callback without an announced frame");
    if (samples_due) {
        check(buf != nullptr && count == samples, "first call of a scan is not its 2048 samples");
        const uint8_t *frame = stream.data() + frame_starts[frames_seen];
        for (int i = 0; i < samples; i++)
            check(buf[i] == frame[2 * i + 1], "sample is not the second byte of its pair");
    } else {
        check(buf != nullptr && count == 0, "second call of a scan is not the end call");
        frames_seen++;
    }
    return 0;
}

void send_stream(void) {
    size_t done = 0;
    struct timespec pause = {0, 1000000};
    for (int waits = 0; done < stream.size() && waits < 2000;) {
        ssize_t n = write(master, stream.data() + done, stream.size() - done);
        if (n > 0) {
            done += (size_t)n;
            continue;
        }
        check(n < 0 && errno == EAGAIN, "writing to the pseudo-terminal failed");
        nanosleep(&pause, nullptr);
        waits++;
    }
    check(done == stream.size(), "the pseudo-terminal takes no more input");
}

// What the library sent: the commands, counted by kind.
void read_commands(int *info, int *start, int *scan, int *other) {
    unsigned char buf[256];
    ssize_t n;
    *info = *start = *scan = *other = 0;
    while ((n = read(master, buf, sizeof buf)) > 0)
        for (ssize_t i = 0; i < n; i++)
            ++*(buf[i] == 'n' ? info : buf[i] == 'l' ? start : buf[i] == 's' ? scan : other);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    const char *slave =
        master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : nullptr;
    fileDescriptor = slave ? OpenSerialPort(slave) : -1;
    if (fileDescriptor < 0) {
        perror("pseudo-terminal");
        exit(1);
    }
    digitise_callback = scan_data;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    // Where each poll's byte lies, and which bytes are frames.
    stream.assign(bytes, bytes + size);
    if (stream.size() < reply_len)
        stream.resize(reply_len, 0);
    frame_starts.clear();
    size_t polls = 0, at = reply_len;
    for (; at < stream.size(); polls++) {
        if (stream[at] == '!') {
            frame_starts.push_back(at + 1);
            at += 1 + frame_len;
        } else {
            at++;
        }
    }
    stream.resize(at, 0);
    calls_seen = frames_seen = 0;

    tcflush(fileDescriptor, TCIOFLUSH);
    int info, start, scan, other;
    read_commands(&info, &start, &scan, &other);
    send_stream();

    // The exchange that activation makes once the line is open.
    check(usb_write((const unsigned char *)"n", 1) == 1, "information request not written");
    unsigned char reply[reply_len];
    check(usb_getbytes(reply, reply_len, reply_len, 100) == (int)reply_len, "information reply not received");
    check(memcmp(reply, stream.data(), reply_len) == 0, "information reply received differently");
    int r = translate_readerinfo(&usb_info[0], reply);
    check(r == 0 || r == -104, "translate_readerinfo result");
    check(usb_write((const unsigned char *)"l", 1) == 1, "start command not written");

    for (size_t i = 0; i < polls; i++)
        check(usb_poll() == 0, "usb_poll result");
    // The stream is used up: a poll on the empty line reports nothing.
    check(usb_poll() == 0, "usb_poll result on an empty line");
    check(frames_seen == frame_starts.size() && calls_seen == 2 * frames_seen, "scans not delivered");

    read_commands(&info, &start, &scan, &other);
    check(info == 1 && start == 1 && scan == (int)frame_starts.size() && other == 0,
          "commands sent differ from the conversation");
    return 0;
}
