// Helpers shared by the serial tests: a running simulator and the terminal
// settings of its line as seen from a descriptor of our own.
#pragma once

#include <cstring>
#include <string>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "readersim.h"

namespace usbtest {

// Starts sim with cfg; fails the test when the pseudo-terminal cannot be made.
inline void start_sim(readersim::simulator &sim, const readersim::config &cfg = {}) {
    ASSERT_TRUE(sim.start(cfg)) << "cannot start the reader simulator";
}

// A descriptor of a terminal that is not ours to control, closed on scope exit.
struct tty_fd {
    int fd;
    explicit tty_fd(const std::string &path) : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~tty_fd() {
        if (fd >= 0)
            close(fd);
    }
    tty_fd(const tty_fd &) = delete;
    tty_fd &operator=(const tty_fd &) = delete;
};

// A fresh Linux terminal's cooked settings, made harsher: every input
// translation that can change or drop bytes, 7 bits with parity, echo and
// software flow control on, slow.
inline void make_cooked(struct termios *t) {
    t->c_iflag = ICRNL | INLCR | IGNCR | ISTRIP | INPCK | PARMRK | IUCLC | BRKINT | IXON | IXOFF | IXANY;
    t->c_oflag = OPOST | ONLCR;
    t->c_cflag = CS7 | PARENB | CREAD;
    t->c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
    t->c_cc[VMIN] = 0;
    t->c_cc[VTIME] = 5;
    cfsetospeed(t, B9600);
    cfsetispeed(t, B9600);
}

inline bool same_attrs(const struct termios &a, const struct termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

} // namespace usbtest
