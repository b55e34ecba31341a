// Scan reflectance profile parameters: Rmin, Rmax, symbol contrast, the
// global threshold, the elements with their edges, reflectances and
// non-uniformity, and the edge contrast and defects over a run of elements.
#pragma once

#include <span>
#include <vector>

namespace verify {

// A run of samples on one side of the global threshold: a bar at or below
// it, a space above it. Positions are in samples, sample i centred on i.
struct element {
    bool bar = false;
    int first = 0, last = 0; // the samples it holds
    int at = 0;              // the sample of its extreme
    double start = 0, end = 0;
    double extreme = 0; // Rb (lowest) of a bar, Rs (highest) of a space
    double ern = 0;     // element reflectance non-uniformity
    double width() const { return end - start; }
};

struct profile {
    double rmin = 0, rmax = 0;
    double sc = 0; // Rmax - Rmin
    double gt = 0; // Rmin + SC/2
    std::vector<element> elements;
};

// Measures a profile of reflectances: extremes, threshold and elements.
// Without contrast there are no elements.
void measure(std::span<const double> r, profile &p);

// Smallest Rs - Rb of adjoining elements among elements[from..to], and the
// largest non-uniformity there. 0 with fewer than two elements.
double edge_contrast_min(const profile &p, size_t from, size_t to);
double ern_max(const profile &p, size_t from, size_t to);

// Depth of the deepest valley in r[0..n) below the lower of the highest
// values on either side of it (for a bar, the same upside down): a dip in a
// space or a spot in a bar. A plain slope scores 0.
double non_uniformity(const double *r, size_t n, bool bar);

} // namespace verify
