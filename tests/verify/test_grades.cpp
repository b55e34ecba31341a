// Grades of every graded parameter on, just above and just below each of
// its thresholds, with the expected grades worked out by hand; letters.
#include <gtest/gtest.h>

#include <iterator>

#include <kestrel/verify.h>

#include "grades.h"

using namespace verify;

namespace {

TEST(VerifyGrades, InterpolatedScalesAtEveryThreshold) {
    struct row {
        const char *parameter;
        double (*grade)(double);
        double value, expected;
    };
    // Between thresholds a grade rises linearly and is cut to one decimal:
    // SC 0.69 is 3 + 0.14/0.15 = 3.93, so 3.9.
    static const row rows[] = {
        // Symbol contrast: 0.70 / 0.55 / 0.40 / 0.20, falling to 0 at 0.15.
        {"SC", grade_sc, 0.71, 4.0},
        {"SC", grade_sc, 0.70, 4.0},
        {"SC", grade_sc, 0.69, 3.9},
        {"SC", grade_sc, 0.56, 3.0}, // 3.07
        {"SC", grade_sc, 0.55, 3.0},
        {"SC", grade_sc, 0.54, 2.9}, // 2.93
        {"SC", grade_sc, 0.41, 2.0}, // 2.07
        {"SC", grade_sc, 0.40, 2.0},
        {"SC", grade_sc, 0.39, 1.9}, // 1.95
        {"SC", grade_sc, 0.21, 1.0}, // 1.05
        {"SC", grade_sc, 0.20, 1.0},
        {"SC", grade_sc, 0.19, 0.8},
        {"SC", grade_sc, 0.16, 0.2},
        {"SC", grade_sc, 0.15, 0.0},
        {"SC", grade_sc, 0.14, 0.0},
        // Modulation: 0.70 / 0.60 / 0.50 / 0.40, falling to 0 at 0.30.
        {"MOD", grade_modulation, 0.71, 4.0},
        {"MOD", grade_modulation, 0.70, 4.0},
        {"MOD", grade_modulation, 0.69, 3.9},
        {"MOD", grade_modulation, 0.65, 3.5},
        {"MOD", grade_modulation, 0.61, 3.1},
        {"MOD", grade_modulation, 0.60, 3.0},
        {"MOD", grade_modulation, 0.59, 2.9},
        {"MOD", grade_modulation, 0.51, 2.1},
        {"MOD", grade_modulation, 0.50, 2.0},
        {"MOD", grade_modulation, 0.49, 1.9},
        {"MOD", grade_modulation, 0.41, 1.1},
        {"MOD", grade_modulation, 0.40, 1.0},
        {"MOD", grade_modulation, 0.39, 0.9},
        {"MOD", grade_modulation, 0.31, 0.1},
        {"MOD", grade_modulation, 0.30, 0.0},
        {"MOD", grade_modulation, 0.29, 0.0},
        // Defects, lower is better: 0.15 / 0.20 / 0.25 / 0.30; no band below 1.
        {"Defects", grade_defects, 0.00, 4.0},
        {"Defects", grade_defects, 0.14, 4.0},
        {"Defects", grade_defects, 0.15, 4.0},
        {"Defects", grade_defects, 0.16, 3.8},
        {"Defects", grade_defects, 0.19, 3.2},
        {"Defects", grade_defects, 0.20, 3.0},
        {"Defects", grade_defects, 0.21, 2.8},
        {"Defects", grade_defects, 0.24, 2.2},
        {"Defects", grade_defects, 0.25, 2.0},
        {"Defects", grade_defects, 0.26, 1.8},
        {"Defects", grade_defects, 0.29, 1.2},
        {"Defects", grade_defects, 0.30, 1.0},
        {"Defects", grade_defects, 0.31, 0.0},
        // Decodability: 0.62 / 0.50 / 0.37 / 0.25, falling to 0 at 0.20.
        {"V", grade_decodability, 1.00, 4.0},
        {"V", grade_decodability, 0.63, 4.0},
        {"V", grade_decodability, 0.62, 4.0},
        {"V", grade_decodability, 0.61, 3.9}, // 3.92
        {"V", grade_decodability, 0.52, 3.1}, // 3.17
        {"V", grade_decodability, 0.50, 3.0},
        {"V", grade_decodability, 0.49, 2.9}, // 2.92
        {"V", grade_decodability, 0.38, 2.0}, // 2.08
        {"V", grade_decodability, 0.37, 2.0},
        {"V", grade_decodability, 0.36, 1.9}, // 1.92
        {"V", grade_decodability, 0.26, 1.0}, // 1.08
        {"V", grade_decodability, 0.25, 1.0},
        {"V", grade_decodability, 0.24, 0.8},
        {"V", grade_decodability, 0.21, 0.2},
        {"V", grade_decodability, 0.20, 0.0},
        {"V", grade_decodability, 0.19, 0.0},
        // Edge contrast: pass from 0.15.
        {"ECmin", grade_ecmin, 0.16, 4.0},
        {"ECmin", grade_ecmin, 0.15, 4.0},
        {"ECmin", grade_ecmin, 0.149, 0.0},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        EXPECT_DOUBLE_EQ(r.grade(r.value), r.expected)
            << "row " << k << ": " << r.parameter << " " << r.value;
    }
}

TEST(VerifyGrades, RminPassesAtHalfOfRmax) {
    struct row {
        double rmin, rmax, expected;
    };
    static const row rows[] = {{0.39, 0.80, 4.0}, {0.40, 0.80, 4.0}, {0.41, 0.80, 0.0}, {0.0, 0.0, 4.0}};
    for (size_t k = 0; k < std::size(rows); k++)
        EXPECT_EQ(grade_rmin(rows[k].rmin, rows[k].rmax), rows[k].expected) << "row " << k;
}

TEST(VerifyGrades, LettersAndTenths) {
    struct row {
        double grade;
        char letter;
    };
    static const row rows[] = {{4.0, 'A'}, {3.5, 'A'}, {3.4, 'B'}, {2.5, 'B'}, {2.4, 'C'},
                               {1.5, 'C'}, {1.4, 'D'}, {0.5, 'D'}, {0.4, 'F'}, {0.0, 'F'}};
    for (size_t k = 0; k < std::size(rows); k++) {
        EXPECT_EQ(grade_letter(rows[k].grade), rows[k].letter) << "row " << k;
        EXPECT_EQ(verify_grade_letter(rows[k].grade), rows[k].letter) << "row " << k;
    }
    // Means are cut, not rounded: 3.49 stays a B.
    EXPECT_DOUBLE_EQ(to_tenth(3.49), 3.4);
    EXPECT_DOUBLE_EQ(to_tenth(2.95), 2.9);
    EXPECT_DOUBLE_EQ(to_tenth(3.0), 3.0);
}

} // namespace
