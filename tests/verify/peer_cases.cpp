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

const std::string digits = "0123456789";

// Interleaved 2 of 5: an even count of 6 to 16 digits (zint would put a 0
// in front of an odd count).
std::string itf_data(std::mt19937 &random) {
    std::string s = random_text(random, digits, 6, 16);
    return s.size() % 2 ? s.substr(1) : s;
}

// ITF-14: 13 digits, to which zint adds the GS1 check digit.
std::string itf14_data(std::mt19937 &random) { return random_text(random, digits, 13, 13); }

// Codabar: a start and a stop character of A to D around 3 to 12 data
// characters (ZXingReader reads none shorter).
std::string codabar_data(std::mt19937 &random) {
    const std::string ends = "ABCD";
    return random_text(random, ends, 1, 1) + random_text(random, "0123456789-$:/.+", 3, 12) +
           random_text(random, ends, 1, 1);
}

// Codabar compared without its start and stop characters, which
// ZXingReader leaves out.
std::string codabar_comparable(const std::string &symbol) {
    std::string s = symbol;
    if (s.size() > 3 && s[3] >= 'A' && s[3] <= 'D')
        s.erase(3, 1);
    if (s.size() > 3 && s.back() >= 'A' && s.back() <= 'D')
        s.pop_back();
    return s;
}

// MSI: 1 to 12 digits. zint prints them with their check digits.
std::string msi_data(std::mt19937 &random) { return random_text(random, digits, 1, 12); }
std::string msi_printed(const std::string &, const std::string &printed) { return "]M0" + printed; }
std::string msi_stripped(const std::string &data, const std::string &) { return "]M1" + data; }

verify_options_t msi_checked(int check, int scheme) {
    verify_options_t o = only(VERIFY_MSI);
    o.check = check;
    o.msi_check = scheme;
    return o;
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
        {"ITF", {"-b", "C25INTER"}, itf_data, "ITF", "i25", nullptr, nullptr, verify_options_t{}},
        {"ITF14", {"-b", "ITF14"}, itf14_data, "ITF", "i25", nullptr, nullptr, verify_options_t{}},
        {"Codabar",
         {"-b", "CODABAR"},
         codabar_data,
         "Codabar",
         "codabar",
         codabar_comparable,
         nullptr,
         verify_options_t{}},
        // MSI: no peer reads it; zint's data and printed check digits say
        // what the engine must read, with each check-digit scheme verified.
        {"MSI", {"-b", "MSI_PLESSEY"}, msi_data, nullptr, nullptr, nullptr, msi_printed, verify_options_t{}},
        {"MSIMod10",
         {"-b", "MSI_PLESSEY", "--vers=1"},
         msi_data,
         nullptr,
         nullptr,
         nullptr,
         msi_printed,
         msi_checked(VERIFY_CHECK_TRANSMIT, VERIFY_MSI_MOD10)},
        {"MSIMod10Mod10",
         {"-b", "MSI_PLESSEY", "--vers=2"},
         msi_data,
         nullptr,
         nullptr,
         nullptr,
         msi_stripped,
         msi_checked(VERIFY_CHECK_STRIP, VERIFY_MSI_MOD10_MOD10)},
        {"MSIMod11",
         {"-b", "MSI_PLESSEY", "--vers=3"},
         msi_data,
         nullptr,
         nullptr,
         nullptr,
         msi_printed,
         msi_checked(VERIFY_CHECK_TRANSMIT, VERIFY_MSI_MOD11)},
        {"MSIMod11Mod10",
         {"-b", "MSI_PLESSEY", "--vers=4"},
         msi_data,
         nullptr,
         nullptr,
         nullptr,
         msi_stripped,
         msi_checked(VERIFY_CHECK_STRIP, VERIFY_MSI_MOD11_MOD10)},
        {"MSIMod11NCR",
         {"-b", "MSI_PLESSEY", "--vers=5"},
         msi_data,
         nullptr,
         nullptr,
         nullptr,
         msi_stripped,
         msi_checked(VERIFY_CHECK_STRIP, VERIFY_MSI_MOD11_NCR)},
        {"MSIMod11NCRMod10",
         {"-b", "MSI_PLESSEY", "--vers=6"},
         msi_data,
         nullptr,
         nullptr,
         nullptr,
         msi_printed,
         msi_checked(VERIFY_CHECK_TRANSMIT, VERIFY_MSI_MOD11_NCR_MOD10)},
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
