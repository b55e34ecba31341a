// The reader information record shown field by field.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "kestrel/kestrel.h"

namespace host {

// True when the record carries a calibration of its own: calmin or calmax
// differs from the uncalibrated range admin..admax.
bool is_calibrated(const readerinfo_t &info);

// (field name, shown value) in the record's field order, then a
// "calibrated" line. Times in local time, or "none" for -1.
std::vector<std::pair<std::string, std::string>> record_fields(const readerinfo_t &info);

// The fields as aligned lines "  name  value".
std::string format_record(const readerinfo_t &info);

} // namespace host
