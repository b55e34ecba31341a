// Grades. SC, modulation, defects and decodability are graded to one
// decimal by linear interpolation between the thresholds of the grades 4, 3,
// 2 and 1 (so MOD 0.65 grades 3.5). Below grade 1 a band falls linearly to
// 0.0 for SC (0.20 to 0.15), modulation (0.40 to 0.30) and decodability
// (0.25 to 0.20); defects have no such band, past 0.30 they grade 0.0. That
// band is what published tables of the current edition show for these
// parameters; its exact wording was not at hand.
#include "grades.h"

#include <array>
#include <cmath>

namespace verify {

double to_tenth(double grade) {
    // The small allowance keeps 3.4999999 (0.65 - 0.60 in binary) at 3.5.
    return std::floor(grade * 10 + 1e-6) / 10;
}

namespace {

// Values at which grades 4, 3, 2, 1 and 0 are reached, on a rising or a
// falling scale; equal last two values mean no band below grade 1.
using scale = std::array<double, 5>;

double interpolated(double value, const scale &at) {
    bool rising = at[0] > at[3];
    auto reaches = [&](double v, double limit) { return rising ? v >= limit : v <= limit; };
    if (reaches(value, at[0]))
        return 4.0;
    for (int k = 1; k <= 4; k++)
        if (at[k] != at[k - 1] && reaches(value, at[k]))
            return to_tenth((4 - k) + (value - at[k]) / (at[k - 1] - at[k]));
    return 0.0;
}

constexpr scale sc_scale = {0.70, 0.55, 0.40, 0.20, 0.15};
constexpr scale mod_scale = {0.70, 0.60, 0.50, 0.40, 0.30};
constexpr scale defects_scale = {0.15, 0.20, 0.25, 0.30, 0.30};
constexpr scale decodability_scale = {0.62, 0.50, 0.37, 0.25, 0.20};

} // namespace

double grade_sc(double sc) { return interpolated(sc, sc_scale); }
double grade_modulation(double mod) { return interpolated(mod, mod_scale); }
double grade_defects(double defects) { return interpolated(defects, defects_scale); }
double grade_decodability(double v) { return interpolated(v, decodability_scale); }
double grade_rmin(double rmin, double rmax) { return rmin <= 0.5 * rmax ? 4.0 : 0.0; }
double grade_ecmin(double ecmin) { return ecmin >= 0.15 ? 4.0 : 0.0; }

char grade_letter(double grade) {
    if (grade >= 3.5)
        return 'A';
    if (grade >= 2.5)
        return 'B';
    if (grade >= 1.5)
        return 'C';
    if (grade >= 0.5)
        return 'D';
    return 'F';
}

} // namespace verify
