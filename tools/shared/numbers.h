// Numbers given on the command line of the host program and the reader
// simulator: whole texts only, within stated limits.
#pragma once

#include <string>

namespace tools {

// A decimal integer, or a hexadecimal one after "0x"; an optional "-" in
// front. No sign "+", no blanks. False when the text is not such a number
// or lies outside min..max.
bool parse_int(const std::string &text, long long min, long long max, long long &out);

// A decimal number with a point (strtod's forms in the C locale, but no
// leading blanks, infinities or NaN). False outside min..max.
bool parse_double(const std::string &text, double min, double max, double &out);

} // namespace tools
