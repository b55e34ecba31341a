// EAN-13, EAN-8, UPC-A and UPC-E with their 2- and 5-digit add-ons. Each
// digit is a (7,2) character of four elements measured edge to similar
// edge; guards frame the halves; a modulo-10 check digit; EAN-13's first
// digit and UPC-E's number system and check digit ride on the parity of
// the left-hand digits. Every symbol but EAN-8 is sent as 13 digits.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "decoder.h"
#include "marginal.h"
#include "similar_edge.h"

namespace verify {

namespace {

// The digits' element widths in modules as number set A (odd parity, "L")
// draws them, space first, written one decimal digit per element: 0 is
// space 3, bar 2, space 1, bar 1. Set B (even parity, "G") is set A read
// backwards; set C (the right half, "R") has set A's widths bar first.
constexpr std::array<uint16_t, 10> set_a = {3211, 2221, 2122, 1411, 1132, 1231, 1114, 1312, 1213, 3112};

enum number_set { set_A = 1, set_B = 2, set_C = 4 };

// Parity of the six left-hand digits of EAN-13 by its first digit, 'A' or
// 'B' per digit.
constexpr std::array<const char *, 10> ean13_parity = {
    "AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB", "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA",
};

// UPC-E's parity by its number system and check digit: with number system
// 1 EAN-13's patterns, except AAABBB for 0; number system 0 the opposite.
// The five-digit add-on's parity by its check value is the last five of
// number system 0's pattern.
std::string upce_parity(int system, int check) {
    std::string p = check == 0 ? "AAABBB" : ean13_parity[(size_t)check];
    if (system == 0)
        for (char &c : p)
            c = c == 'A' ? 'B' : 'A';
    return p;
}

// The two-digit add-on's parity by its value modulo 4.
constexpr std::array<const char *, 4> addon2_parity = {"AA", "AB", "BA", "BB"};

// Guards: module widths from their first element; the start and end guard
// begin with a bar, the centre guard and UPC-E's end guard with a space.
constexpr std::array<uint8_t, 3> side_guard = {1, 1, 1};
constexpr std::array<uint8_t, 5> centre_guard = {1, 1, 1, 1, 1};
constexpr std::array<uint8_t, 6> upce_end_guard = {1, 1, 1, 1, 1, 1};
constexpr std::array<uint8_t, 3> addon_guard = {1, 1, 2};
constexpr std::array<uint8_t, 2> addon_separator = {1, 1};

constexpr int digit_elements = 4;
constexpr int digit_modules = 7;

// The main symbols: digits on each side of the centre guard (UPC-E has no
// right half and ends in its own guard) and quiet zones in X.
struct layout {
    const char *name;
    int left, right;
    double quiet_left, quiet_right;
    constexpr int elements() const {
        return (int)side_guard.size() + digit_elements * left +
               (right ? (int)(centre_guard.size() + side_guard.size()) + digit_elements * right
                      : (int)upce_end_guard.size());
    }
    constexpr int modules() const {
        return (int)side_guard.size() + digit_modules * left +
               (right ? (int)(centre_guard.size() + side_guard.size()) + digit_modules * right
                      : (int)upce_end_guard.size());
    }
};
constexpr layout ean13 = {"EAN-13", 6, 6, 11, 7};
constexpr layout ean8 = {"EAN-8", 4, 4, 7, 7};
constexpr layout upce = {"UPC-E", 6, 0, 9, 7};
static_assert(ean13.modules() == 95 && ean8.modules() == 67 && upce.modules() == 51);
// UPC-A is EAN-13 with a leading 0, bar for bar; only its quiet zones differ.
constexpr double upca_quiet = 9;

// The add-on follows the main symbol after a gap of 7 to 12 X and needs 5 X
// after it. UPC's own texts ask 9 X of the gap; the 7 X that EAN allows is
// taken for every main symbol, as printers (zint among them) draw UPC-E's
// add-on 7 X away.
constexpr double addon_gap_min = 7, addon_gap_max = 12;
constexpr double addon_quiet = 5;
struct addon_size {
    int digits, modules;
};
constexpr addon_size addon_sizes[] = {{2, 20}, {5, 47}};
// Bars after the gap are taken for an add-on when they span its modules
// give or take this many.
constexpr double addon_extent_tolerance = 2;

// Bounds in modules are widened by half a module, the precision of a
// module count measured in a sampled profile.
constexpr double module_precision = 0.5;

// A symbol ends where a space of at least 5 X begins: wider than any space
// inside one (4 modules at most), it tells the end of a symbol from its
// centre guard or from its middle, which could otherwise pass for a UPC-E
// or an EAN-8 of their own when narrow elements blur away.
constexpr double boundary = 5;

// Each digit spans 7 X give or take a quarter, X measured over the whole
// symbol: a secondary check that refuses digits of a misread grouping.
constexpr double digit_width_tolerance = 0.25;

// A digit read from its four widths.
struct digit {
    int value = -1;
    number_set set = set_A;
    double decodability = 0;
};

// Widths in modules of a digit of a set, in reading order.
constexpr std::array<int, 4> widths_of(int d, number_set s) {
    std::array<int, 4> w{};
    for (int k = 3, pattern = set_a[(size_t)d]; k >= 0; k--, pattern /= 10)
        w[(size_t)(s == set_B ? 3 - k : k)] = pattern % 10;
    return w;
}
static_assert(widths_of(0, set_A)[0] == 3 && widths_of(0, set_B)[0] == 1);

// Reads a digit of one of `sets` (set C alone, or sets A and B): the two
// similar-edge sums pick the digit, except that 1 and 7, and 2 and 8, share
// theirs. Those pairs are told apart by the width of their two bars, whose
// nominal sums differ by two modules (3 and 5 in set A, 4 and 2 in sets B
// and C). The symbology standard's own wording of this step was not at
// hand: the threshold lies midway between the two, and the bars' margin to
// it over one module (1 for perfect bars, 0 on the threshold) counts in the
// digit's decodability beside the sums' margins. The guards are checked
// by their sums and count in no decodability, as they are no characters.
bool read_digit(const double *w, unsigned sets, digit &out) {
    similar_edge_char c;
    if (!measure_similar_edges(w, digit_elements, digit_modules, c))
        return false;
    int found[2], count = 0;
    number_set set = set_A;
    for (number_set s : {set_A, set_B, set_C}) {
        if (!(sets & s))
            continue;
        for (int d = 0; d < 10 && count < 2; d++) {
            auto m = widths_of(d, s);
            if (m[0] + m[1] == c.sums[0] && m[1] + m[2] == c.sums[1]) {
                found[count++] = d;
                set = s;
            }
        }
    }
    if (count == 0)
        return false;
    out = {found[0], set, c.decodability};
    if (count == 2) {
        // Bars are the 2nd and 4th elements of a space-first digit.
        int first_bar = set == set_C ? 0 : 1;
        double bars = (w[first_bar] + w[first_bar + 2]) / c.module;
        auto nominal = [&](int d) {
            auto m = widths_of(d, set);
            return m[(size_t)first_bar] + m[(size_t)first_bar + 2];
        };
        double a = nominal(found[0]), b = nominal(found[1]);
        double threshold = (a + b) / 2;
        if (std::abs(bars - b) < std::abs(bars - a))
            out.value = found[1];
        out.decodability = std::min(out.decodability, std::abs(bars - threshold) / (std::abs(a - b) / 2));
    }
    return true;
}

// Whether the widths read as a guard at the module x: each sum of two
// adjoining elements is its nominal number of modules, to the nearest one.
template <size_t N> bool fits(const double *w, const std::array<uint8_t, N> &guard, double x) {
    for (size_t k = 0; k + 1 < N; k++)
        if (std::lround((w[k] + w[k + 1]) / x) != guard[k] + guard[k + 1])
            return false;
    return true;
}

// The modulo-10 check digit of the digits before the last one: weights 3
// and 1 alternating from the right, 3 on the digit next to the check digit.
int check_digit(const std::string &digits) {
    int sum = 0, weight = 3;
    for (size_t k = digits.size() - 1; k-- > 0;) {
        sum += (digits[k] - '0') * weight;
        weight = 4 - weight;
    }
    return (10 - sum % 10) % 10;
}

// UPC-E's number system, six digits and check digit as the 12 digits of
// the UPC-A symbol they stand for.
std::string expand_upce(const std::string &e) {
    std::string d = e.substr(1, 6), m;
    switch (d[5]) {
    case '0':
    case '1':
    case '2': m = d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3); break;
    case '3': m = d.substr(0, 3) + "00000" + d.substr(3, 2); break;
    case '4': m = d.substr(0, 4) + "00000" + d[4]; break;
    default: m = d.substr(0, 5) + "0000" + d[5]; break;
    }
    return e[0] + m + e[7];
}

struct main_symbol {
    const layout *kind = nullptr;
    std::string digits; // 13 (EAN-13, UPC-A, UPC-E expanded) or 8 (EAN-8)
    double x = 0, decodability = 1;
    int last = 0;
};

struct failure {
    std::string why;
    int reached = -1;
};

// Keeps the reason of the attempt that got furthest; the text is only
// copied when it is kept.
template <typename Text> void fail(failure &f, int reached, const Text &why) {
    if (reached > f.reached) {
        f.why = why;
        f.reached = reached;
    }
}

// Reads the digits of one half at w[i...], one set per digit.
bool read_half(std::span<const double> w, int &i, int count, unsigned sets, main_symbol &m,
               std::string &digits, std::string &parity, failure &f, int position) {
    for (int k = 0; k < count; k++, i += digit_elements) {
        digit d;
        double p = w[(size_t)i] + w[(size_t)i + 1] + w[(size_t)i + 2] + w[(size_t)i + 3];
        if (std::abs(p / (digit_modules * m.x) - 1) > digit_width_tolerance ||
            !read_digit(&w[(size_t)i], sets, d)) {
            fail(f, i,
                 "symbol character " + std::to_string(position + k) + " of " + m.kind->name +
                     " is not a digit");
            return false;
        }
        digits += (char)('0' + d.value);
        if (sets != set_C)
            parity += d.set == set_B ? 'B' : 'A';
        m.decodability = std::min(m.decodability, d.decodability);
    }
    return true;
}

// Reads the main symbol of a layout whose first bar is w[start], at the
// module x that its elements' span gives.
bool read_main(std::span<const double> w, int start, const layout &l, double x, main_symbol &m, failure &f) {
    int last = start + l.elements() - 1;
    if (w[(size_t)(start - 1)] < boundary * x || w[(size_t)(last + 1)] < boundary * x) {
        fail(f, start, "no space of 5 X around an EAN/UPC symbol");
        return false;
    }
    // The guards first: a position that cannot be this layout is left after
    // a few sums.
    int centre = start + (int)side_guard.size() + digit_elements * l.left;
    bool framed =
        l.right ? fits(&w[(size_t)start], side_guard, x) && fits(&w[(size_t)(last - 2)], side_guard, x) &&
                      fits(&w[(size_t)centre], centre_guard, x)
                : fits(&w[(size_t)start], side_guard, x) && fits(&w[(size_t)(last - 5)], upce_end_guard, x);
    if (!framed) {
        fail(f, start, "no guard patterns of EAN-13, EAN-8 or UPC-E");
        return false;
    }

    m = main_symbol();
    m.kind = &l;
    m.x = x;
    m.last = last;
    std::string digits, parity;
    int i = start + (int)side_guard.size();
    unsigned left_sets = &l == &ean8 ? (unsigned)set_A : (unsigned)(set_A | set_B);
    if (!read_half(w, i, l.left, left_sets, m, digits, parity, f, 1))
        return false;
    if (l.right) {
        i += (int)centre_guard.size();
        if (!read_half(w, i, l.right, set_C, m, digits, parity, f, l.left + 1))
            return false;
    }

    std::string full; // every digit, the check digit last
    if (&l == &ean8) {
        full = digits;
    } else if (&l == &ean13) {
        int first = 0;
        while (first < 10 && parity != ean13_parity[(size_t)first])
            first++;
        if (first == 10) {
            fail(f, last, "parity pattern " + parity + " of EAN-13 names no first digit");
            return false;
        }
        full = (char)('0' + first) + digits;
    } else {
        int system = -1, check = -1;
        for (int ns = 0; ns < 2 && system < 0; ns++)
            for (int c = 0; c < 10; c++)
                if (parity == upce_parity(ns, c)) {
                    system = ns;
                    check = c;
                    break;
                }
        if (system < 0) {
            fail(f, last, "parity pattern " + parity + " of UPC-E names no check digit");
            return false;
        }
        full = "0" + expand_upce((char)('0' + system) + digits + (char)('0' + check));
    }
    int expected = check_digit(full);
    if (full.back() - '0' != expected) {
        fail(f, last,
             std::string("check digit ") + full.back() + ", expected " + (char)('0' + expected) + " (" +
                 l.name + ")");
        return false;
    }
    m.digits = full;
    return true;
}

// Reads an add-on whose first bar is w[first] and last bar w[last]: its
// digits and decodability.
bool read_addon(std::span<const double> w, int first, int last, const addon_size &size, std::string &digits,
                double &decodability) {
    int count = size.digits;
    int elements =
        (int)addon_guard.size() + digit_elements * count + (int)addon_separator.size() * (count - 1);
    if (last - first + 1 != elements)
        return false;
    double span = 0;
    for (int k = first; k <= last; k++)
        span += w[(size_t)k];
    double x = span / size.modules;
    if (!fits(&w[(size_t)first], addon_guard, x))
        return false;
    digits.clear();
    std::string parity;
    decodability = 1;
    int i = first + (int)addon_guard.size();
    for (int k = 0; k < count; k++) {
        if (k > 0) {
            if (!fits(&w[(size_t)i], addon_separator, x))
                return false;
            i += (int)addon_separator.size();
        }
        digit d;
        if (!read_digit(&w[(size_t)i], set_A | set_B, d))
            return false;
        digits += (char)('0' + d.value);
        parity += d.set == set_B ? 'B' : 'A';
        decodability = std::min(decodability, d.decodability);
        i += digit_elements;
    }
    if (count == 2)
        return parity == addon2_parity[(size_t)(((digits[0] - '0') * 10 + digits[1] - '0') % 4)];
    // Five digits: weights 3 and 9 alternating from the first, modulo 10,
    // pick the parity.
    int sum = 0;
    for (int k = 0; k < 5; k++)
        sum += (digits[(size_t)k] - '0') * (k % 2 ? 9 : 3);
    return parity == upce_parity(0, sum % 10).substr(1);
}

bool decode(const decode_input &in, int start, decode_output &out) {
    auto w = in.widths;
    int n = (int)w.size();
    // What every layout needs, from the start guard's two sums (each 2 X,
    // 1.5 to 2.5 X as read): sums within 5/3 of each other, and a space of 5
    // X, so more than twice either sum, before them. Most positions that
    // are no symbol end here.
    if (start + 3 > n - 1)
        return decode_failure(out, start, "too few elements for an EAN/UPC symbol");
    double e1 = w[(size_t)start] + w[(size_t)start + 1], e2 = w[(size_t)start + 1] + w[(size_t)start + 2];
    if (!(w[(size_t)start - 1] > 2 * std::max(e1, e2)) || 3 * e1 >= 5 * e2 || 3 * e2 >= 5 * e1)
        return decode_failure(out, start, "no EAN/UPC start guard after a space of 5 X");

    // The layouts shortest first, their widths summed once.
    failure f;
    main_symbol m;
    bool found = false;
    double span = 0;
    int summed = start;
    for (const layout *l : {&upce, &ean8, &ean13}) {
        int last = start + l->elements() - 1;
        if (last + 1 > n - 1) {
            fail(f, start, "too few elements for an EAN/UPC symbol");
            break;
        }
        for (; summed <= last; summed++)
            span += w[(size_t)summed];
        if ((found = read_main(w, start, *l, span / l->modules(), m, f)))
            break;
    }
    if (!found)
        return decode_failure(out, f.reached, std::move(f.why));

    // An add-on: bars within 12 X after the symbol that span the modules of
    // an add-on up to the next space of 5 X. Such bars are an add-on: they
    // must read and lie at least 7 X away, or the symbol fails rather than
    // lose the add-on's data. EAN-8 sends its 8 digits alone (]E4), so it
    // takes no add-on.
    std::string addon;
    int last = m.last;
    double v = m.decodability;
    double gap = w[(size_t)(m.last + 1)] / m.x;
    int first = m.last + 2;
    if (m.kind != &ean8 && gap <= addon_gap_max + module_precision && first < n - 1) {
        int end = first;
        double extent = w[(size_t)first];
        while (end + 2 < n && w[(size_t)(end + 1)] < boundary * m.x) {
            extent += w[(size_t)(end + 1)] + w[(size_t)(end + 2)];
            end += 2;
        }
        for (const addon_size &size : addon_sizes) {
            if (std::abs(extent / m.x - size.modules) > addon_extent_tolerance)
                continue;
            if (gap < addon_gap_min - module_precision) {
                char text[80];
                std::snprintf(text, sizeof text, "the add-on lies %.1f X after the symbol, closer than 7 X",
                              gap);
                return decode_failure(out, first, text);
            }
            double addon_v;
            if (!read_addon(w, first, end, size, addon, addon_v))
                return decode_failure(out, first,
                                      std::to_string(size.digits) + "-digit add-on does not read");
            last = end;
            v = std::min(v, addon_v);
        }
    }
    if (too_marginal(out, last, v))
        return false;

    // Quiet zones. EAN-13 with a leading 0 is also a UPC-A symbol; it is held
    // to whichever of the two sets of quiet zones it meets better.
    double quiet_left = m.kind->quiet_left, quiet_right = addon.empty() ? m.kind->quiet_right : addon_quiet;
    if (m.kind == &ean13 && m.digits[0] == '0') {
        double left = w[(size_t)(start - 1)], right = w[(size_t)(last + 1)];
        double upca_right = addon.empty() ? upca_quiet : addon_quiet;
        double as_ean = std::min(left / quiet_left, right / quiet_right);
        double as_upca = std::min(left / upca_quiet, right / upca_right);
        if (as_upca > as_ean) {
            quiet_left = upca_quiet;
            quiet_right = upca_right;
        }
    }

    out.identifier = m.kind == &ean8 ? "]E4" : addon.empty() ? "]E0" : "]E3";
    out.data = m.digits + addon;
    out.decodability = v;
    out.last = last;
    out.module = m.x;
    out.quiet_before = quiet_left * m.x;
    out.quiet_after = quiet_right * m.x;
    return true;
}

} // namespace

const decoder ean_upc_decoder = {VERIFY_EAN_UPC, decode};

} // namespace verify
