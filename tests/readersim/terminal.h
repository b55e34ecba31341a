// Test-side helper: the terminal end of a simulator's line, opened the way
// the library opens it.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace simtest {

// The terminal side, non-blocking and raw.
class terminal {
public:
    explicit terminal(const std::string &path);
    ~terminal();
    terminal(const terminal &) = delete;
    terminal &operator=(const terminal &) = delete;

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool write(const std::string &bytes);
    // Reads until `count` bytes arrived or `timeout_s` passed.
    std::vector<uint8_t> read(size_t count, double timeout_s);
    // Reads until the line has been quiet for `quiet_s`, at most `limit_s`.
    std::vector<uint8_t> read_until_quiet(double quiet_s, double limit_s);
    // Waits up to `timeout_s` for a read that does not fail with EAGAIN and
    // returns its result: 0 at end of file, -1 on an error, else a count.
    ssize_t next_read_result(double timeout_s);

private:
    int fd_ = -1;
};

double seconds_since(double start);
double now_s();

} // namespace simtest
