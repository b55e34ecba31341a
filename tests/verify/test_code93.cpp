// Code 93 on hand-made element widths: every character of the table, the
// shift characters, both modulo-47 check characters, the termination bar,
// decodability and quiet zones worked out by hand.
#include <gtest/gtest.h>

#include <iterator>

#include "verify_test.h"

using namespace verifytest;

namespace {

// The published table: module widths of the values 0 to 46 from the first
// bar, in the order 0-9, A-Z, "-", ".", " ", "$", "/", "+", "%", then the
// shifts ($) (%) (/) (+); and the start/stop character.
const char *const table[47] = {
    "131112", "111213", "111312", "111411", "121113", "121212", "121311", "111114", "131211", "141111",
    "211113", "211212", "211311", "221112", "221211", "231111", "112113", "112212", "112311", "122112",
    "132111", "111123", "111222", "111321", "121122", "131121", "212112", "212211", "211122", "211221",
    "221121", "222111", "112122", "112221", "122121", "123111", "121131", "311112", "311211", "321111",
    "112131", "113121", "211131", "121221", "312111", "311121", "122211",
};
const char *const start_stop = "111141";
const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
constexpr int dollar = 43, percent = 44, slash = 45, plus = 46;

// Widths of a symbol from its character values (data and the two check
// characters) between start and stop, the termination bar of 1 module
// after the stop, X samples per module, quiet zones of `quiet` modules.
std::vector<int> code93(const std::vector<int> &values, int quiet = 10, int x = 10) {
    std::vector<int> w = {quiet * x};
    auto add = [&](const char *m) {
        for (; *m; m++)
            w.push_back((*m - '0') * x);
    };
    add(start_stop);
    for (int v : values)
        add(table[v]);
    add(start_stop);
    w.push_back(x);
    w.push_back(quiet * x);
    return w;
}

verify_options_t code93_only() {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(VERIFY_CODE93);
    return o;
}

TEST(VerifyCode93, EveryCharacterOfTheTable) {
    // One character v: C = v (weight 1), K = 2v + C = 3v, modulo 47.
    verify_options_t o = code93_only();
    for (int v = 0; v < 43; v++) {
        auto scan = grade(draw(code93({v, v, 3 * v % 47})), &o);
        EXPECT_EQ(symbol_of(*scan), std::string("]G0") + alphabet[(size_t)v])
            << "value " << v << ": " << scan->failure;
    }
}

TEST(VerifyCode93, KnownAnswers) {
    struct row {
        const char *what;
        std::vector<int> widths;
        std::string symbol;  // "" when it must not decode
        double decodability; // by hand
        double quiet_grade;
        const char *failure; // part of the reason when it does not decode
    };
    // TEST93: T 29, E 14, S 28, T 29, 9, 3. C, weights 1 to 6 from the
    // right: 3 + 18 + 87 + 112 + 70 + 174 = 464 = 9 * 47 + 41 ("+"). K,
    // weights 1 to 7 over the data and C: 41 + 6 + 27 + 116 + 140 + 84 + 203
    // = 617 = 13 * 47 + 6.
    const std::vector<int> test93 = {29, 14, 28, 29, 9, 3, 41, 6};
    std::vector<int> wrong_c = test93, wrong_k = test93;
    wrong_c[6] = 40;
    wrong_k[7] = 7;
    // T (29: 211221, widths 7 to 12 after the quiet zone and the start)
    // drawn 21 9 10 20 20 10: e1 = 30 exact; e2 = 19 against 2 modules of
    // 10, V = 1 - 2*1/10 = 0.8; the rest exact.
    std::vector<int> off = code93(test93);
    off[7] += 1;
    off[8] -= 1;
    // A termination bar of 2 modules: the stop's last space and it sum to 3
    // modules where 2 are due.
    std::vector<int> thick_end = code93(test93);
    thick_end[thick_end.size() - 2] = 20;
    std::vector<int> short_quiet = code93(test93);
    short_quiet.front() = 90;
    // A to U (10 to 30), long enough for both weights to start again. C:
    // A weighs 1 again after 20, so 10 + the sum of k (31 - k) for k = 11 to
    // 30 = 10 + 3640 = 3650 = 77 * 47 + 31. K: 31 (C) weighs 1, then U to
    // H (30 to 17) 2 to 15 and G to A (16 to 10) 1 to 7: 31 + 2569 + 336 =
    // 2936 = 62 * 47 + 22.
    std::vector<int> long_symbol;
    for (int v = 10; v <= 30; v++)
        long_symbol.push_back(v);
    long_symbol.push_back(31);
    long_symbol.push_back(22);
    const row rows[] = {
        {"TEST93", code93(test93), "]G0TEST93", 1.0, 4, ""},
        {"A to U", code93(long_symbol), "]G0ABCDEFGHIJKLMNOPQRSTU", 1.0, 4, ""},
        {"X of 4", code93(test93, 10, 4), "]G0TEST93", 1.0, 4, ""},
        // (+)A is "a": C = 10 + 2*46 = 102, 8; K = 8 + 20 + 138 = 166, 25.
        {"lower case", code93({plus, 10, 8, 25}), "]G0a", 1.0, 4, ""},
        // (%)U is NUL: C = 30 + 88 = 118, 24; K = 24 + 60 + 132 = 216, 28.
        {"NUL", code93({percent, 30, 24, 28}), std::string("]G0\0", 4), 1.0, 4, ""},
        // ($)M is CR: C = 22 + 86 = 108, 14; K = 14 + 44 + 129 = 187, 46.
        {"control", code93({dollar, 22, 14, 46}), "]G0\r", 1.0, 4, ""},
        // (%)E is US (31): C = 14 + 88 = 102, 8; K = 8 + 28 + 132 = 168, 27.
        {"unit separator", code93({percent, 14, 8, 27}), "]G0\x1f", 1.0, 4, ""},
        // (/)Z is ":": C = 35 + 90 = 125, 31; K = 31 + 70 + 135 = 236, 1.
        {"colon", code93({slash, 35, 31, 1}), "]G0:", 1.0, 4, ""},
        {"one sum 1 sample off", off, "]G0TEST93", 0.8, 4, ""},
        {"left quiet zone 9 X", short_quiet, "]G0TEST93", 1.0, 0, ""},
        {"wrong C", code93(wrong_c), "", 0, 0, "check character C 40, expected 41"},
        {"wrong K", code93(wrong_k), "", 0, 0, "check character K 7, expected 6"},
        // (/)P stands for nothing: C = 25 + 90 = 115, 21; K = 21 + 50 + 135 =
        // 206, 18.
        {"shift without a character", code93({slash, 25, 21, 18}), "", 0, 0,
         "a shift character and a letter that stand for no character"},
        {"thick termination bar", thick_end, "", 0, 0, "no termination bar"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        verify_options_t o = code93_only();
        auto scan = grade(draw(r.widths), &o);
        EXPECT_EQ(symbol_of(*scan), r.symbol) << scan->failure;
        if (r.symbol.empty()) {
            EXPECT_NE(std::string(scan->failure).find(r.failure), std::string::npos) << scan->failure;
            EXPECT_EQ(scan->grade, 0);
            continue;
        }
        EXPECT_EQ(scan->symbology, VERIFY_CODE93);
        EXPECT_NEAR(scan->param[VERIFY_P_DECODABILITY].value, r.decodability, 1e-9);
        EXPECT_EQ(scan->param[VERIFY_P_QUIET_ZONE].grade, r.quiet_grade);
        EXPECT_FALSE(scan->reversed);
    }
}

TEST(VerifyCode93, ReadBackwards) {
    std::vector<int> w = code93({29, 14, 28, 29, 9, 3, 41, 6});
    std::vector<int> back(w.rbegin(), w.rend());
    auto scan = grade(draw(back));
    EXPECT_EQ(symbol_of(*scan), "]G0TEST93") << scan->failure;
    EXPECT_TRUE(scan->reversed);
    EXPECT_EQ(scan->symbology, VERIFY_CODE93);
    // 10 characters of 9 modules and the termination bar, 10 samples each.
    EXPECT_NEAR(scan->module, 10, 1e-9);
}

} // namespace
