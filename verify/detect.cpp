// The decoder table and auto-detection.
#include "detect.h"

#include <algorithm>
#include <vector>

namespace verify {

namespace {

// Symbologies whose characters check themselves best come first (the
// (n,k) ones before Code 39), Interleaved 2 of 5 and then MSI, whose
// characters carry no such check, last, so that they never claim a profile
// that another one reads.
const decoder *const table[] = {
    &databar_decoder, &ean_upc_decoder, &code128_decoder, &code93_decoder,
    &code39_decoder,  &codabar_decoder, &itf_decoder,     &msi_decoder,
};

// A space counts as a possible quiet zone when it is at least this many
// times as wide as the widest of the three elements after it.
constexpr double quiet_ratio = 2;

} // namespace

std::span<const decoder *const> decoder_table() { return table; }

detection detect(std::span<const double> widths, const verify_options_t &options) {
    detection best;
    int n = (int)widths.size();
    if (n < 3) {
        best.failure = "no bars";
        return best;
    }
    std::vector<double> reversed(widths.rbegin(), widths.rend());
    std::span<const double> directions[2] = {widths, reversed};

    bool any = false;
    int furthest = -1;
    decode_output out;
    auto attempt = [&](const decoder &dec, int d, int start) {
        out = decode_output();
        if (dec.decode({directions[d], options}, start, out)) {
            best.decoded = true;
            best.symbology = dec.symbology;
            best.reversed = d == 1;
            best.first = d == 0 ? start : n - 1 - out.last;
            best.last = d == 0 ? out.last : n - 1 - start;
            best.quiet_before = directions[d][(size_t)(start - 1)];
            best.quiet_after = directions[d][(size_t)(out.last + 1)];
            best.out = std::move(out);
            best.failure.clear();
            return true;
        }
        if (out.reached - start > furthest) {
            furthest = out.reached - start;
            best.failure = std::string(verify_symbology_name(dec.symbology)) + ": " + out.failure;
        }
        return false;
    };
    auto allowed = [&](const decoder &dec) {
        return options.symbologies == 0 || (options.symbologies & VERIFY_MASK(dec.symbology)) != 0;
    };

    // The first bar in each direction for every decoder, then every bar
    // after a space that may be a quiet zone.
    for (const decoder *dec : table) {
        if (!allowed(*dec))
            continue;
        any = true;
        for (int d = 0; d < 2; d++)
            if (attempt(*dec, d, 1))
                return best;
    }
    if (!any) {
        best.failure = "no decoder for the symbologies asked for";
        return best;
    }
    // Where no decoder got past the start of a symbol, no one reason says
    // more than that.
    bool one = (options.symbologies & (options.symbologies - 1)) == 0 && options.symbologies != 0;
    if (furthest <= 0 && !one)
        best.failure = "no start of a symbol of the symbologies tried";
    for (int d = 0; d < 2; d++) {
        auto w = directions[d];
        for (int i = 3; i + 1 < n; i += 2) {
            double next = std::max({w[(size_t)i], w[(size_t)(i + 1)], w[(size_t)std::min(i + 2, n - 1)]});
            if (w[(size_t)(i - 1)] < quiet_ratio * next)
                continue;
            for (const decoder *dec : table)
                if (allowed(*dec) && attempt(*dec, d, i))
                    return best;
        }
    }
    return best;
}

} // namespace verify
