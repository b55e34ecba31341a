// Characters of two-width symbologies (Code 39, Interleaved 2 of 5,
// Codabar, MSI) read with a reference threshold of their own, and their
// decodability.
#pragma once

namespace verify {

// At most this many elements make one character.
constexpr int max_two_width_elements = 9;

struct two_width_char {
    unsigned pattern = 0;    // a bit per element, 1 wide; the first element in the highest bit
    double narrow = 0;       // mean width of the narrow elements
    double wide = 0;         // mean width of the wide elements
    double threshold = 0;    // the reference threshold RT
    double decodability = 0; // V = K / ((wide - narrow) / 2)
};

// Reads the n widths of one character of which `wide_count` are wide. RT
// lies midway between the mean of the wide_count widest widths and the mean
// of the others; an element wider than RT is wide. K is the margin of the
// element nearest to RT: min(RT - widest narrow, narrowest wide - RT).
// false when the widths do not split into wide_count wide elements and the
// rest (equal widths, or RT leaving another count on either side).
bool read_two_width(const double *widths, int n, int wide_count, two_width_char &out);

// The decodability of a single element of a guard pattern (start or stop
// parts outside any character) against a neighbouring character's
// threshold: its margin on the side it must be on, over the same half
// distance; negative when it lies on the wrong side.
double two_width_margin(const two_width_char &c, double width, bool wide);

} // namespace verify
