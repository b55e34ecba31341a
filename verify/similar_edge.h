// Characters of (n,k) symbologies (EAN/UPC, Code 128, Code 93, DataBar)
// measured edge to similar edge, and their decodability.
#pragma once

#include <array>

namespace verify {

constexpr int max_similar_edge_elements = 10;

struct similar_edge_char {
    // E_i for each pair of adjoining elements: the whole number of modules
    // nearest to e_i = w_i + w_(i+1) measured in modules of p/n.
    std::array<int, max_similar_edge_elements - 1> sums{};
    int count = 0;           // number of sums: elements - 2
    double module = 0;       // p/n: the character's width over its module count
    double decodability = 0; // the lowest 1 - 2 |e_i - E_i p/n| / (p/n)
};

// Measures a character of `elements` widths (2k of them, bar first or
// space first) that spans `modules` modules: p is the sum of the widths;
// e_i = w_i + w_(i+1) for i = 0 .. elements - 3; E_i = j where
// (j - 0.5) p/n <= e_i < (j + 0.5) p/n. false when p is not positive or the
// counts are out of range.
bool measure_similar_edges(const double *widths, int elements, int modules, similar_edge_char &out);

} // namespace verify
