// Interleaved 2 of 5 and ITF-14: pairs of digits, the first digit in the
// five bars of the pair and the second in its five spaces, two of each
// five wide; start "nnnn" (bar, space, bar, space), stop "wnn" (bar, space,
// bar). Each digit is read with its own reference threshold; the start and
// stop elements are measured against the threshold of the digit beside
// them. An optional modulo-10 check digit; quiet zones of 10 X.
#include <algorithm>
#include <array>
#include <cstdint>

#include "decoder.h"
#include "two_width.h"

namespace verify {

namespace {

// The digits' patterns, a bit per element (1 wide), the first in the
// highest of five bits.
constexpr std::array<uint8_t, 10> digit_patterns = {
    0b00110, 0b10001, 0b01001, 0b11000, 0b00101, 0b10100, 0b01100, 0b00011, 0b10010, 0b01010,
};

constexpr int start_elements = 4, stop_elements = 3, pair_elements = 10;
constexpr double quiet_zone = 10; // X
// A space after a possible stop pattern ends the symbol when it is at
// least this many narrow widths wide; an element of a further pair is at
// most a wide one.
constexpr double end_space = 4;

int digit_of(unsigned pattern) {
    for (size_t d = 0; d < digit_patterns.size(); d++)
        if (digit_patterns[d] == pattern)
            return (int)d;
    return -1;
}

// The GS1 modulo-10 check digit of `digits`: weights 3 and 1 from the
// right-hand digit.
int mod10_check(const std::string &digits) {
    int sum = 0, weight = 3;
    for (auto c = digits.rbegin(); c != digits.rend(); ++c, weight = 4 - weight)
        sum += weight * (*c - '0');
    return (10 - sum % 10) % 10;
}

bool check_ok(const std::string &digits) {
    return digits.size() >= 2 && mod10_check(digits.substr(0, digits.size() - 1)) == digits.back() - '0';
}

bool decode(const decode_input &in, int start, decode_output &out) {
    auto w = in.widths;
    int n = (int)w.size();
    std::string digits;
    double v = 1, narrow_sum = 0;
    int counted = 0;
    two_width_char bars, spaces; // the last pair's two digits
    int j = start + start_elements;
    for (;; j += pair_elements) {
        // The stop pattern with a wide space after it ends the symbol.
        if (!digits.empty() && j + stop_elements < n) {
            double narrow = (bars.narrow + spaces.narrow) / 2;
            bool stop = two_width_margin(bars, w[(size_t)j], true) > 0 &&
                        two_width_margin(spaces, w[(size_t)(j + 1)], false) > 0 &&
                        two_width_margin(bars, w[(size_t)(j + 2)], false) > 0;
            if (stop &&
                (j + stop_elements == n - 1 || w[(size_t)(j + stop_elements)] >= end_space * narrow)) {
                v = std::min({v, two_width_margin(bars, w[(size_t)j], true),
                              two_width_margin(spaces, w[(size_t)(j + 1)], false),
                              two_width_margin(bars, w[(size_t)(j + 2)], false)});
                break;
            }
        }
        // How far the symbol is confirmed: not even its start before the
        // first digits are read.
        int at = digits.empty() ? start : j;
        if (j + pair_elements + stop_elements >= n)
            return decode_failure(
                out, at, digits.empty() ? "too few elements for a pair of digits" : "no stop pattern");
        double b[5], s[5];
        for (int k = 0; k < 5; k++) {
            b[k] = w[(size_t)(j + 2 * k)];
            s[k] = w[(size_t)(j + 2 * k + 1)];
        }
        int first = read_two_width(b, 5, 2, bars) ? digit_of(bars.pattern) : -1;
        int second = read_two_width(s, 5, 2, spaces) ? digit_of(spaces.pattern) : -1;
        if (first < 0 || second < 0)
            return decode_failure(out, at,
                                  "digit " + std::to_string(digits.size() + (first < 0 ? 1 : 2)) +
                                      " is not an Interleaved 2 of 5 digit");
        if (digits.empty()) {
            // The start pattern: four narrow elements.
            double margins[start_elements] = {two_width_margin(bars, w[(size_t)start], false),
                                              two_width_margin(spaces, w[(size_t)(start + 1)], false),
                                              two_width_margin(bars, w[(size_t)(start + 2)], false),
                                              two_width_margin(spaces, w[(size_t)(start + 3)], false)};
            for (double m : margins) {
                if (m <= 0)
                    return decode_failure(out, start, "no start pattern");
                v = std::min(v, m);
            }
        }
        digits += (char)('0' + first);
        digits += (char)('0' + second);
        v = std::min({v, bars.decodability, spaces.decodability});
        narrow_sum += bars.narrow + spaces.narrow;
        counted += 2;
    }
    out.last = j + stop_elements - 1;

    // A check digit asked for is verified; an ITF-14 (14 digits) carries
    // the GS1 check digit, which is verified whenever it is right.
    out.identifier = "]I0";
    if (in.options.check != VERIFY_CHECK_NONE) {
        if (!check_ok(digits))
            return decode_failure(out, out.last,
                                  "check digit " + std::string(1, digits.back()) + ", expected " +
                                      std::to_string(mod10_check(digits.substr(0, digits.size() - 1))));
        if (in.options.check == VERIFY_CHECK_STRIP) {
            digits.pop_back();
            out.identifier = "]I3";
        } else {
            out.identifier = "]I1";
        }
    } else if (digits.size() == 14 && check_ok(digits)) {
        out.identifier = "]I1";
    }
    out.data = std::move(digits);
    out.decodability = v;
    out.module = narrow_sum / counted;
    out.quiet_before = out.quiet_after = quiet_zone * out.module;
    return true;
}

} // namespace

const decoder itf_decoder = {VERIFY_ITF, decode};

} // namespace verify
