// Numbers given on the command line, read whole and checked against limits.
#include "numbers.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tools {

bool parse_int(const std::string &text, long long min, long long max, long long &out) {
    bool negative = !text.empty() && text[0] == '-';
    std::string digits = negative ? text.substr(1) : text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits = digits.substr(2);
    }
    // strtoull would take blanks, a sign or a second "0x" itself.
    if (digits.empty() || !std::isxdigit((unsigned char)digits[0]))
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long magnitude = std::strtoull(digits.c_str(), &end, base);
    if (errno || *end || magnitude > (unsigned long long)1 << 62)
        return false;
    long long v = negative ? -(long long)magnitude : (long long)magnitude;
    if (v < min || v > max)
        return false;
    out = v;
    return true;
}

bool parse_double(const std::string &text, double min, double max, double &out) {
    if (text.empty() || std::isspace((unsigned char)text[0]))
        return false;
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno || *end || !std::isfinite(v) || v < min || v > max)
        return false;
    out = v;
    return true;
}

} // namespace tools
