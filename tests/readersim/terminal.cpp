// Test-side helper: the terminal end of a simulator's line, opened the way
// the library opens it.
#include "terminal.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace simtest {

double now_s() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double seconds_since(double start) { return now_s() - start; }

static int left_ms(double deadline) {
    double left = deadline - now_s();
    return left <= 0 ? 0 : (int)(left * 1000) + 1;
}

terminal::terminal(const std::string &path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    struct termios t;
    if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
}

terminal::~terminal() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool terminal::write(const std::string &bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == (ssize_t)bytes.size();
}

std::vector<uint8_t> terminal::read(size_t count, double timeout_s) {
    std::vector<uint8_t> got;
    double deadline = now_s() + timeout_s;
    while (got.size() < count) {
        struct pollfd p = {fd_, POLLIN, 0};
        if (poll(&p, 1, left_ms(deadline)) <= 0)
            break;
        uint8_t buf[4096];
        ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
        else if (n == 0 || errno != EAGAIN)
            break;
    }
    return got;
}

std::vector<uint8_t> terminal::read_until_quiet(double quiet_s, double limit_s) {
    std::vector<uint8_t> got;
    double limit = now_s() + limit_s;
    while (now_s() < limit) {
        struct pollfd p = {fd_, POLLIN, 0};
        int wait_ms = std::min((int)(quiet_s * 1000), left_ms(limit));
        if (poll(&p, 1, wait_ms) <= 0)
            break;
        uint8_t buf[4096];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
        else if (n == 0 || errno != EAGAIN)
            break;
    }
    return got;
}

ssize_t terminal::next_read_result(double timeout_s) {
    double deadline = now_s() + timeout_s;
    for (;;) {
        uint8_t b;
        ssize_t n = ::read(fd_, &b, 1);
        if (n >= 0 || errno != EAGAIN || now_s() >= deadline)
            return n;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace simtest
