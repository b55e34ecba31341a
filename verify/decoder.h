// The decoders' interface: what a symbology's reference decode receives and
// what it returns, and the table through which the engine finds the
// symbology of a profile.
//
// How to add a symbology:
//  1. Write verify/<family>.cpp with a function of the type decode_fn. It
//     reads one symbol whose first bar is widths[start] in the reading order
//     it is given (the engine calls it for both directions), and returns
//     true with every field of decode_output filled, or false with a failure
//     reason and how far it got. It keeps no state and allocates nothing it
//     does not free.
//  2. Declare its decoder object below and add a row to the table in
//     decoders.cpp; the row's place sets the order of auto-detection.
//  3. Use two_width.h (a reference threshold per character) or
//     similar_edge.h (edge-to-similar-edge measurements) for the character
//     widths and the decodability, so that every symbology of a kind is read
//     and graded the same way.
//  4. Add known-answer rows to tests/verify and a peer row to the
//     cross-check harness (tests/verify/peer_cases.cpp).
#pragma once

#include <kestrel/verify.h>

#include <span>
#include <string>

namespace verify {

// One reading direction of a profile's elements: widths in samples, edge
// to edge. Even indices are spaces and odd indices bars; the first and the
// last element are spaces (the light regions at the ends of the profile,
// of width 0 when the profile begins or ends in a bar). A symbol's
// quiet zones are the spaces just before its first and after its last bar.
struct decode_input {
    std::span<const double> widths;
    const verify_options_t &options;
};

struct decode_output {
    std::string identifier;  // "]A0": "]", the identifier letter, the modifier
    std::string data;        // the data as transmitted after the identifier
    double decodability = 0; // V of the symbology's reference decode, 0..1
    int last = 0;            // index of the symbol's last bar in widths
    double module = 0;       // X-dimension in samples
    // Least widths, in samples, that the symbology asks of the space before
    // the first bar and after the last one.
    double quiet_before = 0, quiet_after = 0;
    // On failure: why, and the index of the element where it stopped (the
    // engine reports the reason of the decoder that got furthest).
    std::string failure;
    int reached = 0;
};

// Reads the symbol whose first bar is widths[start] (start is odd).
using decode_fn = bool (*)(const decode_input &in, int start, decode_output &out);

struct decoder {
    verify_symbology_t symbology;
    decode_fn decode;
};

extern const decoder code39_decoder;
extern const decoder itf_decoder;
extern const decoder codabar_decoder;
extern const decoder msi_decoder;
extern const decoder databar_decoder;
extern const decoder ean_upc_decoder;
extern const decoder code128_decoder;
extern const decoder code93_decoder;

// The decoders in the order auto-detection tries them.
std::span<const decoder *const> decoder_table();

// Shorthand for a failed decode.
inline bool decode_failure(decode_output &out, int reached, std::string why) {
    out.failure = std::move(why);
    out.reached = reached;
    return false;
}

} // namespace verify
