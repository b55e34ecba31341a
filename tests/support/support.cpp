// Helpers for the test programs: temporary directories, child processes.
#include "support.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace testsupport {

std::string bin_dir() { return KESTREL_BIN_DIR; }
std::string source_dir() { return KESTREL_SOURCE_DIR; }

temp_dir::temp_dir() {
    const char *base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/kestrel-test-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        std::abort();
    path_ = buf.data();
}

static int remove_entry(const char *path, const struct stat *, int, struct FTW *) {
    // Directories made read-only by a test must be writable to be emptied.
    chmod(path, 0700);
    return remove(path);
}

temp_dir::~temp_dir() {
    chmod(path_.c_str(), 0700);
    nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool file_exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> dir_entries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool have_program(const std::string &name) {
    const char *path = std::getenv("PATH");
    std::stringstream ss(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(ss, dir, ':'))
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
    return false;
}

bool under_ci() {
    const char *ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && strcmp(ci, "0") != 0 && strcmp(ci, "false") != 0;
}

// In a forked child: sets the extra environment and runs the program.
[[noreturn]] static void exec_program(const std::vector<std::string> &argv,
                                      const std::vector<std::string> &extra_env) {
    for (const auto &e : extra_env)
        putenv(const_cast<char *>(e.c_str()));
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

run_result run_program(const std::vector<std::string> &argv, double timeout_s, const std::string &stdin_data,
                       const std::vector<std::string> &extra_env) {
    run_result res;
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err))
        return res;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        exec_program(argv, extra_env);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // Feed standard input, then read both outputs until they close.
    if (!stdin_data.empty()) {
        ssize_t ignored = write(in[1], stdin_data.data(), stdin_data.size());
        (void)ignored;
    }
    close(in[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *sinks[2] = {&res.out, &res.err};
    int open_count = 2;
    while (open_count > 0) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            res.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        int r = poll(fds, 2, (int)left);
        if (r < 0 && errno == EINTR)
            continue;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, (size_t)n);
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_count--;
            }
        }
    }
    for (auto &f : fds)
        if (f.fd >= 0)
            close(f.fd);
    int st = 0;
    waitpid(pid, &st, 0);
    res.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return res;
}

background_program::background_program(const std::vector<std::string> &argv,
                                       const std::vector<std::string> &extra_env) {
    int in[2], out[2];
    if (pipe(in))
        return;
    if (pipe(out)) {
        close(in[0]);
        close(in[1]);
        return;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]})
            close(fd);
        exec_program(argv, extra_env);
    }
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        return;
    }
    pid_ = pid;
    in_fd_ = in[1];
    out_fd_ = out[0];
}

background_program::~background_program() { stop(); }

std::string background_program::first_line(double timeout_s) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (out_fd_ >= 0 && pending_.find('\n') == std::string::npos) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0)
            return "";
        struct pollfd pfd = {out_fd_, POLLIN, 0};
        int r = poll(&pfd, 1, (int)left);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            continue;
        char buf[512];
        ssize_t n = read(out_fd_, buf, sizeof buf);
        if (n <= 0)
            return "";
        pending_.append(buf, (size_t)n);
    }
    size_t nl = pending_.find('\n');
    return nl == std::string::npos ? "" : pending_.substr(0, nl);
}

void background_program::write_stdin(const std::string &text) {
    if (in_fd_ < 0)
        return;
    ssize_t ignored = write(in_fd_, text.data(), text.size());
    (void)ignored;
}

void background_program::close_stdin() {
    if (in_fd_ >= 0)
        close(in_fd_);
    in_fd_ = -1;
}

void background_program::signal(int sig) {
    if (pid_ > 0)
        kill(pid_, sig);
}

int background_program::wait(double timeout_s) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (pid_ > 0) {
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            pid_ = -1;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        usleep(10000);
    }
    return status_;
}

int background_program::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (wait(2.0) < 0) {
            kill(pid_, SIGKILL);
            wait(60.0);
        }
    }
    close_stdin();
    if (out_fd_ >= 0) {
        close(out_fd_);
        out_fd_ = -1;
    }
    return status_;
}

} // namespace testsupport
