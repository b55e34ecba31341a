// Readings too marginal to be trusted with their data.
#pragma once

#include <cstdio>

#include "decoder.h"
#include "grades.h"

namespace verify {

// A reading whose decodability grades 0 is refused. Its characters' sums
// lie so near the thresholds that two misread characters may still meet
// the checks (with blur that far, they do: Code 128's two checks, and
// UPC-E's and the add-ons' parity all the more), and a scan that decodes
// to other data fails a whole symbol, whereas the scan grade is 0 either
// way. True, with the reason, when refused.
inline bool too_marginal(decode_output &out, int reached, double decodability) {
    if (grade_decodability(decodability) > 0)
        return false;
    char text[80];
    std::snprintf(text, sizeof text, "decodability %.2f grades 0: too marginal to read", decodability);
    decode_failure(out, reached, text);
    return true;
}

} // namespace verify
