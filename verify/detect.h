// Finding a profile's symbol: every allowed decoder, both reading
// directions, the first bar of the profile first and then every bar after
// a space wide enough to be a quiet zone.
#pragma once

#include <span>
#include <string>

#include "decoder.h"

namespace verify {

struct detection {
    bool decoded = false;
    verify_symbology_t symbology = VERIFY_NONE;
    bool reversed = false;
    // Indices of the symbol's first and last bar in the forward widths.
    int first = -1, last = -1;
    // The measured spaces before the first bar and after the last one, in
    // reading order.
    double quiet_before = 0, quiet_after = 0;
    decode_output out;
    std::string failure; // with the symbology's name in front
};

// `widths` in profile order, laid out as decode_input describes.
detection detect(std::span<const double> widths, const verify_options_t &options);

} // namespace verify
