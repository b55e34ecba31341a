// Symbols of discrete two-width symbologies (Code 39, Codabar): characters
// separated by inter-character spaces, from a start to a stop character.
#pragma once

#include <span>
#include <string>

#include "decoder.h"
#include "two_width.h"

namespace verify {

struct discrete_symbology {
    const char *name; // for the failure reasons: "Code 39"
    int elements;     // per character
    // The character of `elements` widths, 0 when they are none; `c` gets
    // its reading.
    char (*read_char)(const double *widths, two_width_char &c);
    bool (*is_start_stop)(char c);
};

struct discrete_symbol {
    std::string chars;   // start and stop characters included
    double decodability; // the lowest character's
    double module;       // the mean of the characters' narrow means
    int last;            // index of the stop character's last bar
};

// Reads characters from widths[start] on: the first must be a start
// character; the symbol ends at the next start/stop character, which must
// be followed by a space wider than the inter-character gap limit (or by
// the end of the profile). A space that wide after any other character
// breaks the symbol. false with the reason in `out`.
bool read_discrete(std::span<const double> widths, int start, const discrete_symbology &s,
                   discrete_symbol &symbol, decode_output &out);

} // namespace verify
