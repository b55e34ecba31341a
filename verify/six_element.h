// Symbologies of six-element characters (Code 128, Code 93): characters
// found by their four similar-edge sums through a table built at compile
// time from their module widths, and a symbol read from its start
// character to its stop character and the termination bar after it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "decoder.h"
#include "similar_edge.h"

namespace verify {

constexpr int six_elements = 6;

// A character's widths written as a decimal number, one digit per element
// from the first bar: 212222 is bar 2, space 1, bar 2...
constexpr int element_width(uint32_t pattern, int element) {
    for (int k = element; k < six_elements - 1; k++)
        pattern /= 10;
    return (int)(pattern % 10);
}

// The four sums packed three bits each; -1 when one does not fit.
constexpr int edge_key(const int *sums) {
    int key = 0;
    for (int k = 0; k < six_elements - 2; k++) {
        if (sums[k] < 0 || sums[k] > 7)
            return -1;
        key = key << 3 | sums[k];
    }
    return key;
}

using edge_index = std::array<int8_t, 1 << 12>;

// Each key's character value, -1 where no character has those sums.
template <size_t N> constexpr edge_index make_edge_index(const std::array<uint32_t, N> &patterns) {
    static_assert(N <= 127);
    edge_index index{};
    for (auto &v : index)
        v = -1;
    for (size_t c = 0; c < N; c++) {
        int sums[six_elements - 2];
        for (int k = 0; k < six_elements - 2; k++)
            sums[k] = element_width(patterns[c], k) + element_width(patterns[c], k + 1);
        index[(size_t)edge_key(sums)] = (int8_t)c;
    }
    return index;
}

// Whether no two characters share their sums.
template <size_t N> constexpr bool distinct_sums(const std::array<uint32_t, N> &patterns) {
    edge_index index = make_edge_index(patterns);
    size_t found = 0;
    for (auto v : index)
        found += v >= 0;
    return found == N;
}

// Measures six widths of a character of `modules` modules and finds it:
// its value, or -1.
int read_six(const double *w, int modules, const edge_index &index, similar_edge_char &c);

// What tells a symbology's symbols apart.
struct six_element_symbology {
    const char *name;        // "Code 128"
    int modules;             // of a character
    int termination_modules; // of the bar after the stop character
    const edge_index *index;
    int start_min, start_max; // start characters' values
    int stop;                 // the stop character's value
    // A further check of a character's widths (Code 128's bar sum):
    // nullptr when it passes, else what failed ("fails the bar-sum
    // check"). nullptr: no such check.
    const char *(*self_check)(const double *w, const similar_edge_char &c, int value);
};

struct six_element_symbol {
    int start = -1;              // the start character's value
    std::vector<uint8_t> values; // the characters between start and stop
    double decodability = 1;     // the lowest character's, the termination bar's margin included
    double module = 0;           // X: the symbol's width over its modules
};

// Reads the characters from the start character whose first bar is
// w[start] to the stop character; its termination bar, measured edge to
// similar edge with the stop's last space, is out.last. false with the
// reason in out when there is no such symbol. A start character inside the
// symbol fails it.
bool read_six_element_symbol(const six_element_symbology &s, std::span<const double> w, int start,
                             six_element_symbol &symbol, decode_output &out);

} // namespace verify
