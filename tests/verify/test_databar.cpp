// GS1 DataBar Omnidirectional reference decode on hand-made element widths:
// characters of every kind worked out by hand from the published character
// groups, the modulo-79 check and its finder patterns, the linkage flag,
// decodability and the left guard's light module; then zint's own symbols
// across the character groups.
#include <gtest/gtest.h>

#include <cctype>
#include <iterator>

#include "peers.h"
#include "support.h"
#include "verify_test.h"

using namespace verifytest;

namespace {

using widths = std::vector<int>;

// A symbol's 46 widths in modules from its parts, left to right: guard
// (space, bar), character 1, left finder, character 2 backwards, character
// 4, right finder backwards, character 3 backwards, guard (space, bar).
// Characters are written in their own order and turned here where drawn
// backwards; finders by their published widths.
widths symbol(const widths &c1, const widths &left, const widths &c2, const widths &c4, const widths &right,
              const widths &c3) {
    widths m = {1, 1};
    m.insert(m.end(), c1.begin(), c1.end());
    m.insert(m.end(), left.begin(), left.end());
    m.insert(m.end(), c2.rbegin(), c2.rend());
    m.insert(m.end(), c4.begin(), c4.end());
    m.insert(m.end(), right.rbegin(), right.rend());
    m.insert(m.end(), c3.rbegin(), c3.rend());
    m.insert(m.end(), {1, 1});
    return m;
}

// Widths in samples: X samples a module, `before` more light samples in
// front of the guard's light module, `after` after the last bar.
widths samples(const widths &modules, int x, int before, int after) {
    widths w;
    for (int m : modules)
        w.push_back(m * x);
    w.front() += before;
    w.push_back(after);
    return w;
}

// Finder patterns by number.
const widths finder0 = {3, 8, 2, 1, 1}, finder2 = {3, 3, 7, 1, 1}, finder3 = {3, 1, 9, 1, 1},
             finder4 = {2, 7, 4, 1, 1}, finder5 = {2, 5, 6, 1, 1}, finder6 = {2, 3, 8, 1, 1},
             finder7 = {1, 5, 7, 1, 1}, finder8 = {1, 3, 9, 1, 1};

// Characters in their own order: odd, even, odd, even... elements. The
// width sets of each parity are ranked smallest first element first, then
// second...; an outer character is first + odd rank * even sets + even
// rank, an inner one first + even rank * odd sets + odd rank.
//
// Outer 0, group 0..160: odd 12 modules (widest 8) rank 0 is 1 1 2 8;
// even 4 modules (widest 1) only 1 1 1 1.
const widths outer_0 = {1, 1, 1, 1, 2, 1, 8, 1};
// Outer 161, group 161..960, ranks 0 and 0: odd 10 modules (widest 6)
// 1 1 2 6, even 6 modules (widest 3, one of them 1) 1 1 1 3.
const widths outer_161 = {1, 1, 1, 1, 2, 1, 6, 3};
// Outer 1403, group 961..2014 (even sets 34): 442 = 13 * 34 + 0. Odd 8
// modules (widest 4): the sets beginning with 1 are the 12 ways to fill 7
// modules in three elements of 1 to 4 (15, less 3 with a 5), ranks 0 to
// 11; then 2 1 1 4 is 12 and 2 1 2 3 is 13. Even 8 modules (widest 5, one
// of them 1) rank 0: 1 1 1 5.
const widths outer_1403 = {2, 1, 1, 1, 2, 1, 3, 5};
// Outer 2840, the last of group 2715..2840: odd 4 modules only 1 1 1 1;
// even 12 modules (widest 8, one of them 1) rank 125 of 126, the last set:
// 8 2 1 1.
const widths outer_2840 = {1, 8, 1, 2, 1, 1, 1, 1};
// Inner 0, group 0..335: odd 5 modules (widest 2, one of them 1) rank 0
// 1 1 1 2; even 10 modules (widest 7) rank 0 1 1 1 7.
const widths inner_0 = {1, 1, 1, 1, 1, 1, 2, 7};
// Inner 336, group 336..1035, ranks 0 and 0: odd 7 modules (widest 4, one
// of them 1) 1 1 1 4; even 8 modules (widest 5) 1 1 1 5.
const widths inner_336 = {1, 1, 1, 1, 1, 1, 4, 5};
// Inner 1596, the last of group 1516..1596: even 4 modules only 1 1 1 1, so
// odd rank 80 of 11 modules (widest 8, one of them 1). Sets beginning with
// 1: 36 (10 modules in three), with 2: 28 less 10 without a 1 = 18, with
// 3: 21 - 6 = 15, with 4: 15 - 3 = 12; ranks 69 to 80 begin with 4, and
// the last of them is 4 5 1 1.
const widths inner_1596 = {4, 1, 5, 1, 1, 1, 1, 1};
// Group 1036..1515 uses 48 of its 52 odd sets (9 modules, widest 6, one of
// them 1): the sets from 5 1 1 2 on are none of its characters. Read as
// rank 48 it would pass for the value 1084 (even rank 1, odd rank 0).
const widths inner_unused = {5, 1, 1, 1, 1, 1, 2, 3};
// 15 modules whose odd elements fill 4: no inner group has them.
const widths inner_no_group = {1, 1, 1, 1, 1, 1, 1, 8};

// The check: element i of character c (in its own order) weighs
// 3^(8c + i) mod 79:
//   1: 1 3 9 27 2 6 18 54      2: 4 12 36 29 8 24 72 58
//   3: 16 48 65 37 32 17 51 74 4: 64 34 23 69 49 68 46 59
// The check value 0..78 is written as 9 * left finder + right finder,
// skipping 8 and 72 (from 8 on, add 1; from 71 on, add 2).
//
// All zero: 1 1 1 1 2 1 8 1 weighs 248 as character 1 and 729 as 3;
// 1 1 1 1 1 1 2 7 weighs 663 as 2 and 812 as 4. 2452 mod 79 = 3: finders 0
// and 3. The number 0000000000000, check digit 0.
const widths zero = symbol(outer_0, finder0, inner_0, inner_0, finder3, outer_0);
// 161, 1596, 2840, 336: 320 + 399 + 713 + 786 = 2218, mod 79 = 6: finders 0
// and 6. (161 * 1597 + 1596) * 4537077 + 2840 * 1597 + 336 =
// 258713 * 4537077 + 4535816 = 1173805337717; check digit: 3*1 + 1 + 3*7 +
// 3 + 3*8 + 0 + 3*5 + 3 + 3*3 + 7 + 3*7 + 1 + 3*7 = 129, so 1.
const widths corners = symbol(outer_161, finder0, inner_1596, inner_336, finder6, outer_2840);
// 0, 1596, 161, 336: 248 + 399 + 775 + 786 = 2208, mod 79 = 75, written
// 77: finders 8 and 5. 1596 * 4537077 + 161 * 1597 + 336 = 7241432345; the
// number 0007241432345, check digit: 3*0 + 0 + 3*0 + 7 + 3*2 + 4 + 3*1 +
// 4 + 3*3 + 2 + 3*3 + 4 + 3*5 = 63, so 7.
const widths high_check = symbol(outer_0, finder8, inner_1596, inner_336, finder5, outer_161);
// 1403, 0, 0, 0: 375 + 663 + 729 + 812 = 2579, mod 79 = 51, written 52:
// finders 5 and 7. 1403 * 1597 * 4537077 = 10165733892507 carries the
// linkage flag 10^13; the number is 0165733892507, check digit 0.
const widths linked = symbol(outer_1403, finder5, inner_0, inner_0, finder7, outer_0);
// 2840, 0, 0, 0: 168 + 663 + 729 + 812 = 2372, mod 79 = 2: finders 0 and
// 2. 2840 * 1597 * 4537077 is 2.06 * 10^13, beyond the flag and 13 digits.
const widths too_large = symbol(outer_2840, finder0, inner_0, inner_0, finder2, outer_0);

verify_options_t databar_only() {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(VERIFY_DATABAR);
    return o;
}

TEST(VerifyDataBar, KnownAnswers) {
    struct row {
        const char *what;
        widths w;            // in samples
        std::string symbol;  // "" when it must not decode
        double decodability; // by hand
        double quiet_grade;  // 4 pass, 0 fail
        double module;       // X: the widths up to the right guard's space over 94
        const char *failure; // part of the reason when it does not decode
    };
    // X = 10 samples. Character 1's third element (index 4 in the widths)
    // 3 samples wider: p = 163, p/16 = 10.1875; the sums next to it are 23,
    // E = 2, off by 23 - 20.375 = 2.625: V = 1 - 5.25/10.1875 = 79/163. The
    // others are nearer (20: 0.375, 30: 0.5625, 90 against 9 modules:
    // 1.6875). X = 943/94.
    widths wider = samples(zero, 10, 20, 20);
    wider[4] += 3;
    // The left finder's wide bar (index 11) 3 samples wider: p = 153,
    // p/15 = 10.2; its sums 113, 103 and 30 against 11, 10 and 3 modules
    // are off by 0.8, 1 and 0.6: V = 1 - 2/10.2 = 41/51.
    widths wider_finder = samples(zero, 10, 20, 20);
    wider_finder[11] += 3;
    // The guards: the left bar with character 1's first space must make 2
    // modules, the right space with character 3's first bar too.
    widths wide_left_guard = samples(zero, 10, 20, 20), wide_right_guard = samples(zero, 10, 20, 20);
    wide_left_guard[1] = 20;
    wide_right_guard[44] = 20;
    widths cut = samples(zero, 10, 20, 20);
    cut.resize(40);
    cut.push_back(20);
    static const row rows[] = {
        {"all zero", samples(zero, 10, 20, 20), "]e00100000000000000", 1.0, 4, 10, ""},
        {"groups' corners", samples(corners, 10, 20, 20), "]e00111738053377171", 1.0, 4, 10, ""},
        {"X of 7", samples(corners, 7, 0, 30), "]e00111738053377171", 1.0, 4, 7, ""},
        {"check above 71", samples(high_check, 10, 20, 20), "]e00100072414323457", 1.0, 4, 10, ""},
        {"linkage flag", samples(linked, 10, 20, 20), "]e00101657338925070", 1.0, 4, 10, ""},
        {"one wider space", wider, "]e00100000000000000", 79.0 / 163, 4, 943.0 / 94, ""},
        {"one wider finder bar", wider_finder, "]e00100000000000000", 41.0 / 51, 4, 943.0 / 94, ""},
        // No light beyond the guard's module, the profile ending in the
        // right guard's bar: nothing more is asked.
        {"no margins", samples(zero, 10, 0, 0), "]e00100000000000000", 1.0, 4, 10, ""},
        // The guard's light module must show half of X, 5 samples (within
        // half a sample); 4 is too little.
        {"half a light module", samples(zero, 10, -5, 0), "]e00100000000000000", 1.0, 4, 10, ""},
        {"light module of 0.4 X", samples(zero, 10, -6, 0), "]e00100000000000000", 1.0, 0, 10, ""},
        {"wrong right finder",
         samples(symbol(outer_0, finder0, inner_0, inner_0, finder4, outer_0), 10, 20, 20), "", 0, 0, 0,
         "check value 3, the finder patterns give 0 and 4"},
        {"unused odd set",
         samples(symbol(outer_0, finder0, inner_0, inner_unused, finder3, outer_0), 10, 20, 20), "", 0, 0, 0,
         "character 4 is not a DataBar character"},
        {"no inner group",
         samples(symbol(outer_0, finder0, inner_no_group, inner_0, finder3, outer_0), 10, 20, 20), "", 0, 0,
         0, "character 2 is not a DataBar character"},
        {"beyond 13 digits", samples(too_large, 10, 20, 20), "", 0, 0, 0, "beyond 13 digits"},
        {"wide left guard", wide_left_guard, "", 0, 0, 0, "the left guard does not measure one module"},
        {"wide right guard", wide_right_guard, "", 0, 0, 0, "the right guard does not measure one module"},
        {"cut short", cut, "", 0, 0, 0, "too few elements for a symbol"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        verify_options_t o = databar_only();
        auto scan = grade(draw(r.w), &o);
        if (expect_read(*scan, VERIFY_DATABAR, r.symbol, r.decodability, r.quiet_grade, r.failure)) {
            EXPECT_FALSE(scan->reversed);
            EXPECT_NEAR(scan->module, r.module, 1e-9);
            EXPECT_EQ(scan->symbol_first, 1); // the left guard's bar
            EXPECT_EQ(scan->symbol_last, 45); // the right guard's bar
        }
    }
}

TEST(VerifyDataBar, FoundAmongAllSymbologiesInBothDirections) {
    widths w = samples(corners, 8, 40, 40);
    for (bool backwards : {false, true}) {
        SCOPED_TRACE(backwards ? "backwards" : "forwards");
        widths v = backwards ? widths(w.rbegin(), w.rend()) : w;
        auto scan = grade(draw(v));
        EXPECT_EQ(symbol_of(*scan), "]e00111738053377171") << scan->failure;
        EXPECT_EQ(scan->symbology, VERIFY_DATABAR);
        EXPECT_EQ(scan->reversed, backwards ? 1 : 0);
        // In profile order the symbol runs from the bar after the first
        // space to the bar before the last one either way.
        EXPECT_EQ(scan->symbol_first, 1);
        EXPECT_EQ(scan->symbol_last, 45);
    }
}

// zint's symbols, from its module dump, chosen so that every character
// position meets every group it can hold (character 1 reaches only groups
// to 961..2014 below the linkage flag). The check digits are worked out by
// hand (weights 3 1 3... from the left).
TEST(VerifyDataBar, ZintSymbolsAcrossTheGroups) {
    REQUIRE_PEERS("zint");
    struct row {
        const char *data;   // what zint is given
        const char *symbol; // what the engine must send
    };
    static const row rows[] = {
        {"0000000000000", "]e00100000000000000"}, // characters 0, 0, 0, 0
        {"3628303831800", "]e00136283038318001"}, // 500, 1200, 2100, 1200
        {"7248890319950", "]e00172488903199507"}, // 1000, 700, 1500, 1550
        {"0731608137950", "]e00107316081379502"}, // 100, 1550, 2800, 100
        {"9999999999999", "]e00199999999999997"}, // 1380, 202, 621, 1488
        {"12345", "]e00100000000123457"},         // zint fills the number with zeros
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.data);
        auto run =
            testsupport::run_program({"/usr/bin/env", "zint", "-b", "DBAR_OMN", "--dump", "-d", r.data});
        ASSERT_EQ(run.status, 0) << run.err;
        // One hex digit is 4 modules; 96 modules, a light one first.
        std::string bits;
        for (char c : run.out.substr(0, run.out.find('\n')))
            if (std::isxdigit((unsigned char)c)) {
                int v = std::stoi(std::string(1, c), nullptr, 16);
                for (int b = 3; b >= 0; b--)
                    bits += (char)('0' + ((v >> b) & 1));
            }
        ASSERT_GE(bits.size(), 96u);
        bits.resize(96);
        ASSERT_EQ(bits[0], '0');
        widths modules;
        for (size_t i = 0; i < bits.size(); i++)
            if (i == 0 || bits[i] != bits[i - 1])
                modules.push_back(1);
            else
                modules.back()++;
        ASSERT_EQ(modules.size(), 46u);
        auto scan = grade(draw(samples(modules, 5, 10, 10)));
        EXPECT_EQ(symbol_of(*scan), r.symbol) << scan->failure;
        EXPECT_EQ(scan->symbology, VERIFY_DATABAR);
        EXPECT_NEAR(scan->param[VERIFY_P_DECODABILITY].value, 1.0, 1e-9);
    }
}

} // namespace
