// Small helpers shared by the benchmark programs: a monotonic clock, the
// build's bin/ directory and a scratch directory removed with its content.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Monotonic time in seconds.
double now_s();

// Processor time of the calling thread in seconds: unlike the elapsed time,
// it does not grow when other processes take the processor away.
double thread_cpu_s();

// Directory of the running program, which is the build's bin/.
std::string bin_dir();

// Times of the iterations of one measurement. The median is what the
// benchmarks report: on a shared machine a few iterations stretched by
// other processes move the mean but not the median.
class samples {
public:
    void add(double s) { values_.push_back(s); }
    bool empty() const { return values_.empty(); }
    double median() const;

private:
    std::vector<double> values_;
};

// A fresh directory under $TMPDIR (or /tmp); empty path() when none could
// be made.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir &) = delete;
    scratch_dir &operator=(const scratch_dir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace bench
