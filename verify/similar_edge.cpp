// Edge-to-similar-edge measurement. The decodability of a sum is its margin
// to the nearer of the two reference thresholds (j - 0.5) p/n and
// (j + 0.5) p/n around it, over half a module; the character's is the
// lowest of its sums. The standard's wording of this formula was not at
// hand; this is the form its public summaries give.
#include "similar_edge.h"

#include <algorithm>
#include <cmath>

namespace verify {

bool measure_similar_edges(const double *widths, int elements, int modules, similar_edge_char &out) {
    out = similar_edge_char();
    if (elements < 3 || elements > max_similar_edge_elements || modules < 1)
        return false;
    double p = 0;
    for (int k = 0; k < elements; k++)
        p += widths[k];
    if (!(p > 0))
        return false;
    double unit = p / modules;
    double v = 1;
    for (int i = 0; i + 2 < elements; i++) {
        double e = widths[i] + widths[i + 1];
        int j = (int)std::floor(e / unit + 0.5);
        out.sums[(size_t)i] = j;
        v = std::min(v, 1 - 2 * std::abs(e - j * unit) / unit);
    }
    out.count = elements - 2;
    out.module = unit;
    out.decodability = v;
    return true;
}

} // namespace verify
