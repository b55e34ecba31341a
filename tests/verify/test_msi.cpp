// MSI on hand-made widths: the digits, start and stop, the decodability
// rule chosen for it, and every check-digit scheme.
#include <gtest/gtest.h>

#include <iterator>

#include "verify_test.h"

using namespace verifytest;

namespace {

// Widths of an MSI symbol: quiet zone, start (wide bar, narrow space), four
// bits per digit from the highest (1: wide bar, narrow space; 0: narrow
// bar, wide space), stop (narrow bar, wide space, narrow bar), quiet zone.
// Narrow 4, wide 8; quiet zones of 48 (12 X).
std::vector<int> msi(const std::string &digits, int quiet = 48) {
    std::vector<int> w = {quiet, 8, 4};
    for (char c : digits)
        for (int bit = 3; bit >= 0; bit--) {
            bool one = (c - '0') >> bit & 1;
            w.push_back(one ? 8 : 4);
            w.push_back(one ? 4 : 8);
        }
    w.insert(w.end(), {4, 8, 4, quiet});
    return w;
}

verify_options_t msi_only(int check = VERIFY_CHECK_NONE, int scheme = VERIFY_MSI_MOD10) {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(VERIFY_MSI);
    o.check = check;
    o.msi_check = scheme;
    return o;
}

TEST(VerifyMsi, KnownAnswers) {
    struct row {
        const char *what;
        std::vector<int> widths;
        int check, scheme;
        std::string symbol;
        double decodability, quiet_grade;
        const char *failure;
    };
    // The first bar of "1" made 5: narrow mean 4.25, RT 6.125, K 1.125 over
    // a half distance of 1.875: V 0.6. X grows to (4.25 + 4)/2, whose 12 X
    // take 49.5 samples: quiet zones of 60.
    std::vector<int> slack = msi("12", 60);
    slack[3] = 5;
    std::vector<int> short_quiet = msi("12");
    short_quiet.front() = 47;
    // 1010 is no digit.
    std::vector<int> ten = msi("12");
    ten[3] = 8, ten[4] = 4, ten[7] = 8, ten[8] = 4; // "1" (0001) becomes 1011
    static const row rows[] = {
        {"digits", msi("0123456789"), VERIFY_CHECK_NONE, 0, "]M00123456789", 1, 4, ""},
        {"one slack bar", slack, VERIFY_CHECK_NONE, 0, "]M012", 0.6, 4, ""},
        {"short quiet zone", short_quiet, VERIFY_CHECK_NONE, 0, "]M012", 1, 0, ""},
        {"not a digit", ten, VERIFY_CHECK_NONE, 0, "", 0, 0, "digit 1 is not an MSI digit"},
        // Modulo 10 of 123456: 246 doubled is 492, 4 + 9 + 2 + 1 + 3 + 5 = 24: 6.
        {"mod 10 kept", msi("1234566"), VERIFY_CHECK_TRANSMIT, VERIFY_MSI_MOD10, "]M01234566", 1, 4, ""},
        {"mod 10 stripped", msi("1234566"), VERIFY_CHECK_STRIP, VERIFY_MSI_MOD10, "]M1123456", 1, 4, ""},
        {"mod 10 wrong", msi("1234567"), VERIFY_CHECK_TRANSMIT, VERIFY_MSI_MOD10, "", 0, 0,
         "wrong check digits"},
        // Then over 1234566: 1356 doubled is 2712, digit sum 12, plus
        // 2 + 4 + 6 makes 24: 6.
        {"mod 10 twice", msi("12345666"), VERIFY_CHECK_STRIP, VERIFY_MSI_MOD10_MOD10, "]M1123456", 1, 4, ""},
        // Modulo 11, weights 2 to 7 from the right: 6*2 + 5*3 + 4*4 + 3*5 +
        // 2*6 + 1*7 = 77, 77 mod 11 = 0: check 0.
        {"mod 11", msi("1234560"), VERIFY_CHECK_STRIP, VERIFY_MSI_MOD11, "]M1123456", 1, 4, ""},
        // 6*2 = 12, 12 mod 11 = 1: check 10, written "10".
        {"mod 11 of 10", msi("610"), VERIFY_CHECK_STRIP, VERIFY_MSI_MOD11, "]M16", 1, 4, ""},
        {"mod 11 of 10 kept", msi("610"), VERIFY_CHECK_TRANSMIT, VERIFY_MSI_MOD11, "]M0610", 1, 4, ""},
        // Then modulo 10 over 1234560: 0 5 3 1 -> 1350*2 = 2700, 9, plus
        // 6 + 4 + 2 = 21: 9.
        {"mod 11 and 10", msi("12345609"), VERIFY_CHECK_STRIP, VERIFY_MSI_MOD11_MOD10, "]M1123456", 1, 4, ""},
        // Weights 2 to 9 on 123456789: 9*2 + 8*3 + 7*4 + 6*5 + 5*6 + 4*7 +
        // 3*8 + 2*9 + 1*2 = 202, 202 mod 11 = 4: check 7 (weights 2 to 7
        // give 9*2 + 8*3 + 7*4 + 6*5 + 5*6 + 4*7 + 3*2 + 2*3 + 1*4 = 174,
        // mod 11 = 9: check 2).
        {"mod 11 NCR", msi("1234567897"), VERIFY_CHECK_STRIP, VERIFY_MSI_MOD11_NCR, "]M1123456789", 1, 4, ""},
        {"mod 11 IBM", msi("1234567892"), VERIFY_CHECK_STRIP, VERIFY_MSI_MOD11, "]M1123456789", 1, 4, ""},
        {"NCR is not IBM", msi("1234567892"), VERIFY_CHECK_STRIP, VERIFY_MSI_MOD11_NCR, "", 0, 0,
         "wrong check digits"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        verify_options_t o = msi_only(r.check, r.scheme);
        auto scan = grade(draw(r.widths), &o);
        expect_read(*scan, VERIFY_MSI, r.symbol, r.decodability, r.quiet_grade, r.failure);
    }
}

TEST(VerifyMsi, AutoDetectionLeavesOtherSymbologiesAlone) {
    // MSI comes last: a Code 39 symbol never reads as MSI, and an MSI
    // symbol is found among all symbologies.
    auto scan = grade(draw(msi("1234566")));
    EXPECT_EQ(symbol_of(*scan), "]M01234566") << scan->failure;
    EXPECT_EQ(scan->symbology, VERIFY_MSI);
}

} // namespace
