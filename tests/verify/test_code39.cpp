// Code 39 reference decode on hand-made element widths: the character
// table, decodability and quiet zones worked out by hand, the check
// character, the inter-character gap limit, start/stop characters.
#include <gtest/gtest.h>

#include <iterator>

#include "verify_test.h"

using namespace verifytest;

namespace {

// The published Code 39 table: bar, space, bar... bar; n narrow, w wide.
struct code39_char {
    char c;
    const char *elements;
};
const code39_char code39_table[] = {
    {'0', "nnnwwnwnn"}, {'1', "wnnwnnnnw"}, {'2', "nnwwnnnnw"}, {'3', "wnwwnnnnn"}, {'4', "nnnwwnnnw"},
    {'5', "wnnwwnnnn"}, {'6', "nnwwwnnnn"}, {'7', "nnnwnnwnw"}, {'8', "wnnwnnwnn"}, {'9', "nnwwnnwnn"},
    {'A', "wnnnnwnnw"}, {'B', "nnwnnwnnw"}, {'C', "wnwnnwnnn"}, {'D', "nnnnwwnnw"}, {'E', "wnnnwwnnn"},
    {'F', "nnwnwwnnn"}, {'G', "nnnnnwwnw"}, {'H', "wnnnnwwnn"}, {'I', "nnwnnwwnn"}, {'J', "nnnnwwwnn"},
    {'K', "wnnnnnnww"}, {'L', "nnwnnnnww"}, {'M', "wnwnnnnwn"}, {'N', "nnnnwnnww"}, {'O', "wnnnwnnwn"},
    {'P', "nnwnwnnwn"}, {'Q', "nnnnnnwww"}, {'R', "wnnnnnwwn"}, {'S', "nnwnnnwwn"}, {'T', "nnnnwnwwn"},
    {'U', "wwnnnnnnw"}, {'V', "nwwnnnnnw"}, {'W', "wwwnnnnnn"}, {'X', "nwnnwnnnw"}, {'Y', "wwnnwnnnn"},
    {'Z', "nwwnwnnnn"}, {'-', "nwnnnnwnw"}, {'.', "wwnnnnwnn"}, {' ', "nwwnnnwnn"}, {'$', "nwnwnwnnn"},
    {'/', "nwnwnnnwn"}, {'+', "nwnnnwnwn"}, {'%', "nnnwnwnwn"}, {'*', "nwnnwnwnn"},
};
static_assert(std::size(code39_table) == 44, "43 characters and the start/stop character");

std::string elements_of(char c) {
    for (const auto &e : code39_table)
        if (e.c == c)
            return e.elements;
    ADD_FAILURE() << "no Code 39 character " << c;
    return "";
}

// Widths of "*text*": narrow 4, wide 10, gaps 4, quiet zones 40 (10 X).
std::vector<int> code39(const std::string &text, int narrow = 4, int wide = 10, int gap = 4, int quiet = 40) {
    std::vector<std::string> chars;
    for (char c : "*" + text + "*")
        chars.push_back(elements_of(c));
    return two_width_widths(chars, narrow, wide, gap, quiet);
}

verify_options_t code39_only(int check = VERIFY_CHECK_NONE) {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(VERIFY_CODE39);
    o.check = check;
    return o;
}

TEST(VerifyCode39, EveryCharacterOfTheTable) {
    // Each character alone between start and stop; a swapped pair of
    // patterns reads as the other character.
    verify_options_t o = code39_only();
    for (const auto &e : code39_table) {
        if (e.c == '*')
            continue;
        auto scan = grade(draw(code39(std::string(1, e.c))), &o);
        EXPECT_EQ(symbol_of(*scan), std::string("]A0") + e.c) << "character " << e.c << ": " << scan->failure;
    }
    // The start/stop character itself: "**" is an empty symbol.
    auto scan = grade(draw(code39("")), &o);
    EXPECT_EQ(symbol_of(*scan), "]A0") << scan->failure;
}

TEST(VerifyCode39, CheckCharacterValuesFollowTheTableOrder) {
    // The check of one character is the character itself (its value mod
    // 43), so "cc" verifies for every c exactly when the values run 0 to 42
    // in the order 0-9, A-Z, "-", ".", " ", "$", "/", "+", "%".
    const std::string order = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
    verify_options_t o = code39_only(VERIFY_CHECK_TRANSMIT);
    for (char c : order) {
        auto scan = grade(draw(code39(std::string(2, c))), &o);
        EXPECT_EQ(symbol_of(*scan), std::string("]A1") + c + c) << "character " << c << ": " << scan->failure;
    }
    // "%" (42) and "1" (1): 43 mod 43 is 0.
    auto scan = grade(draw(code39("%10")), &o);
    EXPECT_EQ(symbol_of(*scan), "]A1%10") << scan->failure;
}

TEST(VerifyCode39, KnownAnswers) {
    struct row {
        const char *what;
        std::vector<int> widths;
        int check;
        std::string symbol;  // "" when it must not decode
        double decodability; // by hand
        double quiet_grade;  // 4 pass, 0 fail
        double module;       // X: the mean of the characters' narrow means
        const char *failure; // part of the reason when it does not decode
    };
    // A's first narrow space (element 2 of the character, index 12 in the
    // widths: quiet, nine of "*", gap, then A's bar and space) made 5 wide:
    // narrow mean (5*4 + 5)/6 = 25/6, wide 10, RT = 85/12, K = 85/12 - 5 =
    // 25/12, half distance (10 - 25/6)/2 = 35/12: V = 25/35 = 5/7.
    // X grows to (8 + 25/6)/3, so its quiet zones are 45 samples.
    std::vector<int> wider_space = code39("A", 4, 10, 4, 45);
    wider_space[12] = 5;
    // Quiet zones: X = 4 needs 40 samples.
    std::vector<int> short_left = code39("A"), short_right = code39("A");
    short_left.front() = 39;
    short_right.back() = 38;
    // Check character of "AB": 10 + 11 = 21, "L".
    // Gap limit: 5.3 times the mean narrow width 4 is 21.2.
    std::vector<int> gap_21 = code39("AB"), gap_22 = code39("AB");
    gap_21[20] = 21;
    gap_22[20] = 22;
    // Wide 8 instead of 10: RT = 6, V = 1 still (K = 2 over half of 4).
    static const row rows[] = {
        {"clean", code39("KESTREL"), VERIFY_CHECK_NONE, "]A0KESTREL", 1.0, 4, 4, ""},
        {"ratio 2", code39("AB", 4, 8), VERIFY_CHECK_NONE, "]A0AB", 1.0, 4, 4, ""},
        {"X of 6", code39("AB", 6, 15, 6, 60), VERIFY_CHECK_NONE, "]A0AB", 1.0, 4, 6, ""},
        {"one wider space", wider_space, VERIFY_CHECK_NONE, "]A0A", 5.0 / 7, 4, (8 + 25.0 / 6) / 3, ""},
        {"left quiet zone 39", short_left, VERIFY_CHECK_NONE, "]A0A", 1.0, 0, 4, ""},
        {"right quiet zone 38", short_right, VERIFY_CHECK_NONE, "]A0A", 1.0, 0, 4, ""},
        {"check transmitted", code39("ABL"), VERIFY_CHECK_TRANSMIT, "]A1ABL", 1.0, 4, 4, ""},
        {"check stripped", code39("ABL"), VERIFY_CHECK_STRIP, "]A3AB", 1.0, 4, 4, ""},
        {"check not asked", code39("ABM"), VERIFY_CHECK_NONE, "]A0ABM", 1.0, 4, 4, ""},
        {"wrong check", code39("ABM"), VERIFY_CHECK_TRANSMIT, "", 0, 0, 0, "check character M, expected L"},
        {"gap of 21", gap_21, VERIFY_CHECK_NONE, "]A0AB", 1.0, 4, 4, ""},
        {"gap of 22", gap_22, VERIFY_CHECK_NONE, "", 0, 0, 0, "the gap after character 2 is too wide"},
        {"stop inside", code39("A*B"), VERIFY_CHECK_NONE, "", 0, 0, 0,
         "a start/stop character inside the symbol"},
        {"no stop", two_width_widths({elements_of('*'), elements_of('A')}, 4, 10, 4, 40), VERIFY_CHECK_NONE,
         "", 0, 0, 0, "no stop character"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        verify_options_t o = code39_only(r.check);
        auto scan = grade(draw(r.widths), &o);
        if (expect_read(*scan, VERIFY_CODE39, r.symbol, r.decodability, r.quiet_grade, r.failure)) {
            EXPECT_FALSE(scan->reversed);
            EXPECT_NEAR(scan->module, r.module, 1e-9);
        }
    }
}

TEST(VerifyCode39, ReadBackwards) {
    std::vector<int> w = code39("R2D2");
    std::vector<int> back(w.rbegin(), w.rend());
    auto scan = grade(draw(back));
    EXPECT_EQ(symbol_of(*scan), "]A0R2D2") << scan->failure;
    EXPECT_TRUE(scan->reversed);
    EXPECT_EQ(scan->symbology, VERIFY_CODE39);
}

} // namespace
