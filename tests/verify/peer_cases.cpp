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

// DataBar: 13 digits, to which zint adds the GTIN check digit.
std::string databar_data(std::mt19937 &random) { return random_text(random, "0123456789", 13, 13); }

// DataBar without the "01" that the engine and zbarimg send in front of the
// 14 digits and ZXingReader leaves out.
std::string databar_comparable(const std::string &symbol) {
    if (symbol.size() == 19 && symbol.compare(0, 5, "]e001") == 0)
        return "]e0" + symbol.substr(5);
    return symbol;
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
        {"DataBar",
         {"-b", "DBAR_OMN"},
         databar_data,
         "DataBar",
         "databar",
         databar_comparable,
         nullptr,
         verify_options_t{}},
    };
    return rows;
}

} // namespace verifytest
