// Discrete symbols. The widest inter-character gap accepted is 5.3 times
// the mean narrow width of the character before it: the standard's own
// limit was not at hand, 5.3 X is the largest gap its public summaries
// allow for small X-dimensions, and Codabar is given the same limit.
#include "discrete.h"

#include <algorithm>

namespace verify {

namespace {

constexpr double max_gap = 5.3;

} // namespace

bool read_discrete(std::span<const double> w, int start, const discrete_symbology &s, discrete_symbol &symbol,
                   decode_output &out) {
    int n = (int)w.size();
    symbol = {"", 1, 0, 0};
    double narrow_sum = 0;
    for (int i = start;; i += s.elements + 1) {
        int count = (int)symbol.chars.size();
        if (i + s.elements > n - 1)
            return decode_failure(out, i, count ? "no stop character" : "too few elements for a character");
        two_width_char c;
        char ch = s.read_char(&w[(size_t)i], c);
        if (!ch)
            return decode_failure(
                out, i, "character " + std::to_string(count + 1) + " is not a " + s.name + " character");
        if (count == 0 && !s.is_start_stop(ch))
            return decode_failure(out, i, "no start character");
        symbol.chars += ch;
        symbol.decodability = std::min(symbol.decodability, c.decodability);
        narrow_sum += c.narrow;
        bool at_end = i + s.elements == n - 1;
        bool ends = at_end || w[(size_t)(i + s.elements)] > max_gap * c.narrow;
        if (count > 0 && s.is_start_stop(ch)) {
            if (!ends)
                return decode_failure(out, i, "a start/stop character inside the symbol");
            symbol.last = i + s.elements - 1;
            symbol.module = narrow_sum / (double)symbol.chars.size();
            return true;
        }
        if (at_end)
            return decode_failure(out, i + s.elements, "no stop character");
        if (ends)
            return decode_failure(out, i + s.elements,
                                  "the gap after character " + std::to_string(count + 1) + " is too wide");
    }
}

} // namespace verify
