// The shared character readers on widths worked out by hand: the two-width
// reference threshold and the edge-to-similar-edge measurement.
#include <gtest/gtest.h>

#include <iterator>

#include "similar_edge.h"
#include "two_width.h"

using namespace verify;

namespace {

TEST(VerifyCharacters, TwoWidthReferenceThreshold) {
    struct row {
        std::vector<double> widths;
        int wide;
        bool ok;
        unsigned pattern;
        double threshold, decodability;
    };
    static const row rows[] = {
        // Code 39 "*": RT midway between 4 and 10, every element 3 from it.
        {{4, 10, 4, 4, 10, 4, 10, 4, 4}, 3, true, 0b010010100, 7, 1},
        // A narrow element of 5: narrow mean 25/6, RT 85/12, K 25/12 over a
        // half distance of 35/12.
        {{4, 10, 5, 4, 10, 4, 10, 4, 4}, 3, true, 0b010010100, 85.0 / 12, 5.0 / 7},
        // Interleaved 2 of 5 "1" (wnnnw) at 3:1 with one narrow of 6:
        // narrow 14/3, RT 25/3, K 7/3 over 11/3.
        {{12, 6, 4, 4, 12}, 2, true, 0b10001, 25.0 / 3, 7.0 / 11},
        // A narrow element of 9 beside wide ones of 10: the narrow mean is
        // 14/6 and RT 37/6, which leaves four elements wider than RT.
        {{10, 1, 9, 1, 10, 1, 10, 1, 1}, 3, false, 0, 0, 0},
        // Equal widths: no threshold.
        {{5, 5, 5, 5, 5}, 2, false, 0, 0, 0},
        // Counts out of range.
        {{4, 10}, 2, false, 0, 0, 0},
        {{4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, 3, false, 0, 0, 0},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        two_width_char c;
        ASSERT_EQ(read_two_width(r.widths.data(), (int)r.widths.size(), r.wide, c), r.ok) << "row " << k;
        if (!r.ok)
            continue;
        EXPECT_EQ(c.pattern, r.pattern) << "row " << k;
        EXPECT_NEAR(c.threshold, r.threshold, 1e-12) << "row " << k;
        EXPECT_NEAR(c.decodability, r.decodability, 1e-12) << "row " << k;
    }
    // A guard element against a character's threshold: RT 7, half distance 3.
    two_width_char c;
    double star[9] = {4, 10, 4, 4, 10, 4, 10, 4, 4};
    ASSERT_TRUE(read_two_width(star, 9, 3, c));
    EXPECT_DOUBLE_EQ(two_width_margin(c, 4, false), 1.0);
    EXPECT_DOUBLE_EQ(two_width_margin(c, 8.5, true), 0.5);
    EXPECT_DOUBLE_EQ(two_width_margin(c, 8.5, false), -0.5);
}

TEST(VerifyCharacters, SimilarEdgeMeasurement) {
    struct row {
        std::vector<double> widths;
        int modules;
        std::vector<int> sums;
        double decodability;
    };
    static const row rows[] = {
        // An EAN digit 3-2-1-1 at two samples per module: e = 10, 6.
        {{6, 4, 2, 2}, 7, {5, 3}, 1.0},
        // p = 14 still; e1 = 10.5 is 5.25 modules: a quarter off, V 0.5.
        {{6.5, 4, 2, 1.5}, 7, {5, 3}, 0.5},
        // A Code 128 character 2-1-2-2-2-2 (11 modules) at 3 samples: e = 9, 9, 12, 12.
        {{6, 3, 6, 6, 6, 6}, 11, {3, 3, 4, 4}, 1.0},
        // e2 at 3.4 modules rounds to 3 with V 1 - 2 * 0.4 = 0.2.
        {{6, 3, 7.2, 6, 6, 4.8}, 11, {3, 3, 4, 4}, 0.2},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        similar_edge_char c;
        ASSERT_TRUE(measure_similar_edges(r.widths.data(), (int)r.widths.size(), r.modules, c))
            << "row " << k;
        ASSERT_EQ(c.count, (int)r.sums.size()) << "row " << k;
        for (size_t i = 0; i < r.sums.size(); i++)
            EXPECT_EQ(c.sums[i], r.sums[i]) << "row " << k << " sum " << i;
        EXPECT_NEAR(c.decodability, r.decodability, 1e-12) << "row " << k;
    }
    similar_edge_char c;
    double none[4] = {0, 0, 0, 0};
    EXPECT_FALSE(measure_similar_edges(none, 4, 7, c));
    EXPECT_FALSE(measure_similar_edges(none, 2, 7, c));
}

} // namespace
