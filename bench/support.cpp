// Clock, program directory and scratch directory for the benchmarks.
#include "support.h"

#include <algorithm>
#include <cstdlib>
#include <ftw.h>
#include <time.h>
#include <unistd.h>

namespace bench {

double now_s() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

double thread_cpu_s() {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

std::string bin_dir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, (size_t)n);
    return path.substr(0, path.rfind('/'));
}

double samples::median() const {
    if (values_.empty())
        return 0;
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    size_t mid = sorted.size() / 2;
    return sorted.size() % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
}

scratch_dir::scratch_dir() {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrel-bench.XXXXXX";
    if (mkdtemp(pattern.data()))
        path_ = pattern;
}

static int remove_entry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

scratch_dir::~scratch_dir() {
    if (!path_.empty())
        nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

} // namespace bench
