// Test-side helpers: the terminal end of a simulator's line and the
// simulator program as a background child process.
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

program::program(const std::vector<std::string> &argv) {
    int in[2], out[2];
    if (pipe(in) != 0)
        return;
    if (pipe(out) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]})
            ::close(fd);
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
}

program::~program() {
    if (pid_ > 0 && wait(0) < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close_stdin();
    if (out_ >= 0)
        ::close(out_);
}

std::string program::first_line(double timeout_s) {
    double deadline = now_s() + timeout_s;
    size_t nl;
    while ((nl = out_buf_.find('\n')) == std::string::npos) {
        struct pollfd p = {out_, POLLIN, 0};
        if (poll(&p, 1, left_ms(deadline)) <= 0)
            return "";
        char buf[256];
        ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0)
            return "";
        out_buf_.append(buf, (size_t)n);
    }
    return out_buf_.substr(0, nl);
}

void program::write_stdin(const std::string &text) {
    ssize_t ignored = ::write(in_, text.data(), text.size());
    (void)ignored;
}

void program::close_stdin() {
    if (in_ >= 0)
        ::close(in_);
    in_ = -1;
}

void program::signal(int sig) {
    if (pid_ > 0)
        kill(pid_, sig);
}

int program::wait(double timeout_s) {
    if (pid_ <= 0)
        return status_;
    double deadline = now_s() + timeout_s;
    for (;;) {
        int st = 0;
        pid_t r = waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status_;
        }
        if (now_s() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace simtest
