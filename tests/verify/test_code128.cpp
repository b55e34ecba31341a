// Code 128 on hand-made element widths: every character of the table,
// code sets, shifts, FNC1 and FNC4, the modulo-103 check, the bar-sum
// self-check, the termination bar, decodability and quiet zones worked out
// by hand.
#include <gtest/gtest.h>

#include <iterator>

#include "verify_test.h"

using namespace verifytest;

namespace {

// The published table: module widths of the values 0 to 106 from the
// first bar (106, the stop character, without its termination bar).
const char *const table[107] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213",
    "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132",
    "221231", "213212", "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211",
    "212123", "212321", "232121", "111323", "131123", "131321", "112313", "132113", "132311", "211313",
    "231113", "231311", "112133", "112331", "132131", "113123", "113321", "133121", "313121", "211331",
    "231131", "213113", "213311", "213131", "311123", "311321", "331121", "312113", "312311", "332111",
    "314111", "221411", "431111", "111224", "111422", "121124", "121421", "141122", "141221", "112214",
    "112412", "122114", "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",
    "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311", "113141",
    "114131", "311141", "411131", "211412", "211214", "211232", "233111",
};
constexpr int start_a = 103, start_b = 104, start_c = 105, stop = 106;
constexpr int shift = 98, fnc1 = 102, fnc4_b = 100;

// Widths of a symbol from its character values (start to check character),
// the stop character and its termination bar of 2 modules appended, X
// samples per module, quiet zones of `quiet` modules.
std::vector<int> code128(const std::vector<int> &values, int quiet = 10, int x = 10) {
    std::vector<int> w = {quiet * x};
    for (int v : values)
        for (const char *m = table[v]; *m; m++)
            w.push_back((*m - '0') * x);
    for (const char *m = table[stop]; *m; m++)
        w.push_back((*m - '0') * x);
    w.push_back(2 * x);
    w.push_back(quiet * x);
    return w;
}

verify_options_t code128_only() {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(VERIFY_CODE128);
    return o;
}

TEST(VerifyCode128, EveryCharacterOfCodeSetA) {
    // Start A, one character v and its check character (103 + v) mod 103 =
    // v. Code set A: 0 to 63 are ASCII 32 to 95, 64 to 95 ASCII 0 to 31;
    // 96 to 102 are functions and code set changes that send nothing.
    verify_options_t o = code128_only();
    for (int v = 0; v <= 102; v++) {
        std::string expected = "]C0";
        if (v < 64)
            expected += (char)(v + 32);
        else if (v < 96)
            expected += (char)(v - 64);
        else if (v == fnc1)
            expected = "]C1";
        auto scan = grade(draw(code128({start_a, v, v})), &o);
        EXPECT_EQ(symbol_of(*scan), expected) << "value " << v << ": " << scan->failure;
    }
}

TEST(VerifyCode128, KnownAnswers) {
    struct row {
        const char *what;
        std::vector<int> widths;
        std::string symbol;  // "" when it must not decode
        double decodability; // by hand
        double quiet_grade;
        const char *failure; // part of the reason when it does not decode
    };
    // "Wikipedia" in code set B: W 55, i 73, k 75, i 73, p 80, e 69, d 68,
    // i 73, a 65; check 104 + 55 + 146 + 225 + 292 + 400 + 414 + 476 + 584 +
    // 585 = 3281 = 31 * 103 + 88.
    const std::vector<int> wikipedia = {start_b, 55, 73, 75, 73, 80, 69, 68, 73, 65, 88};
    std::vector<int> wrong_check = wikipedia;
    wrong_check.back() = 89;
    // W (55: 311321, widths 7 to 12 after the quiet zone and the start)
    // drawn with its first space 2 samples wider and its second bar 2
    // narrower: 30 12 8 30 20 10. e1 = 42 against 4 modules of 10, V = 1 -
    // 2*2/10 = 0.6; e2 = 20 exact; e3 = 38 against 4, 0.6 again; e4 = 50
    // exact. Its bars, 5.8 modules, stay within 1.75 of its 6.
    std::vector<int> off = code128(wikipedia);
    off[8] += 2;
    off[9] -= 2;
    // Value 0 (212222) in code set B is a space; its first bar one module
    // narrow and its space one wider (122222) have the sums 3 4 4 4 of
    // value 53 (213131), but bars of 5 modules where 53 has 8: the bar-sum
    // check refuses it. Without that check it would read as "U" with a
    // check character of (104 + 53) mod 103 = 54 that verifies.
    std::vector<int> bar_sum = code128({start_b, 0, 54});
    bar_sum[7] -= 10;
    bar_sum[8] += 10;
    // A termination bar of 1 module: the stop's last space and it sum to 2
    // modules where 3 are due.
    std::vector<int> thin_end = code128(wikipedia);
    thin_end[thin_end.size() - 2] = 10;
    std::vector<int> short_quiet = code128(wikipedia);
    short_quiet.back() = 99;
    const row rows[] = {
        {"Wikipedia", code128(wikipedia), "]C0Wikipedia", 1.0, 4, ""},
        {"X of 7", code128(wikipedia, 10, 7), "]C0Wikipedia", 1.0, 4, ""},
        // 12 34 56 in code set C: 105 + 12 + 68 + 168 = 353 = 3 * 103 + 44.
        {"code set C", code128({start_c, 12, 34, 56, 44}), "]C0123456", 1.0, 4, ""},
        // FNC1 first: GS1-128. 104 + 102 + 2*17 + 3*16 + 4*33 = 420, 8.
        {"FNC1 first", code128({start_b, fnc1, 17, 16, 33, 8}), "]C110A", 1.0, 4, ""},
        // FNC1 after one letter: 104 + 33 + 204 + 51 = 392, 83.
        {"FNC1 second", code128({start_b, 33, fnc1, 17, 83}), "]C2A1", 1.0, 4, ""},
        // FNC1 later is GS: 104 + 102 + 34 + 306 + 72 = 618 = 6 * 103.
        {"FNC1 as GS", code128({start_b, fnc1, 17, fnc1, 18, 0}),
         "]C11\x1d"
         "2",
         1.0, 4, ""},
        // FNC4 once: A + 128. 104 + 100 + 66 = 270, 64.
        {"FNC4", code128({start_b, fnc4_b, 33, 64}), "]C0\xc1", 1.0, 4, ""},
        // Two FNC4 latch, one alone then reverts for one character:
        // 104 + 100 + 200 + 99 + 136 + 500 + 210 = 1349 = 13 * 103 + 10.
        {"FNC4 latched", code128({start_b, fnc4_b, fnc4_b, 33, 34, fnc4_b, 35, 10}),
         "]C0\xc1\xc2"
         "C",
         1.0, 4, ""},
        // Shift from A to B for "a" (65): 103 + 33 + 196 + 195 = 527, 12.
        {"shift", code128({start_a, 33, shift, 65, 12}), "]C0Aa", 1.0, 4, ""},
        {"sums 2 samples off", off, "]C0Wikipedia", 0.6, 4, ""},
        {"right quiet zone 9.9 X", short_quiet, "]C0Wikipedia", 1.0, 0, ""},
        {"wrong check", code128(wrong_check), "", 0, 0, "check character 89, expected 88"},
        {"bar sum", bar_sum, "", 0, 0, "symbol character 2 fails the bar-sum check"},
        {"thin termination bar", thin_end, "", 0, 0, "no termination bar"},
        {"start inside", code128({start_b, 33, start_a, 33}), "", 0, 0,
         "a start character inside the symbol"},
        {"no start", code128({33, 33, 33}), "", 0, 0, "no start character"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        verify_options_t o = code128_only();
        auto scan = grade(draw(r.widths), &o);
        EXPECT_EQ(symbol_of(*scan), r.symbol) << scan->failure;
        if (r.symbol.empty()) {
            EXPECT_NE(std::string(scan->failure).find(r.failure), std::string::npos) << scan->failure;
            EXPECT_EQ(scan->grade, 0);
            continue;
        }
        EXPECT_EQ(scan->symbology, VERIFY_CODE128);
        EXPECT_NEAR(scan->param[VERIFY_P_DECODABILITY].value, r.decodability, 1e-9);
        EXPECT_EQ(scan->param[VERIFY_P_QUIET_ZONE].grade, r.quiet_grade);
        EXPECT_FALSE(scan->reversed);
    }
}

TEST(VerifyCode128, ReadBackwards) {
    std::vector<int> w = code128({start_c, 12, 34, 56, 44});
    std::vector<int> back(w.rbegin(), w.rend());
    auto scan = grade(draw(back));
    EXPECT_EQ(symbol_of(*scan), "]C0123456") << scan->failure;
    EXPECT_TRUE(scan->reversed);
    EXPECT_EQ(scan->symbology, VERIFY_CODE128);
    // 5 characters of 11 modules and the stop's 13, over 10 samples each.
    EXPECT_NEAR(scan->module, 10, 1e-9);
}

} // namespace
