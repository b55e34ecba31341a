// Scan profile analysis: reflectance parameters, element edges, Code 39
// decode and decodability, and the grades of ISO/IEC 15416.
#include "analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "profile_output.h"

namespace host {

char grade_letter(int grade) {
    static const char letters[5] = {'F', 'D', 'C', 'B', 'A'};
    return letters[std::clamp(grade, 0, 4)];
}

namespace {

// Grade from four descending thresholds (A, B, C, D); below the last is F.
int grade_from(double value, const double (&limits)[4]) {
    for (int k = 0; k < 4; k++)
        if (value >= limits[k])
            return 4 - k;
    return 0;
}

} // namespace

int grade_symbol_contrast(double sc) {
    static const double limits[4] = {0.70, 0.55, 0.40, 0.20};
    return grade_from(sc, limits);
}

int grade_rmin(double rmin, double rmax) { return rmin <= 0.5 * rmax ? 4 : 0; }

int grade_edge_contrast(double ecmin) { return ecmin >= 0.15 ? 4 : 0; }

int grade_modulation(double mod) {
    static const double limits[4] = {0.70, 0.60, 0.50, 0.40};
    return grade_from(mod, limits);
}

int grade_defects(double defects) {
    static const double limits[4] = {0.15, 0.20, 0.25, 0.30};
    for (int k = 0; k < 4; k++)
        if (defects <= limits[k])
            return 4 - k;
    return 0;
}

int grade_decodability(double v) {
    static const double limits[4] = {0.62, 0.50, 0.37, 0.25};
    return grade_from(v, limits);
}

namespace {

// Code 39 characters: five bars with two wide and four spaces with one
// wide, or five narrow bars with three wide spaces. Masks put the first
// element in the highest bit.
//
// The ten bar masks with two wide bars, in the order of the columns of
// the rows below (1 to 9, then 0).
constexpr uint8_t bar_masks[10] = {0b10001, 0b01001, 0b11000, 0b00101, 0b10100,
                                   0b01100, 0b00011, 0b10010, 0b01010, 0b00110};
// Each row of characters has its own wide space.
constexpr uint8_t row_space_masks[4] = {0b0100, 0b0010, 0b0001, 0b1000};
constexpr const char *rows[4] = {"1234567890", "ABCDEFGHIJ", "KLMNOPQRST", "UVWXYZ-. *"};
// All bars narrow: the four symbols, told apart by their narrow space.
constexpr uint8_t symbol_space_masks[4] = {0b1110, 0b1101, 0b1011, 0b0111};
constexpr char symbols[] = "$/+%";
static_assert(sizeof symbols == 5, "four symbols and the terminator");

// The character of nine wide flags, or 0 when they form none.
char code39_char(const bool (&wide)[9]) {
    unsigned bars = 0, spaces = 0;
    for (int e = 0; e < 9; e++) {
        if (e % 2 == 0)
            bars = bars << 1 | (wide[e] ? 1u : 0u);
        else
            spaces = spaces << 1 | (wide[e] ? 1u : 0u);
    }
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 10; c++)
            if (bars == bar_masks[c] && spaces == row_space_masks[r])
                return rows[r][c];
    for (int s = 0; s < 4; s++)
        if (bars == 0 && spaces == symbol_space_masks[s])
            return symbols[s];
    return 0;
}

// Where the profile crosses `level` between samples i and i + 1.
double crossing(const std::vector<double> &r, int i, double level) {
    double d = r[i + 1] - r[i];
    return d == 0 ? i + 0.5 : i + (level - r[i]) / d;
}

// Element reflectance non-uniformity of the samples first..last: for a
// space, the depth of its deepest valley below the lower of the highest
// reflectances on either side of it; for a bar the same upside down. An
// element without a valley between two higher parts scores 0, so the
// slopes at its edges do not count.
double non_uniformity(const std::vector<double> &r, int first, int last, bool bar) {
    double sign = bar ? -1 : 1; // a bar's peaks are a space's valleys
    int n = last - first + 1;
    std::vector<double> best_left(n), best_right(n);
    for (int k = 0; k < n; k++)
        best_left[k] = std::max(k ? best_left[k - 1] : -2.0, sign * r[first + k]);
    for (int k = n - 1; k >= 0; k--)
        best_right[k] = std::max(k < n - 1 ? best_right[k + 1] : -2.0, sign * r[first + k]);
    double ern = 0;
    for (int k = 0; k < n; k++)
        ern = std::max(ern, std::min(best_left[k], best_right[k]) - sign * r[first + k]);
    return ern;
}

// Splits the profile into runs above the threshold (spaces) and at or
// below it (bars), with their edges, extremes and non-uniformity.
void find_elements(const std::vector<double> &r, profile_analysis &a) {
    int n = (int)r.size();
    int first = 0;
    for (int i = 0; i < n; i++) {
        bool bar = r[i] <= a.gt;
        if (i + 1 < n && (r[i + 1] <= a.gt) == bar)
            continue;
        element e;
        e.bar = bar;
        e.first = first;
        e.last = i;
        e.start = a.edges.empty() ? -0.5 : a.edges.back();
        if (i + 1 < n)
            a.edges.push_back(crossing(r, i, a.gt));
        e.end = i + 1 < n ? a.edges.back() : n - 0.5;
        auto [lo, hi] = std::minmax_element(r.begin() + first, r.begin() + i + 1);
        e.extreme = bar ? *lo : *hi;
        e.ern = non_uniformity(r, first, i, bar);
        a.elements.push_back(e);
        first = i + 1;
    }
    a.elements.front().quiet = true;
    a.elements.back().quiet = true;
}

// One character's classification: wide where wider than the reference
// threshold, which lies midway between the mean width of its three widest
// and of its six narrowest elements. Its decodability is the margin of the
// element nearest to the threshold, as a fraction of the half distance
// between those means (1 for perfect widths).
struct character_read {
    char c = 0;
    double narrow_mean = 0;
    double decodability = 0;
};

character_read read_character(const double *widths) {
    character_read out;
    double sorted[9];
    std::copy(widths, widths + 9, sorted);
    std::sort(sorted, sorted + 9);
    double narrow = 0, wide = 0;
    for (int k = 0; k < 6; k++)
        narrow += sorted[k] / 6;
    for (int k = 6; k < 9; k++)
        wide += sorted[k] / 3;
    out.narrow_mean = narrow;
    double half = (wide - narrow) / 2;
    if (half <= 0)
        return out;
    double threshold = narrow + half;
    bool flags[9];
    double largest_narrow = 0, smallest_wide = 1e300;
    for (int e = 0; e < 9; e++) {
        flags[e] = widths[e] > threshold;
        if (flags[e])
            smallest_wide = std::min(smallest_wide, widths[e]);
        else
            largest_narrow = std::max(largest_narrow, widths[e]);
    }
    out.c = code39_char(flags);
    if (out.c)
        out.decodability = std::min(threshold - largest_narrow, smallest_wide - threshold) / half;
    return out;
}

// The widest inter-character gap accepted, in mean narrow widths.
constexpr double max_gap = 5.3;

// Decodes the symbol's element widths (bars and spaces between the quiet
// zones, in reading order). false with a reason when they are no symbol.
bool decode_widths(const std::vector<double> &widths, profile_analysis &a, std::string &failure) {
    size_t n = widths.size();
    if (n < 19 || (n + 1) % 10 != 0) {
        failure = "the " + std::to_string(n) + " elements do not make whole Code 39 characters";
        return false;
    }
    size_t chars = (n + 1) / 10;
    std::string text;
    double v = 1;
    for (size_t k = 0; k < chars; k++) {
        character_read cr = read_character(&widths[10 * k]);
        if (!cr.c) {
            failure = "character " + std::to_string(k + 1) + " is not a Code 39 character";
            return false;
        }
        bool outer = k == 0 || k == chars - 1;
        if ((cr.c == '*') != outer) {
            failure = outer ? "no start or stop character" : "a start/stop character inside the symbol";
            return false;
        }
        if (k + 1 < chars && widths[10 * k + 9] > max_gap * cr.narrow_mean) {
            failure = "the gap after character " + std::to_string(k + 1) + " is too wide";
            return false;
        }
        if (!outer)
            text += cr.c;
        v = std::min(v, cr.decodability);
    }
    a.data = text;
    a.decodability = v;
    return true;
}

void decode(profile_analysis &a) {
    const auto &el = a.elements;
    if (el.size() < 3 || el.front().bar || el.back().bar) {
        a.failure = el.size() < 3 ? "no bars between quiet zones" : "no quiet zone at an end of the profile";
        return;
    }
    std::vector<double> widths;
    for (size_t k = 1; k + 1 < el.size(); k++)
        widths.push_back(el[k].end - el[k].start);
    std::string failure;
    if (decode_widths(widths, a, failure)) {
        a.decoded = true;
        return;
    }
    std::reverse(widths.begin(), widths.end());
    std::string ignored;
    if (decode_widths(widths, a, ignored)) {
        a.decoded = true;
        a.reversed = true;
        return;
    }
    a.failure = failure;
}

} // namespace

profile_analysis analyse_profile(const std::vector<double> &r) {
    profile_analysis a;
    if (r.empty()) {
        a.failure = "empty profile";
        return a;
    }
    auto [lo, hi] = std::minmax_element(r.begin(), r.end());
    a.rmin = *lo;
    a.rmax = *hi;
    a.sc = a.rmax - a.rmin;
    a.gt = a.rmin + a.sc / 2;
    a.g_sc = grade_symbol_contrast(a.sc);
    a.g_rmin = grade_rmin(a.rmin, a.rmax);
    if (a.sc <= 0) {
        a.failure = "no contrast";
        return a; // every other parameter stays at its failing value
    }

    find_elements(r, a);
    a.ecmin = a.elements.size() > 1 ? 1.0 : 0.0;
    for (size_t k = 0; k + 1 < a.elements.size(); k++)
        a.ecmin = std::min(a.ecmin, std::abs(a.elements[k].extreme - a.elements[k + 1].extreme));
    for (const auto &e : a.elements)
        a.ernmax = std::max(a.ernmax, e.ern);
    a.mod = a.ecmin / a.sc;
    a.defects = a.ernmax / a.sc;
    decode(a);

    a.g_ecmin = grade_edge_contrast(a.ecmin);
    a.g_mod = grade_modulation(a.mod);
    a.g_defects = grade_defects(a.defects);
    a.g_decodability = a.decoded ? grade_decodability(a.decodability) : 0;
    a.g_decode = a.decoded ? 4 : 0;
    a.scan_grade =
        std::min({a.g_sc, a.g_rmin, a.g_ecmin, a.g_mod, a.g_defects, a.g_decodability, a.g_decode});
    return a;
}

profile_analysis analyse_samples(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax) {
    return analyse_profile(reflectances(samples, calmin, calmax));
}

std::string decoded_symbol(const profile_analysis &a) { return a.decoded ? "]A0" + a.data : std::string(); }

} // namespace host
