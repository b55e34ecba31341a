// Profile parameters. Elements are runs on either side of the global
// threshold; each edge between two elements lies where the profile crosses
// the midpoint between the space's Rs and the bar's Rb, searched between
// the two extremes and nearest to where the profile crosses the threshold.
#include "profile.h"

#include <algorithm>
#include <cmath>

namespace verify {

// The classic measure of element reflectance non-uniformity. The current
// edition of the standard treats defects near element edges in a way whose
// details were not at hand; a slope into an edge never scores here, which
// is the part of that treatment public summaries agree on.
double non_uniformity(const double *r, size_t n, bool bar) {
    // The deepest point of water trapped between higher parts, found from
    // both ends at once: the lower side decides how deep water may stand.
    double sign = bar ? -1 : 1;
    size_t lo = 0, hi = n;
    double left = -2, right = -2, deepest = 0;
    while (lo < hi) {
        double a = sign * r[lo], b = sign * r[hi - 1];
        if (a <= b) {
            left = std::max(left, a);
            deepest = std::max(deepest, left - a);
            lo++;
        } else {
            right = std::max(right, b);
            deepest = std::max(deepest, right - b);
            hi--;
        }
    }
    return deepest;
}

namespace {

// Where the profile crosses `level` between the extremes of two adjoining
// elements, nearest to the threshold crossing between samples b and b + 1.
// The extreme of the left element lies at `from`, of the right one at `to`.
double midpoint_edge(std::span<const double> r, int from, int to, int b, double level, bool falling) {
    auto crosses = [&](int j) {
        return falling ? r[j] > level && r[j + 1] <= level : r[j] <= level && r[j + 1] > level;
    };
    for (int d = 0;; d++) {
        int left = b - d, right = b + d;
        bool in_left = left >= from, in_right = right < to;
        if (!in_left && !in_right)
            break;
        for (int j : {left, right})
            if (j >= from && j < to && crosses(j))
                return j + (level - r[j]) / (r[j + 1] - r[j]);
    }
    return b + 0.5; // not reached: the extremes lie on either side of the level
}

} // namespace

void measure(std::span<const double> r, profile &p) {
    p = profile();
    if (r.empty())
        return;
    auto [lo, hi] = std::minmax_element(r.begin(), r.end());
    p.rmin = *lo;
    p.rmax = *hi;
    p.sc = p.rmax - p.rmin;
    p.gt = p.rmin + p.sc / 2;
    if (p.sc <= 0)
        return;

    int n = (int)r.size();
    // The exact room first: grown step by step, the table of a noisy profile
    // passes the size that the allocator maps and unmaps on every call.
    size_t runs = 1;
    for (int i = 0; i + 1 < n; i++)
        runs += (r[i] <= p.gt) != (r[i + 1] <= p.gt);
    p.elements.reserve(runs);
    int first = 0;
    for (int i = 0; i < n; i++) {
        bool bar = r[i] <= p.gt;
        if (i + 1 < n && (r[i + 1] <= p.gt) == bar)
            continue;
        element e;
        e.bar = bar;
        e.first = first;
        e.last = i;
        auto span = r.subspan((size_t)first, (size_t)(i - first + 1));
        auto ext =
            bar ? std::min_element(span.begin(), span.end()) : std::max_element(span.begin(), span.end());
        e.at = first + (int)(ext - span.begin());
        e.extreme = *ext;
        e.ern = non_uniformity(span.data(), span.size(), bar);
        p.elements.push_back(e);
        first = i + 1;
    }

    auto &el = p.elements;
    el.front().start = -0.5;
    el.back().end = n - 0.5;
    for (size_t k = 0; k + 1 < el.size(); k++) {
        double level = (el[k].extreme + el[k + 1].extreme) / 2;
        double edge = midpoint_edge(r, el[k].at, el[k + 1].at, el[k].last, level, !el[k].bar);
        el[k].end = edge;
        el[k + 1].start = edge;
    }
}

double edge_contrast_min(const profile &p, size_t from, size_t to) {
    if (to <= from || to >= p.elements.size())
        return 0;
    double ec = 1;
    for (size_t k = from; k < to; k++)
        ec = std::min(ec, std::abs(p.elements[k].extreme - p.elements[k + 1].extreme));
    return ec;
}

double ern_max(const profile &p, size_t from, size_t to) {
    double ern = 0;
    for (size_t k = from; k <= to && k < p.elements.size(); k++)
        ern = std::max(ern, p.elements[k].ern);
    return ern;
}

} // namespace verify
