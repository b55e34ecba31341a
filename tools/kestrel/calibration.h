// Calibrating the active reader: measuring a reference with the reader,
// and saving a calibration with the reasons of a failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// A reference of known true reflectance, and the raw reading measured on it.
struct reference {
    const char *label; // "dark reference"
    double true_value; // reflectance 0..1
    long raw = -1;     // 256 times its mean sample, once measured
};

// Waits for one scan of the reference (or asks the reader for it at once
// with `getscan`) and sets its raw level; shows the scan and its level as a
// data line. False with a reason in `error` when no scan arrives, or when a
// stop signal ends the wait (error empty then).
bool measure_reference(reference &ref, double timeout_s, bool getscan, std::string &error);
// The data line of a measured reference: its sparkline, raw and true value.
std::string reference_line(const reference &ref, const std::vector<uint8_t> &samples);

// Calibrates the current reader from the two references and saves the
// calibration in `calfile`, whose directory exists. Returns the library's
// result; on failure `error` holds its meaning and the system's reason.
int save_calibration(const reference &dark, const reference &light, const std::string &calfile,
                     const std::string &extra, std::string &error);

} // namespace host
