// EAN-13, EAN-8, UPC-A and UPC-E with add-ons on hand-made element widths:
// every digit of the three number sets, check digits, decodability and
// quiet zones worked out by hand, add-ons and their gap, and readings
// refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "verify_test.h"

using namespace verifytest;

namespace {

// The published number sets as modules (1 dark): A (odd parity), B (even
// parity), C (right half); EAN-13's parity of the left half by its first
// digit; UPC-E's parity with number system 0 by its check digit.
const char *const set_a[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                               "0110001", "0101111", "0111011", "0110111", "0001011"};
const char *const set_b[10] = {"0100111", "0110011", "0011011", "0100001", "0011101",
                               "0111001", "0000101", "0010001", "0001001", "0010111"};
const char *const set_c[10] = {"1110010", "1100110", "1101100", "1000010", "1011100",
                               "1001110", "1010000", "1000100", "1001000", "1110100"};
const char *const ean13_parity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                      "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
const char *const upce_parity_0[10] = {"BBBAAA", "BBABAA", "BBAABA", "BBAAAB", "BABBAA",
                                       "BAABBA", "BAAABB", "BABABA", "BABAAB", "BAABAB"};

std::string left_digit(char d, char parity) { return (parity == 'A' ? set_a : set_b)[d - '0']; }

// Modules of a main symbol from its digits (the check digit included).
std::string ean13(const std::string &digits, const char *parity = nullptr) {
    std::string m = "101";
    for (int k = 0; k < 6; k++)
        m += left_digit(digits[(size_t)k + 1], (parity ? parity : ean13_parity[digits[0] - '0'])[k]);
    m += "01010";
    for (int k = 7; k < 13; k++)
        m += set_c[digits[(size_t)k] - '0'];
    return m + "101";
}
std::string ean8(const std::string &digits) {
    std::string m = "101";
    for (int k = 0; k < 4; k++)
        m += set_a[digits[(size_t)k] - '0'];
    m += "01010";
    for (int k = 4; k < 8; k++)
        m += set_c[digits[(size_t)k] - '0'];
    return m + "101";
}
// UPC-E from its number system, six digits and check digit.
std::string upce(const std::string &digits) {
    std::string parity = upce_parity_0[digits[7] - '0'];
    if (digits[0] == '1')
        for (char &p : parity)
            p = p == 'A' ? 'B' : 'A';
    std::string m = "101";
    for (int k = 0; k < 6; k++)
        m += left_digit(digits[(size_t)k + 1], parity[(size_t)k]);
    return m + "010101";
}
// An add-on from its digits and their parity.
std::string addon(const std::string &digits, const std::string &parity) {
    std::string m = "1011";
    for (size_t k = 0; k < digits.size(); k++)
        m += (k ? "01" : "") + left_digit(digits[k], parity[k]);
    return m;
}

// Element widths of a row of modules between quiet zones, X samples per
// module: the left quiet zone first, then bar, space...
std::vector<int> widths(const std::string &modules, int quiet_left, int quiet_right, int x = 10) {
    std::string all = std::string((size_t)quiet_left, '0') + modules + std::string((size_t)quiet_right, '0');
    std::vector<int> w;
    for (size_t k = 0; k < all.size(); k++) {
        if (k == 0 || all[k] != all[k - 1])
            w.push_back(0);
        w.back() += x;
    }
    return w;
}

verify_options_t ean_only() {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(VERIFY_EAN_UPC);
    return o;
}

TEST(VerifyEanUpc, EveryDigitOfEachNumberSet) {
    // "1" and eleven times d: d in set A at positions 2, 3 and 5, in set B at
    // 4, 6 and 7 (parity AABABB), in set C on the right. Check digit of
    // 1 + 23 d (weights 1, then 3 and 1 from the right), by hand.
    static const char *const symbols[] = {
        "1000000000009", "1111111111116", "1222222222223", "1333333333330", "1444444444447",
        "1555555555554", "1666666666661", "1777777777778", "1888888888885", "1999999999992",
    };
    verify_options_t o = ean_only();
    for (const char *s : symbols) {
        auto scan = grade(draw(widths(ean13(s), 11, 7)), &o);
        EXPECT_EQ(symbol_of(*scan), std::string("]E0") + s) << scan->failure;
        EXPECT_NEAR(scan->param[VERIFY_P_DECODABILITY].value, 1.0, 1e-9) << s;
    }
}

TEST(VerifyEanUpc, KnownAnswers) {
    struct row {
        const char *what;
        std::vector<int> widths;
        std::string symbol;  // "" when it must not decode
        double decodability; // by hand
        double quiet_value;  // the smaller measured/required quiet zone
        double quiet_grade;
        const char *failure; // part of the reason when it does not decode
    };
    // 4006381333931: 1 + 4*... from the right 3,1,3...: 9+9+9+3+9+1+24+3+18+0+0+4
    // = 89, check 1. X = 10 samples throughout.
    const std::string gtin = "4006381333931";
    // EAN-8 00000000: its first digit 0 (set A 3211: 30 20 10 10) drawn
    // 30 22 8 10: e1 = 52 against 5 modules of 10, V = 1 - 2*2/10 = 0.6;
    // e2 = 30 exact. Elements 4 to 7 are that digit (quiet zone, guard 101).
    std::vector<int> off_by_two = widths(ean8("00000000"), 7, 7);
    off_by_two[5] = 22;
    off_by_two[6] = 8;
    // 4 samples off: V = 1 - 8/10 = 0.2, which grades 0: refused.
    std::vector<int> off_by_four = off_by_two;
    off_by_four[5] = 24;
    off_by_four[6] = 6;
    // EAN-8 11111115 (7 digits 1: 15 * 1, check 5) with its first digit
    // (set A 2221) drawn with bars 3 samples wider: 17 23 17 13. Both sums
    // stay 40, but the two bars measure 3.6 modules where 1 has 3 and 7 has
    // 5: the margin to the threshold 4 is 0.4 of a module, V = 0.4.
    std::vector<int> spread = widths(ean8("11111115"), 7, 7);
    spread[4] = 17, spread[5] = 23, spread[6] = 17, spread[7] = 13;
    // EAN-8 00000000 at X = 7 with its first digit drawn 9 X wide and its
    // second 5 X, in proportion (27 18 9 9 and 15 10 5 5): every sum exact,
    // but a digit 29 % wider than 7 X is a misread grouping, not a digit.
    std::vector<int> uneven = widths(ean8("00000000"), 7, 7, 7);
    const int nine_x[] = {27, 18, 9, 9, 15, 10, 5, 5};
    std::copy(std::begin(nine_x), std::end(nine_x), uneven.begin() + 4);
    // 12 mod 4 = 0: parity AA. 52495: 3 (5+4+5) + 9 (2+9) = 141, parity of
    // 1: BABAA.
    const std::string two = addon("12", "AA"), five = addon("52495", "BABAA");
    static const std::string gap7(7, '0'), gap12(12, '0'), gap6(6, '0'), gap13(13, '0');
    const row rows[] = {
        {"EAN-13", widths(ean13(gtin), 11, 7), "]E0" + gtin, 1.0, 1.0, 4, ""},
        {"EAN-8 96385074", widths(ean8("96385074"), 7, 7), "]E496385074", 1.0, 1.0, 4, ""},
        // UPC-A 036000291452 (check: 15+4+3+9+6+0+0+0+18+3+0 = 58, 2) with
        // its own quiet zones of 9 X: 13 digits.
        {"UPC-A", widths(ean13("0036000291452"), 9, 9), "]E00036000291452", 1.0, 1.0, 4, ""},
        // The same meets EAN-13's 11 and 7 X too.
        {"UPC-A as EAN-13", widths(ean13("0036000291452"), 11, 7), "]E00036000291452", 1.0, 1.0, 4, ""},
        // 9 and 7 X meet neither: as EAN-13 min(9/11, 7/7), as UPC-A
        // min(9/9, 7/9); the better is EAN-13's, 9/11.
        {"UPC-A short", widths(ean13("0036000291452"), 9, 7), "]E00036000291452", 1.0, 9.0 / 11, 0, ""},
        // UPC-E 0 425261 4 stands for 0 42100 00526 4 (d6 = 1: d1 d2 d6
        // 0000 d3 d4 d5; check 18+2+15+0+0+0+0+1+6+4+0 = 46, 4).
        {"UPC-E", widths(upce("04252614"), 9, 7), "]E00042100005264", 1.0, 1.0, 4, ""},
        // Number system 1: 1 234567 ... d6 = 7: 1 23456 0000 7, check
        // 21+0+0+0+0+6+15+4+9+2+3 = 60, 0.
        {"UPC-E system 1", widths(upce("12345670"), 9, 7), "]E00123456000070", 1.0, 1.0, 4, ""},
        // d6 = 3: d1 d2 d3 00000 d4 d5, 0 12300 00045, check 15+4+3+6+1 = 29, 1.
        {"UPC-E ending in 3", widths(upce("01234531"), 9, 7), "]E00012300000451", 1.0, 1.0, 4, ""},
        // d6 = 4: d1 to d4 00000 d5, 0 12340 00005, check 15+12+3+6+1 = 37, 3.
        {"UPC-E ending in 4", widths(upce("01234543"), 9, 7), "]E00012340000053", 1.0, 1.0, 4, ""},
        {"left quiet 10 X", widths(ean13(gtin), 10, 7), "]E0" + gtin, 1.0, 10.0 / 11, 0, ""},
        {"right quiet 6 X", widths(ean8("96385074"), 7, 6), "]E496385074", 1.0, 6.0 / 7, 0, ""},
        {"one sum 2 samples off", off_by_two, "]E400000000", 0.6, 1.0, 4, ""},
        {"bars of 1 spread", spread, "]E411111115", 0.4, 1.0, 4, ""},
        {"2-digit add-on 7 X away", widths(ean13(gtin) + gap7 + two, 11, 5), "]E3" + gtin + "12", 1.0, 1.0, 4,
         ""},
        {"5-digit add-on 12 X away", widths(ean13(gtin) + gap12 + five, 11, 5), "]E3" + gtin + "52495", 1.0,
         1.0, 4, ""},
        {"add-on on UPC-E", widths(upce("04252614") + gap7 + two, 9, 5),
         "]E30042100005264" + std::string("12"), 1.0, 1.0, 4, ""},
        // 13 X away it is something else: the symbol alone, quiet zone met.
        {"add-on 13 X away", widths(ean13(gtin) + gap13 + two, 11, 5), "]E0" + gtin, 1.0, 1.0, 4, ""},
        // EAN-8 is sent as its 8 digits alone.
        {"add-on on EAN-8", widths(ean8("96385074") + gap7 + two, 7, 5), "]E496385074", 1.0, 1.0, 4, ""},
        {"wrong check digit", widths(ean13("4006381333932"), 11, 7), "", 0, 0, 0,
         "check digit 2, expected 1"},
        {"parity BAAAAA", widths(ean13(gtin, "BAAAAA"), 11, 7), "", 0, 0, 0,
         "parity pattern BAAAAA of EAN-13 names no first digit"},
        {"add-on 6 X away", widths(ean13(gtin) + gap6 + two, 11, 5), "", 0, 0, 0,
         "the add-on lies 6.0 X after the symbol, closer than 7 X"},
        // 12 with the parity of 13 (AB).
        {"add-on parity", widths(ean13(gtin) + gap7 + addon("12", "AB"), 11, 5), "", 0, 0, 0,
         "2-digit add-on does not read"},
        {"decodability 0.2", off_by_four, "", 0, 0, 0, "decodability 0.20 grades 0"},
        {"digit 9 X wide", uneven, "", 0, 0, 0, "symbol character 1 of EAN-8 is not a digit"},
        {"space of 4 X", widths(ean13(gtin), 4, 7), "", 0, 0, 0,
         "no EAN/UPC start guard after a space of 5 X"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        verify_options_t o = ean_only();
        auto scan = grade(draw(r.widths), &o);
        EXPECT_EQ(symbol_of(*scan), r.symbol) << scan->failure;
        if (r.symbol.empty()) {
            EXPECT_NE(std::string(scan->failure).find(r.failure), std::string::npos) << scan->failure;
            EXPECT_EQ(scan->grade, 0);
            continue;
        }
        EXPECT_EQ(scan->symbology, VERIFY_EAN_UPC);
        EXPECT_NEAR(scan->param[VERIFY_P_DECODABILITY].value, r.decodability, 1e-9);
        EXPECT_NEAR(scan->param[VERIFY_P_QUIET_ZONE].value, r.quiet_value, 1e-9);
        EXPECT_EQ(scan->param[VERIFY_P_QUIET_ZONE].grade, r.quiet_grade);
        EXPECT_NEAR(scan->module, 10, 1e-9);
        EXPECT_FALSE(scan->reversed);
    }
}

TEST(VerifyEanUpc, ReadBackwardsWithTheAddOnFirst) {
    std::vector<int> w = widths(ean13("4006381333931") + std::string(9, '0') + addon("12", "AA"), 11, 5);
    std::vector<int> back(w.rbegin(), w.rend());
    auto scan = grade(draw(back));
    EXPECT_EQ(symbol_of(*scan), "]E3400638133393112") << scan->failure;
    EXPECT_TRUE(scan->reversed);
    EXPECT_EQ(scan->symbology, VERIFY_EAN_UPC);
    // In profile order the add-on's 5 X come first, the symbol's 11 X last.
    EXPECT_NEAR(scan->quiet_required[0], 50, 1e-9);
    EXPECT_NEAR(scan->quiet_required[1], 110, 1e-9);
}
} // namespace
