// The cross-check rows: one per symbology (and per variant worth its own
// row), with zint's options, random data, and the peers that read it.
#include "peer_harness.h"

#include <cstdio>

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

// EAN/UPC: the modulo-10 check digit of the digits before it (weights 3
// and 1 from the right).
char ean_check(const std::string &digits) {
    int sum = 0;
    for (size_t k = 0; k < digits.size(); k++)
        sum += (digits[digits.size() - 1 - k] - '0') * (k % 2 ? 1 : 3);
    return (char)('0' + (10 - sum % 10) % 10);
}

// UPC-E's eight digits (number system, six digits, check digit) as the
// UPC-A number they stand for, by the zero-suppression rules.
std::string upce_to_upca(const std::string &e) {
    const std::string d = e.substr(1, 6);
    std::string middle;
    if (d[5] <= '2')
        middle = d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3);
    else if (d[5] == '3')
        middle = d.substr(0, 3) + "00000" + d.substr(3, 2);
    else if (d[5] == '4')
        middle = d.substr(0, 4) + "00000" + d[4];
    else
        middle = d.substr(0, 5) + "0000" + d[5];
    return e.substr(0, 1) + middle + e.substr(7, 1);
}

// UPC-A and UPC-E as 13 digits: ZXingReader sends them as 12 and 8.
std::string upc13(const std::string &symbol) {
    if (symbol.compare(0, 3, "]E0") != 0)
        return symbol;
    std::string digits = symbol.substr(3);
    if (digits.size() == 12)
        return "]E00" + digits;
    if (digits.size() == 8)
        return "]E00" + upce_to_upca(digits);
    return symbol;
}

std::string random_digits(std::mt19937 &random, int count) {
    return random_text(random, "0123456789", count, count);
}

std::string ean13_data(std::mt19937 &random) { return random_digits(random, 12); }
std::string ean8_data(std::mt19937 &random) { return random_digits(random, 7); }
std::string upca_data(std::mt19937 &random) { return random_digits(random, 11); }
// UPC-E: number system 0 or 1 and six digits, in the form zint accepts:
// the digit before the last one that picks the compression is not one that
// another compression would suppress.
std::string upce_data(std::mt19937 &random) {
    for (;;) {
        std::string e = random_text(random, "01", 1, 1) + random_digits(random, 6);
        char last = e[6];
        if ((last == '3' && e[3] < '3') || (last == '4' && e[4] == '0') || (last >= '5' && e[5] == '0'))
            continue;
        return e;
    }
}

// Symbols with an add-on carry their check digit in the data (zint
// refuses a wrong one), so that the expected symbol follows from the data.
std::string addon(std::mt19937 &random) { return "+" + random_digits(random, random() % 2 ? 5 : 2); }
std::string ean13_addon_data(std::mt19937 &random) {
    std::string d = random_digits(random, 12);
    return d + ean_check(d) + addon(random);
}
std::string upca_addon_data(std::mt19937 &random) {
    std::string d = random_digits(random, 11);
    return d + ean_check(d) + addon(random);
}
std::string upce_addon_data(std::mt19937 &random) {
    std::string e = upce_data(random);
    return e + ean_check(upce_to_upca(e + "0").substr(0, 11)) + addon(random);
}
// The combined packet: 13 digits and the add-on's.
std::string combined(const std::string &data, const std::string &) {
    std::string main = data.substr(0, data.find('+')), add = data.substr(data.find('+') + 1);
    if (main.size() == 8)
        main = upce_to_upca(main);
    if (main.size() == 12)
        main = "0" + main;
    return "]E3" + main + add;
}

// A byte as zint's escape (with --esc).
std::string escaped(unsigned byte) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    return escape;
}

// No space at either end, which zint's batch input would not keep.
std::string without_end_spaces(std::string s) {
    if (s.front() == ' ')
        s.front() = 'K';
    if (s.back() == ' ')
        s.back() = '7';
    return s;
}

// Code 128: printable ASCII, runs of digits (code set C) among them.
std::string code128_data(std::mt19937 &random) {
    std::string s;
    int parts = 1 + (int)(random() % 3);
    for (int k = 0; k < parts; k++)
        s +=
            random() % 2
                ? random_text(random, "0123456789", 2, 8)
                : random_text(
                      random,
                      " !\"#$%&'()*+,-./:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`abcdefghijklmnopqrstuvwxyz{|}~",
                      1, 6);
    return without_end_spaces(s);
}

// Every byte value, written as zint's escapes: control characters (code
// set A), NUL, DEL and bytes from 128 (FNC4), single and in runs.
std::string code128_bytes_data(std::mt19937 &random) {
    std::string s;
    int n = 1 + (int)(random() % 12);
    bool high_run = random() % 3 == 0;
    for (int k = 0; k < n; k++) {
        unsigned byte = random() % 256;
        s += escaped(high_run ? byte | 0x80 : byte);
    }
    return s;
}

// GS1-128: a GTIN, then fields of fixed and variable length.
std::string gs1_128_data(std::mt19937 &random) {
    std::string s = "[01]" + random_digits(random, 14);
    int fields = (int)(random() % 3);
    for (int k = 0; k < fields; k++) {
        switch (random() % 3) {
        case 0: s += "[10]" + random_text(random, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-", 1, 8); break;
        case 1: s += "[3103]" + random_digits(random, 6); break;
        default: s += "[21]" + random_text(random, "0123456789abcdefXYZ", 1, 8); break;
        }
    }
    return s;
}

// Code 93: printable ASCII (the shift characters for all but 0-9, A-Z and
// "-. $/+%").
std::string code93_data(std::mt19937 &random) {
    return without_end_spaces(random_text(
        random,
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%abcdefghijklmnopqrstuvwxyz!\"#&'()*,:;<=>?@[]^_`{|}~", 1,
        12));
}

// Code 93 with control characters and DEL as zint's escapes.
std::string code93_control_data(std::mt19937 &random) {
    std::string s;
    int n = 1 + (int)(random() % 8);
    for (int k = 0; k < n; k++) {
        unsigned byte = random() % 3 ? random() % 32 : 127;
        s += random() % 2 ? escaped(byte) : random_text(random, "AZaz09", 1, 1);
    }
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
        {"EAN13", {"-b", "EANX"}, ean13_data, "EAN-13", "ean13", nullptr, nullptr, verify_options_t{}},
        {"EAN8", {"-b", "EANX"}, ean8_data, "EAN-8", "ean8", nullptr, nullptr, verify_options_t{}},
        {"UPCA", {"-b", "UPCA"}, upca_data, "UPC-A", "ean13", upc13, nullptr, verify_options_t{}},
        {"UPCE", {"-b", "UPCE"}, upce_data, "UPC-E", nullptr, upc13, nullptr, verify_options_t{}},
        {"EANUPCForced",
         {"-b", "EANX"},
         ean13_data,
         "EAN-13",
         "ean13",
         nullptr,
         nullptr,
         only(VERIFY_EAN_UPC)},
        // ZXingReader and zbarimg read no add-on with its symbol: zint's data is the truth.
        {"EAN13AddOn",
         {"-b", "EANX"},
         ean13_addon_data,
         nullptr,
         nullptr,
         nullptr,
         combined,
         verify_options_t{}},
        {"UPCAAddOn",
         {"-b", "UPCA"},
         upca_addon_data,
         nullptr,
         nullptr,
         nullptr,
         combined,
         verify_options_t{}},
        {"UPCEAddOn",
         {"-b", "UPCE"},
         upce_addon_data,
         nullptr,
         nullptr,
         nullptr,
         combined,
         verify_options_t{}},
        {"Code128",
         {"-b", "CODE128"},
         code128_data,
         "Code128",
         "code128",
         nullptr,
         nullptr,
         verify_options_t{}},
        // zbarimg sends bytes from 128 without FNC4's 128 and other
        // bytes than printable ones in base64: ZXingReader alone.
        {"Code128Bytes",
         {"-b", "CODE128", "--binary", "--esc"},
         code128_bytes_data,
         "Code128",
         nullptr,
         nullptr,
         nullptr,
         verify_options_t{}},
        {"GS1_128",
         {"-b", "GS1_128", "--gs1nocheck"},
         gs1_128_data,
         "Code128",
         nullptr,
         nullptr,
         nullptr,
         verify_options_t{}},
        {"Code128Forced",
         {"-b", "CODE128"},
         code128_data,
         "Code128",
         "code128",
         nullptr,
         nullptr,
         only(VERIFY_CODE128)},
        {"Code93", {"-b", "CODE93"}, code93_data, "Code93", "code93", nullptr, nullptr, verify_options_t{}},
        {"Code93Controls",
         {"-b", "CODE93", "--esc"},
         code93_control_data,
         "Code93",
         nullptr,
         nullptr,
         nullptr,
         verify_options_t{}},
        {"Code93Forced",
         {"-b", "CODE93"},
         code93_data,
         "Code93",
         "code93",
         nullptr,
         nullptr,
         only(VERIFY_CODE93)},
    };
    return rows;
}

} // namespace verifytest
