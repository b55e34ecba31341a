// Calibrating the active reader: reference measurements and the save.
#include "calibration.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include "files.h"
#include "kestrel/kestrel.h"
#include "latin1.h"
#include "output.h"
#include "profile_output.h"
#include "result_text.h"
#include "session.h"

namespace host {

namespace {

// The system's reason why a save into `calfile` failed, read from the file
// and its directory as they are now; `err` (errno just after the save) when
// neither shows one.
std::string save_problem(const std::string &calfile, int err) {
    std::string dir = dir_of(calfile);
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || access(dir.c_str(), W_OK | X_OK) != 0)
        return dir + ": " + strerror(errno);
    if (stat(calfile.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return calfile + ": " + strerror(EISDIR);
        if (access(calfile.c_str(), R_OK | W_OK) != 0)
            return calfile + ": " + strerror(errno);
    }
    return err ? strerror(err) : "";
}

} // namespace

std::string reference_line(const reference &ref, const std::vector<uint8_t> &samples) {
    readerinfo_t rec{};
    reader_info(&rec);
    char tail[64];
    snprintf(tail, sizeof tail, "  raw %ld, true %.2f\n", ref.raw, ref.true_value);
    std::string label = ref.label;
    label.resize(std::max(label.size() + 1, (size_t)18), ' ');
    return label + sparkline(reflectances(samples, rec.calmin, rec.calmax), 64, charset_is_utf8()) + tail;
}

bool measure_reference(reference &ref, double timeout_s, bool getscan, std::string &error) {
    scan_wait w = wait_for_scan(timeout_s, getscan, std::string(ref.label) + ": ");
    if (w.result == scan_wait::interrupted) {
        error.clear();
        return false;
    }
    if (w.result != scan_wait::got_scan) {
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%g", timeout_s);
        error = std::string(ref.label) + ": " + scan_outcome_text(w.result) +
                (w.result == scan_wait::timed_out ? std::string(" (") + seconds + " s)" : "");
        return false;
    }
    ref.raw = reference_level(w.samples);
    write_data(reference_line(ref, w.samples));
    return true;
}

int save_calibration(const reference &dark, const reference &light, const std::string &calfile,
                     const std::string &extra, std::string &error) {
    errno = 0;
    int r = reader_calib((unsigned)dark.raw, (unsigned)light.raw, (float)dark.true_value,
                         (float)light.true_value, calfile.c_str(), (reader_time)time(nullptr), extra.c_str());
    int err = errno;
    if (r != RDR_OK) {
        std::string problem = save_problem(calfile, err);
        error = "calibration not kept in " + calfile + ": " + describe_result(r) +
                (problem.empty() ? "" : ": " + problem);
    }
    return r;
}

} // namespace host
