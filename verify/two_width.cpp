// The reference threshold of a two-width character. The symbology
// standards' own wording of this decode was not at hand; this is the
// method their public summaries give: a threshold between the character's
// narrow and wide elements, and the decodability as the margin of the
// element nearest to it over half the distance between the two mean widths
// (1 for perfect widths, 0 for an element on the threshold).
#include "two_width.h"

#include <algorithm>

namespace verify {

bool read_two_width(const double *widths, int n, int wide_count, two_width_char &out) {
    out = two_width_char();
    if (n < 2 || n > max_two_width_elements || wide_count < 1 || wide_count >= n)
        return false;
    double sorted[max_two_width_elements];
    std::copy(widths, widths + n, sorted);
    std::sort(sorted, sorted + n);
    double narrow = 0, wide = 0;
    for (int k = 0; k < n - wide_count; k++)
        narrow += sorted[k];
    for (int k = n - wide_count; k < n; k++)
        wide += sorted[k];
    narrow /= n - wide_count;
    wide /= wide_count;
    if (!(wide > narrow))
        return false;
    double threshold = (narrow + wide) / 2;
    double widest_narrow = sorted[n - wide_count - 1], narrowest_wide = sorted[n - wide_count];
    if (!(widest_narrow <= threshold && narrowest_wide > threshold))
        return false;
    unsigned pattern = 0;
    for (int k = 0; k < n; k++)
        pattern = pattern << 1 | (widths[k] > threshold ? 1u : 0u);
    out.pattern = pattern;
    out.narrow = narrow;
    out.wide = wide;
    out.threshold = threshold;
    out.decodability =
        std::min(threshold - widest_narrow, narrowest_wide - threshold) / ((wide - narrow) / 2);
    return true;
}

double two_width_margin(const two_width_char &c, double width, bool wide) {
    double half = (c.wide - c.narrow) / 2;
    if (!(half > 0))
        return 0;
    return (wide ? width - c.threshold : c.threshold - width) / half;
}

} // namespace verify
