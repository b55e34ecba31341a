// Helpers for the test programs: temporary directories, child processes.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Directory of the build's artifacts (build/bin) and of the source tree.
std::string bin_dir();
std::string source_dir();

// A fresh directory under $TMPDIR (or /tmp), removed with its content.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole content of a file, or "" when it cannot be read.
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &content);
bool file_exists(const std::string &path);
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> dir_entries(const std::string &dir);

struct run_result {
    int status = -1;        // exit status, or 128 + signal when killed
    bool timed_out = false; // killed after the time bound
    std::string out;        // standard output, bytes as written
    std::string err;        // standard error
};

// Runs argv[0] (a path) with the arguments, optional standard input, and
// an upper bound on its run time after which it is killed.
run_result run_program(const std::vector<std::string> &argv, double timeout_s = 30.0,
                       const std::string &stdin_data = std::string(),
                       const std::vector<std::string> &extra_env = {});

// A program started in the background with standard input from /dev/null
// and standard output on a pipe; standard error is inherited. Stopped with
// SIGTERM (then SIGKILL after two seconds) when destroyed.
class background_program {
public:
    explicit background_program(const std::vector<std::string> &argv,
                                const std::vector<std::string> &extra_env = {});
    ~background_program();
    background_program(const background_program &) = delete;
    background_program &operator=(const background_program &) = delete;

    // The first line of its standard output without the newline, or ""
    // when none arrives within the bound (or the program ends first).
    std::string first_line(double timeout_s = 10.0);
    // Its standard input is a pipe: write to it, or close it.
    void write_stdin(const std::string &text);
    void close_stdin();
    void signal(int sig);
    // Waits up to timeout_s for the program to end: its status as
    // run_result counts it, or -1 while it still runs.
    int wait(double timeout_s);
    // Sends SIGTERM and waits (SIGKILL after two seconds); returns the status.
    int stop();
    bool started() const { return pid_ > 0; }

private:
    int pid_ = -1;
    int in_fd_ = -1;
    int out_fd_ = -1;
    int status_ = -1;
    std::string pending_;
};

// True when the program name is found on PATH.
bool have_program(const std::string &name);

// True under CI (the CI variable set to anything but "", "0" or "false"),
// where a missing peer tool means a missing install step.
bool under_ci();

} // namespace testsupport

// A cross-check that needs a peer tool: outside CI a missing peer skips the
// test, under CI it fails it, so a missing install step never turns a
// cross-check into a silent pass. Use at the start of a test body.
#define REQUIRE_PEER(available, what)                                                                        \
    do {                                                                                                     \
        if (!(available)) {                                                                                  \
            if (testsupport::under_ci())                                                                     \
                FAIL() << what << " missing under CI: scripts/install-deps.sh peers must install it";        \
            else                                                                                             \
                GTEST_SKIP() << what << " missing: run scripts/install-deps.sh peers as root";               \
        }                                                                                                    \
    } while (0)

namespace testsupport {} // namespace testsupport
