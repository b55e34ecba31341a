// Reading a symbol of six-element characters from its start character to
// its termination bar.
#include "six_element.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace verify {

int read_six(const double *w, int modules, const edge_index &index, similar_edge_char &c) {
    if (!measure_similar_edges(w, six_elements, modules, c))
        return -1;
    int key = edge_key(c.sums.data());
    return key < 0 ? -1 : index[(size_t)key];
}

namespace {

// The character whose first bar is w[i]: its value, or -1 with the reason
// in out (`position` counts from 1 at the start character).
int read_char(const six_element_symbology &s, std::span<const double> w, int i, int position,
              similar_edge_char &c, decode_output &out) {
    // The last element of a character is a space; a bar must follow it.
    if (i + six_elements > (int)w.size() - 1) {
        decode_failure(out, i, position == 1 ? "no start character" : "no stop character");
        return -1;
    }
    int value = read_six(&w[(size_t)i], s.modules, *s.index, c);
    const char *failed = value < 0 ? "" : s.self_check ? s.self_check(&w[(size_t)i], c, value) : nullptr;
    if (!failed)
        return value;
    if (position == 1)
        decode_failure(out, i, "no start character");
    else if (value < 0)
        decode_failure(out, i,
                       "symbol character " + std::to_string(position) + " is not a " + s.name + " character");
    else
        decode_failure(out, i, "symbol character " + std::to_string(position) + " " + failed);
    return -1;
}

} // namespace

bool read_six_element_symbol(const six_element_symbology &s, std::span<const double> w, int start,
                             six_element_symbol &symbol, decode_output &out) {
    similar_edge_char c;
    symbol = six_element_symbol();
    symbol.start = read_char(s, w, start, 1, c, out);
    if (symbol.start < 0)
        return false;
    if (symbol.start < s.start_min || symbol.start > s.start_max)
        return decode_failure(out, start, "no start character");
    symbol.decodability = c.decodability;
    int i = start + six_elements;
    for (;; i += six_elements) {
        int value = read_char(s, w, i, (int)symbol.values.size() + 2, c, out);
        if (value < 0)
            return false;
        symbol.decodability = std::min(symbol.decodability, c.decodability);
        if (value == s.stop)
            break;
        if (value >= s.start_min && value <= s.start_max)
            return decode_failure(out, i, "a start character inside the symbol");
        symbol.values.push_back((uint8_t)value);
    }

    // The termination bar, then a space: the stop's last space and the bar
    // measured edge to similar edge at the stop's module; its margin counts
    // in the decodability.
    int bar = i + six_elements;
    if (bar + 1 > (int)w.size() - 1)
        return decode_failure(out, i, "no termination bar");
    double e = (w[(size_t)bar - 1] + w[(size_t)bar]) / c.module;
    if (std::lround(e) != 1 + s.termination_modules)
        return decode_failure(out, i, "no termination bar after the stop character");
    symbol.decodability = std::min(symbol.decodability, 1 - 2 * std::abs(e - (1 + s.termination_modules)));
    out.last = bar;

    double span = 0;
    for (int k = start; k <= bar; k++)
        span += w[(size_t)k];
    symbol.module = span / (s.modules * ((int)symbol.values.size() + 2) + s.termination_modules);
    return true;
}

} // namespace verify
