// GS1 DataBar Omnidirectional: one row of 96 modules in 46 elements, a
// space first: the left guard (space, bar), outer data character 1, the
// left finder, inner character 2 (drawn backwards), inner character 4, the
// right finder (backwards), outer character 3 (backwards) and the right
// guard (space, bar). Characters and finders are measured edge to similar
// edge; the finders carry a modulo-79 check over the characters' widths.
// The four characters give a 13-digit number, sent as "]e0", "01" and the
// GTIN-14 with its check digit.
//
// The standard's own reference decode was not at hand. What is done here:
// each character's sums of adjoining elements give its widths up to one
// unknown, which is fixed by the rule that the parity counting the
// character's units always holds a one-module element (even elements of
// the outer characters, odd ones of the inner); the widths must then fit a
// group of the character set, whose rank gives the value. The decodability
// is the lowest of the four characters and the two finders, each by the
// edge-to-similar-edge formula of (n,k) symbologies; the guards, outside
// any character, are checked but not graded.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "decoder.h"
#include "similar_edge.h"

namespace verify {

namespace {

// Elements and modules.
constexpr int char_elements = 8;
constexpr int finder_elements = 5;
constexpr int outer_modules = 16, inner_modules = 15, finder_modules = 15;

// Positions in reading order, counted from the left guard's bar (0); the
// guard's space lies before it, merged with whatever light precedes the
// symbol.
constexpr int char1_at = 1, left_finder_at = 9, char2_at = 14, char4_at = 22, right_finder_at = 30,
              char3_at = 35, guard_space_at = 43, guard_bar_at = 44;
// Modules from the left guard's bar to the right guard's space: the part
// of the symbol whose edges are all in the profile (the right guard's bar
// may run to the profile's end).
constexpr int measured_modules = 94;

// The left guard's light module must show at least this much, in X; the
// symbol needs no other quiet zone. A printed module narrows with ink
// spread, so less than a whole module is allowed.
constexpr double guard_light = 0.5;

// A character group: its first value, and for its odd (first, third...)
// and its even elements the modules they fill, the widest element and how
// many width sets it uses. A value is first + high * unit sets + unit,
// where the unit parity (even elements of outer characters, odd ones of
// inner characters) gives the units and always holds a one-module element.
// The sets are used in rank order; two inner groups leave their last odd
// sets unused (48 of 52, 81 of 100).
struct group {
    int first;
    int odd_modules, even_modules;
    int odd_widest, even_widest;
    int odd_sets, even_sets;
};

// Outer characters (16 modules), values 0 to 2840.
constexpr std::array<group, 5> outer_groups = {{
    {0, 12, 4, 8, 1, 161, 1},
    {161, 10, 6, 6, 3, 80, 10},
    {961, 8, 8, 4, 5, 31, 34},
    {2015, 6, 10, 3, 6, 10, 70},
    {2715, 4, 12, 1, 8, 1, 126},
}};
// Inner characters (15 modules), values 0 to 1596.
constexpr std::array<group, 4> inner_groups = {{
    {0, 5, 10, 2, 7, 4, 84},
    {336, 7, 8, 4, 5, 20, 35},
    {1036, 9, 6, 6, 3, 48, 10},
    {1516, 11, 4, 8, 1, 81, 1},
}};
constexpr int outer_values = 2841, inner_values = 1597;

// The finder patterns 0 to 8, widths in their own reading order (the left
// finder is read forwards, the right one backwards).
constexpr std::array<std::array<int, finder_elements>, 9> finders = {{
    {3, 8, 2, 1, 1},
    {3, 5, 5, 1, 1},
    {3, 3, 7, 1, 1},
    {3, 1, 9, 1, 1},
    {2, 7, 4, 1, 1},
    {2, 5, 6, 1, 1},
    {2, 3, 8, 1, 1},
    {1, 5, 7, 1, 1},
    {1, 3, 9, 1, 1},
}};

// Check weights of the elements of characters 1 to 4, each in its own
// reading order: element i of character c weighs 3^(8c + i) mod 79.
constexpr int check_modulus = 79;
constexpr std::array<int, 4 *char_elements> check_weights = {
    1,  3,  9,  27, 2,  6,  18, 54, // character 1
    4,  12, 36, 29, 8,  24, 72, 58, // character 2
    16, 48, 65, 37, 32, 17, 51, 74, // character 3
    64, 34, 23, 69, 49, 68, 46, 59, // character 4
};

// The value of a symbol: left pair * 4537077 + right pair, each pair
// (outer * 1597 + inner). From 10^13 up it carries the linkage flag of a
// composite symbol, whose 2D part a linear scan does not read.
constexpr int64_t pair_base = 4537077;
constexpr int64_t linkage_flag = 10000000000000;

// Number of ways to pick r of n.
constexpr int64_t choose(int n, int r) {
    if (r < 0 || n < r)
        return 0;
    int64_t c = 1;
    for (int k = 1; k <= r; k++)
        c = c * (n - r + k) / k;
    return c;
}

// Width sets of k elements, each 1 to widest modules, that fill m modules;
// with `narrow`, only those holding a one-module element.
constexpr int64_t width_sets(int m, int k, int widest, bool narrow) {
    if (k == 0)
        return m == 0 && !narrow ? 1 : 0;
    int64_t all = 0;
    for (int j = 0; j <= k; j++) // inclusion-exclusion over elements wider than `widest`
        all += (j % 2 ? -1 : 1) * choose(k, j) * choose(m - j * widest - 1, k - 1);
    if (!narrow)
        return all;
    // Less the sets without a one-module element: each width 2 or more.
    return all - (widest > 1 ? width_sets(m - k, k, widest - 1, false) : 0);
}

// The rank of four widths among the width sets of their parity, in the
// order that counts values: smaller first elements first, then the second...
constexpr int rank_of(const int *w, int modules, int widest, bool narrow) {
    int64_t rank = 0;
    bool has_narrow = false;
    for (int k = 0; k < 3; k++) {
        for (int x = 1; x < w[k]; x++)
            rank += width_sets(modules - x, 3 - k, widest, narrow && !has_narrow && x != 1);
        has_narrow = has_narrow || w[k] == 1;
        modules -= w[k];
    }
    return (int)rank;
}

// The tables hold together: each group's values follow the last group's,
// its modules fill the character, and it uses no more width sets than
// there are.
constexpr bool groups_fit(std::span<const group> groups, bool outer, int values) {
    int next = 0;
    for (const group &g : groups) {
        if (g.first != next || g.odd_modules + g.even_modules != (outer ? outer_modules : inner_modules) ||
            g.odd_sets > width_sets(g.odd_modules, 4, g.odd_widest, !outer) ||
            g.even_sets > width_sets(g.even_modules, 4, g.even_widest, outer))
            return false;
        next += g.odd_sets * g.even_sets;
    }
    return next == values;
}
static_assert(groups_fit(outer_groups, true, outer_values));
static_assert(groups_fit(inner_groups, false, inner_values));
static_assert(outer_values * inner_values == pair_base);

constexpr bool weights_fit() {
    for (size_t k = 1; k < check_weights.size(); k++)
        if (check_weights[k] != check_weights[k - 1] * 3 % check_modulus)
            return false;
    return check_weights[0] == 1;
}
static_assert(weights_fit());

// One data character read from its 8 widths in its own order.
struct data_char {
    int value = 0;
    int widths[char_elements] = {}; // in modules
    double module = 0;
    double decodability = 0;
};

// Copies n widths from `at`, backwards when the element is drawn so.
void take(const double *at, int n, bool backwards, double *out) {
    for (int k = 0; k < n; k++)
        out[k] = backwards ? at[n - 1 - k] : at[k];
}

bool read_char(const double *at, bool backwards, bool outer, data_char &out) {
    double w[char_elements];
    take(at, char_elements, backwards, w);
    int modules = outer ? outer_modules : inner_modules;
    similar_edge_char m;
    if (!measure_similar_edges(w, char_elements, modules, m))
        return false;
    // Width i is base[i] + a for even i, base[i] - a for odd i, where a is
    // the unknown first width: each sum fixes the next width from the last.
    // The last width is what the others leave of the character's modules.
    int base[char_elements] = {};
    int sum = 0;
    for (int i = 0; i < char_elements - 1; i++) {
        if (i > 0)
            base[i] = m.sums[(size_t)(i - 1)] - base[i - 1];
        sum += base[i];
    }
    base[char_elements - 1] = modules - sum;
    // The unit parity's narrowest element is one module wide.
    int unit = outer ? 1 : 0;
    int least = base[unit];
    for (int i = unit; i < char_elements; i += 2)
        least = std::min(least, base[i]);
    int a = outer ? least - 1 : 1 - least;
    int odd_total = 0;
    for (int i = 0; i < char_elements; i++) {
        out.widths[i] = i % 2 ? base[i] - a : base[i] + a;
        if (out.widths[i] < 1)
            return false;
        if (i % 2 == 0)
            odd_total += out.widths[i];
    }
    std::span<const group> groups = outer ? std::span<const group>(outer_groups) : inner_groups;
    const group *g = nullptr;
    for (const group &candidate : groups)
        if (candidate.odd_modules == odd_total)
            g = &candidate;
    if (!g)
        return false;
    int odd[4], even[4];
    for (int k = 0; k < 4; k++) {
        odd[k] = out.widths[2 * k];
        even[k] = out.widths[2 * k + 1];
        if (odd[k] > g->odd_widest || even[k] > g->even_widest)
            return false;
    }
    int odd_rank = rank_of(odd, g->odd_modules, g->odd_widest, !outer);
    int even_rank = rank_of(even, g->even_modules, g->even_widest, outer);
    if (odd_rank >= g->odd_sets || even_rank >= g->even_sets)
        return false;
    out.value = outer ? g->first + odd_rank * g->even_sets + even_rank
                      : g->first + even_rank * g->odd_sets + odd_rank;
    out.module = m.module;
    out.decodability = m.decodability;
    return true;
}

// The finder pattern's number, or -1; its decodability in `v`.
int read_finder(const double *at, bool backwards, double &v) {
    double w[finder_elements];
    take(at, finder_elements, backwards, w);
    similar_edge_char m;
    if (!measure_similar_edges(w, finder_elements, finder_modules, m))
        return -1;
    for (size_t f = 0; f < finders.size(); f++) {
        const auto &p = finders[f];
        if (m.sums[0] == p[0] + p[1] && m.sums[1] == p[1] + p[2] && m.sums[2] == p[2] + p[3]) {
            v = m.decodability;
            return (int)f;
        }
    }
    return -1;
}

// Whether two adjoining elements measure `modules` in units of `unit`.
bool pair_fits(double a, double b, int modules, double unit) {
    double e = (a + b) / unit;
    return e >= modules - 0.5 && e < modules + 0.5;
}

// GTIN-14 check digit of 13 digits: weights 3, 1, 3... from the left.
char gtin_check(const char *digits) {
    int sum = 0;
    for (int k = 0; k < 13; k++)
        sum += (digits[k] - '0') * (k % 2 ? 1 : 3);
    return (char)('0' + (10 - sum % 10) % 10);
}

bool decode(const decode_input &in, int start, decode_output &out) {
    auto w = in.widths;
    int n = (int)w.size();
    // The right guard's bar and the space after it (of width 0 where the
    // profile ends in the bar) must be there.
    if (start + guard_bar_at > n - 2)
        return decode_failure(out, start, "too few elements for a symbol");
    const double *s = &w[(size_t)start];

    // The finders first: two comparisons reject most starting points.
    double v_left = 0, v_right = 0;
    int left = read_finder(s + left_finder_at, false, v_left);
    if (left < 0)
        return decode_failure(out, start, "no left finder pattern");
    int right = read_finder(s + right_finder_at, true, v_right);
    if (right < 0)
        return decode_failure(out, start + right_finder_at, "no right finder pattern");

    // Characters 1 to 4 and where each one lies, in reading order.
    struct place {
        int number, at;
        bool backwards, outer;
    };
    static constexpr place places[] = {
        {1, char1_at, false, true},
        {2, char2_at, true, false},
        {4, char4_at, false, false},
        {3, char3_at, true, true},
    };
    data_char chars[4];
    double v = std::min(v_left, v_right);
    for (const place &p : places) {
        data_char &c = chars[p.number - 1];
        if (!read_char(s + p.at, p.backwards, p.outer, c))
            return decode_failure(out, start + p.at,
                                  "character " + std::to_string(p.number) + " is not a DataBar character");
        v = std::min(v, c.decodability);
    }

    int last = start + guard_bar_at;
    int check = 0;
    for (int c = 0; c < 4; c++)
        for (int i = 0; i < char_elements; i++)
            check += check_weights[(size_t)(c * char_elements + i)] * chars[c].widths[i];
    check %= check_modulus;
    // The finders' pair 9 * left + right skips 8 and 72.
    int given = 9 * left + right;
    int given_check = given - (given > 8) - (given > 72);
    if (given == 8 || given == 72 || given_check != check)
        return decode_failure(out, last,
                              "check value " + std::to_string(check) + ", the finder patterns give " +
                                  std::to_string(left) + " and " + std::to_string(right));

    // The guards: the left one's bar with character 1's first space, the
    // right one's space with character 3's first bar.
    if (!pair_fits(s[0], s[char1_at], 1 + chars[0].widths[0], chars[0].module))
        return decode_failure(out, start, "the left guard does not measure one module");
    if (!pair_fits(s[char3_at + char_elements - 1], s[guard_space_at], chars[2].widths[0] + 1,
                   chars[2].module))
        return decode_failure(out, last, "the right guard does not measure one module");

    int64_t value = (int64_t)(chars[0].value * inner_values + chars[1].value) * pair_base +
                    chars[2].value * inner_values + chars[3].value;
    if (value >= linkage_flag)
        value -= linkage_flag;
    if (value >= linkage_flag)
        return decode_failure(out, last, "the characters' value lies beyond 13 digits");

    char digits[14] = {};
    for (int k = 12; k >= 0; k--, value /= 10)
        digits[k] = (char)('0' + value % 10);
    digits[13] = gtin_check(digits);

    double measured = 0;
    for (int k = 0; k <= guard_space_at; k++)
        measured += s[k];
    out.identifier = "]e0";
    out.data = "01" + std::string(digits, 14);
    out.decodability = v;
    out.last = last;
    out.module = measured / measured_modules;
    out.quiet_before = guard_light * out.module;
    out.quiet_after = 0;
    return true;
}

} // namespace

const decoder databar_decoder = {VERIFY_DATABAR, decode};

} // namespace verify
