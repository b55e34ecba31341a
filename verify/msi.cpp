// MSI (Plessey): four bits per digit, each bit a bar and a space, one of
// the two wide (bit 1: wide bar; bit 0: wide space); start "wide bar,
// narrow space", stop "narrow bar, wide space, narrow bar". Check digits by
// the option's scheme; quiet zones of 12 X.
//
// MSI has no decode or decodability in any standard. The rule chosen here
// is the two-width one: each digit's eight elements get a reference
// threshold midway between the mean of its four wide and of its four
// narrow elements, every bar/space pair must hold exactly one element on
// each side of it, and the digit's decodability is the margin of the
// element nearest to the threshold over half the distance between the two
// means. The start and stop elements are measured against the threshold of
// the digit beside them.
#include <algorithm>

#include "decoder.h"
#include "two_width.h"

namespace verify {

namespace {

constexpr int start_elements = 2, stop_elements = 3, digit_elements = 8;
// The quiet zone that MSI symbols are drawn with (12 X).
constexpr double quiet_zone = 12;
// A space after a possible stop pattern ends the symbol when it is at
// least this many narrow widths wide (a digit's spaces are at most wide).
constexpr double end_space = 4;

// Modulo 10 (Luhn): from the right-hand digit, every second digit doubled
// and its digits summed.
int mod10(const std::string &digits) {
    int sum = 0;
    bool twice = true;
    for (auto c = digits.rbegin(); c != digits.rend(); ++c, twice = !twice) {
        int d = (*c - '0') * (twice ? 2 : 1);
        sum += d / 10 + d % 10;
    }
    return (10 - sum % 10) % 10;
}

// Modulo 11 with weights 2 to `top` from the right-hand digit; 10 is
// written "10".
std::string mod11(const std::string &digits, int top) {
    int sum = 0, weight = 2;
    for (auto c = digits.rbegin(); c != digits.rend(); ++c, weight = weight == top ? 2 : weight + 1)
        sum += weight * (*c - '0');
    return std::to_string((11 - sum % 11) % 11);
}

// The data without its check digits when they are right under the scheme,
// else false.
bool strip_checks(const std::string &digits, int scheme, std::string &data) {
    auto ends_with = [](const std::string &s, const std::string &tail) {
        return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    };
    std::string rest = digits;
    bool then_mod10 = scheme == VERIFY_MSI_MOD10_MOD10 || scheme == VERIFY_MSI_MOD11_MOD10 ||
                      scheme == VERIFY_MSI_MOD11_NCR_MOD10;
    if (then_mod10) {
        if (rest.size() < 2 || mod10(rest.substr(0, rest.size() - 1)) != rest.back() - '0')
            return false;
        rest.pop_back();
    }
    if (scheme == VERIFY_MSI_MOD10 || scheme == VERIFY_MSI_MOD10_MOD10) {
        if (rest.size() < 2 || mod10(rest.substr(0, rest.size() - 1)) != rest.back() - '0')
            return false;
        rest.pop_back();
    } else {
        // A check of 10 takes two digits; where both readings fit, the
        // two-digit one is taken, as an encoder writes 10 that way.
        int top = scheme == VERIFY_MSI_MOD11 || scheme == VERIFY_MSI_MOD11_MOD10 ? 7 : 9;
        if (ends_with(rest, "10") && mod11(rest.substr(0, rest.size() - 2), top) == "10")
            rest.resize(rest.size() - 2);
        else if (rest.size() >= 2 &&
                 mod11(rest.substr(0, rest.size() - 1), top) == rest.substr(rest.size() - 1))
            rest.pop_back();
        else
            return false;
    }
    data = rest;
    return true;
}

bool decode(const decode_input &in, int start, decode_output &out) {
    auto w = in.widths;
    int n = (int)w.size();
    std::string digits;
    double v = 1, narrow_sum = 0;
    int count = 0;
    two_width_char last; // the last digit read
    int j = start + start_elements;
    for (;; j += digit_elements) {
        if (!digits.empty() && j + stop_elements < n) {
            bool stop = two_width_margin(last, w[(size_t)j], false) > 0 &&
                        two_width_margin(last, w[(size_t)(j + 1)], true) > 0 &&
                        two_width_margin(last, w[(size_t)(j + 2)], false) > 0;
            if (stop &&
                (j + stop_elements == n - 1 || w[(size_t)(j + stop_elements)] >= end_space * last.narrow)) {
                v = std::min({v, two_width_margin(last, w[(size_t)j], false),
                              two_width_margin(last, w[(size_t)(j + 1)], true),
                              two_width_margin(last, w[(size_t)(j + 2)], false)});
                break;
            }
        }
        // How far the symbol is confirmed: not even its start before the
        // first digits are read.
        int at = digits.empty() ? start : j;
        if (j + digit_elements + stop_elements >= n)
            return decode_failure(out, at,
                                  digits.empty() ? "too few elements for a digit" : "no stop pattern");
        two_width_char c;
        if (!read_two_width(&w[(size_t)j], digit_elements, digit_elements / 2, c))
            return decode_failure(out, at,
                                  "digit " + std::to_string(digits.size() + 1) + " is not two widths");
        int value = 0;
        for (int bit = 0; bit < 4; bit++) {
            unsigned pair = c.pattern >> (6 - 2 * bit) & 3u; // bar, space
            if (pair != 0b10 && pair != 0b01)
                return decode_failure(out, at,
                                      "digit " + std::to_string(digits.size() + 1) + " is not an MSI digit");
            value = value << 1 | (pair == 0b10 ? 1 : 0);
        }
        if (value > 9)
            return decode_failure(out, at,
                                  "digit " + std::to_string(digits.size() + 1) + " is not an MSI digit");
        if (digits.empty()) {
            double bar = two_width_margin(c, w[(size_t)start], true);
            double space = two_width_margin(c, w[(size_t)(start + 1)], false);
            if (bar <= 0 || space <= 0)
                return decode_failure(out, start, "no start pattern");
            v = std::min({v, bar, space});
        }
        digits += (char)('0' + value);
        v = std::min(v, c.decodability);
        narrow_sum += c.narrow;
        count++;
        last = c;
    }
    out.last = j + stop_elements - 1;

    out.identifier = "]M0";
    if (in.options.check != VERIFY_CHECK_NONE) {
        std::string data;
        if (!strip_checks(digits, in.options.msi_check, data))
            return decode_failure(out, out.last, "wrong check digits in " + digits);
        if (in.options.check == VERIFY_CHECK_STRIP) {
            digits = data;
            out.identifier = "]M1";
        }
    }
    out.module = narrow_sum / count;
    out.data = std::move(digits);
    out.decodability = v;
    out.quiet_before = out.quiet_after = quiet_zone * out.module;
    return true;
}

} // namespace

const decoder msi_decoder = {VERIFY_MSI, decode};

} // namespace verify
