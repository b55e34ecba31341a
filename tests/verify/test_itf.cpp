// Interleaved 2 of 5 and ITF-14 on hand-made widths: digits, start and
// stop, decodability, check digits, quiet zones.
#include <gtest/gtest.h>

#include <iterator>

#include "verify_test.h"

using namespace verifytest;

namespace {

// The published digit patterns (n narrow, w wide).
const char *const itf_digits[10] = {"nnwwn", "wnnnw", "nwnnw", "wwnnn", "nnwnw",
                                    "wnwnn", "nwwnn", "nnnww", "wnnwn", "nwnwn"};

// Widths of an even count of digits: quiet zone, start nnnn, pairs
// interleaved (bars the first digit, spaces the second), stop wnn, quiet
// zone. Narrow 4, wide 12 (3:1), quiet zones 40 (10 X).
std::vector<int> itf(const std::string &digits, int quiet = 40) {
    std::vector<int> w = {quiet, 4, 4, 4, 4};
    for (size_t k = 0; k + 1 < digits.size(); k += 2)
        for (int e = 0; e < 5; e++) {
            w.push_back(itf_digits[digits[k] - '0'][e] == 'w' ? 12 : 4);
            w.push_back(itf_digits[digits[k + 1] - '0'][e] == 'w' ? 12 : 4);
        }
    w.insert(w.end(), {12, 4, 4, quiet});
    return w;
}

verify_options_t itf_only(int check = VERIFY_CHECK_NONE) {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(VERIFY_ITF);
    o.check = check;
    return o;
}

TEST(VerifyItf, EveryDigitInBothPlaces) {
    verify_options_t o = itf_only();
    for (int d = 0; d < 10; d++) {
        std::string pair = {(char)('0' + d), (char)('0' + (d + 3) % 10)};
        std::string swapped = {pair[1], pair[0]};
        for (const std::string &digits : {pair, swapped}) {
            auto scan = grade(draw(itf(digits)), &o);
            EXPECT_EQ(symbol_of(*scan), "]I0" + digits) << scan->failure;
        }
    }
}

TEST(VerifyItf, KnownAnswers) {
    struct row {
        const char *what;
        std::vector<int> widths;
        int check;
        std::string symbol; // "" when it must not decode
        double decodability;
        double quiet_grade;
        const char *failure;
    };
    // The first pair of "12" with the bar of "1" after its wide one made 6:
    // the bars' narrow mean 14/3, RT 25/3, K 7/3, half distance 11/3: V 7/11.
    // X grows to (14/3 + 4)/2: quiet zones of 45.
    std::vector<int> slack = itf("12", 45);
    slack[7] = 6;
    // A start with a wide element, and a pair with three wide bars.
    std::vector<int> bad_start = itf("12"), bad_pair = itf("12");
    bad_start[2] = 12;
    bad_pair[7] = 12;
    // X is 4: the quiet zones need 40 samples.
    std::vector<int> short_quiet = itf("12");
    short_quiet.back() = 39;
    // "123" and its GS1 check digit: 3*3 + 2 + 1*3 = 14, check 6.
    static const row rows[] = {
        {"two digits", itf("12"), VERIFY_CHECK_NONE, "]I012", 1, 4, ""},
        {"ten digits", itf("0123456789"), VERIFY_CHECK_NONE, "]I00123456789", 1, 4, ""},
        {"one slack bar", slack, VERIFY_CHECK_NONE, "]I012", 7.0 / 11, 4, ""},
        {"short quiet zone", short_quiet, VERIFY_CHECK_NONE, "]I012", 1, 0, ""},
        {"check transmitted", itf("1236"), VERIFY_CHECK_TRANSMIT, "]I11236", 1, 4, ""},
        {"check stripped", itf("1236"), VERIFY_CHECK_STRIP, "]I3123", 1, 4, ""},
        {"wrong check", itf("1235"), VERIFY_CHECK_TRANSMIT, "", 0, 0, "check digit 5, expected 6"},
        // ITF-14: 13 digits and the GS1 check digit 1 (109 by weights 3, 1).
        {"ITF-14", itf("12345678901231"), VERIFY_CHECK_NONE, "]I112345678901231", 1, 4, ""},
        {"14 digits, no check", itf("12345678901234"), VERIFY_CHECK_NONE, "]I012345678901234", 1, 4, ""},
        {"wide start element", bad_start, VERIFY_CHECK_NONE, "", 0, 0,
         "Interleaved 2 of 5: no start pattern"},
        {"three wide bars", bad_pair, VERIFY_CHECK_NONE, "", 0, 0,
         "digit 1 is not an Interleaved 2 of 5 digit"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        verify_options_t o = itf_only(r.check);
        auto scan = grade(draw(r.widths), &o);
        expect_read(*scan, VERIFY_ITF, r.symbol, r.decodability, r.quiet_grade, r.failure);
    }
}

TEST(VerifyItf, BearerBarsAroundTheQuietZones) {
    // ITF-14 is printed inside a bearer box: a scan crosses its sides, thick
    // bars 5 X wide, outside the quiet zones.
    std::vector<int> w = itf("12345678901231");
    w.front() = w.back() = 40;
    w.insert(w.begin(), {10, 20});
    w.insert(w.end(), {20, 10});
    auto scan = grade(draw(w));
    EXPECT_EQ(symbol_of(*scan), "]I112345678901231") << scan->failure;
    EXPECT_EQ(scan->param[VERIFY_P_QUIET_ZONE].grade, 4.0);
    EXPECT_EQ(scan->symbol_first, 3); // after the margin, the bearer and the quiet zone
    EXPECT_DOUBLE_EQ(scan->quiet_end[0] - scan->quiet_start[0], 40);
}

} // namespace
