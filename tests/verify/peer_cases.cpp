// The cross-check rows: one per symbology (and per variant worth its own
// row), with zint's options, random data, and the peers that read it.
#include "peer_harness.h"

namespace verifytest {

namespace {

verify_options_t only(verify_symbology_t s) {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(s);
    return o;
}

// Code 39: 1 to 10 characters of the 43; no space at either end, which
// zint's batch input would not keep.
std::string code39_data(std::mt19937 &random) {
    std::string s = random_text(random, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%", 1, 10);
    if (s.front() == ' ')
        s.front() = 'K';
    if (s.back() == ' ')
        s.back() = '7';
    return s;
}

} // namespace

const std::vector<peer_case> &peer_cases() {
    static const std::vector<peer_case> rows = {
        {"Code39", {"-b", "CODE39"}, code39_data, "Code39", "code39", nullptr, nullptr, verify_options_t{}},
        {"Code39Forced",
         {"-b", "CODE39"},
         code39_data,
         "Code39",
         "code39",
         nullptr,
         nullptr,
         only(VERIFY_CODE39)},
    };
    return rows;
}

} // namespace verifytest
