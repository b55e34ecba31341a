// One scan: element edges at the midpoint between Rs and Rb, the scan grade
// as the lowest parameter grade (defects included), grades that move the
// right way on synthetic Code 39 profiles, and profiles without a symbol.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>

#include "readersim.h"
#include "verify_test.h"

using namespace verifytest;

namespace {

// Code 39 "*A*" (narrow 4, wide 10, gaps 4, quiet zones 40), from the table.
const std::vector<int> star_a_star = two_width_widths({"nwnnwnwnn", "wnnnnwnnw", "nwnnwnwnn"}, 4, 10, 4, 40);

// The first sample of element k of a drawing.
size_t sample_of(const std::vector<int> &widths, size_t k) {
    return (size_t)std::accumulate(widths.begin(), widths.begin() + (ptrdiff_t)k, 0);
}

TEST(VerifyScan, EdgesLieAtTheMidpointBetweenRsAndRb) {
    // A bar at 0.05, a ramp, and a space that reaches only 0.55 (then bars
    // and spaces at full contrast so that GT = 0.50). Between the bar and
    // that space the midpoint is 0.30: the profile crosses it between the
    // ramp's 0.15 and 0.35, a quarter of the way back from 0.35, whereas it
    // crosses GT a quarter of the way back from 0.55.
    std::vector<double> r(20, 0.95);
    r.insert(r.end(), 6, 0.05);
    size_t ramp = r.size();
    r.insert(r.end(), {0.15, 0.35, 0.55, 0.55, 0.55, 0.35, 0.15});
    r.insert(r.end(), 6, 0.05);
    r.insert(r.end(), 20, 0.95);
    auto scan = grade(r);
    ASSERT_EQ(scan->element_count, 5);
    EXPECT_DOUBLE_EQ(scan->gt, 0.50);
    const verify_element_t &space = scan->element[2];
    EXPECT_EQ(space.bar, 0);
    EXPECT_DOUBLE_EQ(space.reflectance, 0.55);
    EXPECT_DOUBLE_EQ(space.start, ramp + 0.75);     // midpoint 0.30, not GT
    EXPECT_DOUBLE_EQ(space.end, ramp + 5.25);       // the same on the way down
    EXPECT_DOUBLE_EQ(scan->element[1].start, 19.5); // full contrast: midpoint 0.50
    EXPECT_DOUBLE_EQ(scan->element[0].start, -0.5);
    EXPECT_DOUBLE_EQ(scan->element[4].end, r.size() - 0.5);
    // Its edge contrast is the smallest: 0.55 - 0.05.
    EXPECT_NEAR(scan->param[VERIFY_P_ECMIN].value, 0.50, 1e-12);
    EXPECT_NEAR(scan->param[VERIFY_P_MOD].value, 0.50 / 0.90, 1e-12);
}

TEST(VerifyScan, ScanGradeIsTheLowestParameter) {
    struct row {
        const char *what;
        std::vector<double> profile;
        int parameter; // the one parameter made worse
        double value;  // its value, by hand
        double grade;  // its grade, by hand; the scan grade too
    };
    std::vector<double> clean = draw(star_a_star);
    // A dip of 0.198 in A's wide space: defects 0.198 / 0.90 = 0.22, grade
    // 2 + 0.03/0.05 = 2.6.
    std::vector<double> dip = clean;
    size_t wide_space = sample_of(star_a_star, 16);
    dip[wide_space + 4] = dip[wide_space + 5] = 0.95 - 0.198;
    // A narrow space of A at 0.55: ECmin 0.50, MOD 0.50/0.90 = 0.556, 2.5.
    std::vector<double> low_space = draw(star_a_star, 0.05, 0.95, {{12, 0.55}});
    // The left quiet zone at 0.55: the edge contrast of the quiet zones
    // counts too.
    std::vector<double> dim_quiet = draw(star_a_star, 0.05, 0.95, {{0, 0.55}});
    // The same space beside bars at 0.42: ECmin 0.13 fails, and MOD 0.144.
    std::vector<double> low_edge = draw(star_a_star, 0.05, 0.95, {{11, 0.42}, {12, 0.55}, {13, 0.42}});
    // Narrow 6, wide 12, A's first narrow space 8: narrow mean 19/3,
    // RT = 55/6, K = 7/6, half distance 17/6: V = 7/17 = 0.412, grade
    // 2 + (0.412 - 0.37)/0.13 = 2.32, so 2.3.
    // (X = (12 + 19/3)/3 = 6.1: quiet zones of 70 samples.)
    std::vector<int> slack = two_width_widths({"nwnnwnwnn", "wnnnnwnnw", "nwnnwnwnn"}, 6, 12, 6, 70);
    slack[12] = 8;
    // Left quiet zone of 30 samples where 40 are needed: ratio 0.75.
    std::vector<int> short_quiet = star_a_star;
    short_quiet.front() = 30;
    // A's wide bar made narrow: four wide elements, no character.
    std::vector<int> broken = star_a_star;
    broken[11] = 4;
    static const row rows[] = {
        {"clean", clean, VERIFY_P_DECODE, 1, 4.0},
        {"contrast 0.50", draw(star_a_star, 0.25, 0.75), VERIFY_P_SC, 0.50, 2.6},
        {"Rmin above half of Rmax", draw(star_a_star, 0.45, 0.85), VERIFY_P_RMIN, 0.45, 0.0},
        {"low space", low_space, VERIFY_P_MOD, 0.50 / 0.90, 2.5},
        {"dim quiet zone", dim_quiet, VERIFY_P_MOD, 0.50 / 0.90, 2.5},
        {"low edge", low_edge, VERIFY_P_ECMIN, 0.13, 0.0},
        {"dip", dip, VERIFY_P_DEFECTS, 0.22, 2.6},
        {"slack widths", draw(slack), VERIFY_P_DECODABILITY, 7.0 / 17, 2.3},
        {"short quiet zone", draw(short_quiet), VERIFY_P_QUIET_ZONE, 0.75, 0.0},
        {"broken character", draw(broken), VERIFY_P_DECODE, 0, 0.0},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        auto scan = grade(r.profile);
        EXPECT_NEAR(scan->param[r.parameter].value, r.value, 1e-9);
        EXPECT_DOUBLE_EQ(scan->param[r.parameter].grade, r.grade);
        EXPECT_DOUBLE_EQ(scan->grade, r.grade);
        EXPECT_EQ(scan->letter, verify_grade_letter(r.grade));
        // Every other parameter is a 4, except those that follow from the
        // one made worse: SC with Rmin, MOD with ECmin, all with the decode.
        for (int p = 0; p < VERIFY_PARAMETERS; p++) {
            bool follows = (r.parameter == VERIFY_P_RMIN && p == VERIFY_P_SC) ||
                           (r.parameter == VERIFY_P_ECMIN && p == VERIFY_P_MOD) ||
                           (r.parameter == VERIFY_P_DECODE && r.value == 0 &&
                            (p == VERIFY_P_DECODABILITY || p == VERIFY_P_QUIET_ZONE));
            if (p != r.parameter && !follows) {
                EXPECT_EQ(scan->param[p].grade, 4.0) << verify_parameter_name(p);
            }
        }
    }
}

// The synthetic Code 39 profiles of the reader simulator, as reflectances.
std::unique_ptr<verify_scan_t> grade_samples(const std::vector<uint8_t> &s) {
    auto scan = std::make_unique<verify_scan_t>();
    EXPECT_EQ(verify_samples(s.data(), s.size(), 0, 0xFF00, nullptr, scan.get()), VERIFY_OK);
    return scan;
}

TEST(VerifyScan, LowerContrastLowersSymbolContrast) {
    struct row {
        double low, high; // sample values of bars and spaces: SC = (high - low)/255
        double sc_grade;  // by hand
    };
    static const row rows[] = {
        {10, 240, 4.0},  // 0.902
        {50, 215, 3.6},  // 0.647: 3 + 0.097/0.15
        {70, 190, 2.4},  // 0.471: 2 + 0.071/0.15
        {90, 160, 1.3},  // 0.275: 1 + 0.075/0.20
        {110, 150, 0.1}, // 0.157: 0.007/0.05
    };
    double previous = 5;
    for (size_t k = 0; k < std::size(rows); k++) {
        SCOPED_TRACE("row " + std::to_string(k));
        readersim::profile p;
        p.low = rows[k].low;
        p.high = rows[k].high;
        auto scan = grade_samples(readersim::make_samples(p));
        EXPECT_EQ(symbol_of(*scan), "]A0KESTREL") << scan->failure;
        EXPECT_DOUBLE_EQ(scan->param[VERIFY_P_SC].grade, rows[k].sc_grade) << scan->param[VERIFY_P_SC].value;
        EXPECT_LT(scan->param[VERIFY_P_SC].grade, previous);
        EXPECT_LE(scan->grade, scan->param[VERIFY_P_SC].grade);
        previous = scan->param[VERIFY_P_SC].grade;
    }
}

TEST(VerifyScan, BlurLowersModulationAndDecodability) {
    // Narrow elements of 6 samples: the blur eats the narrow elements'
    // contrast, and the edges midway between the adjoining Rs and Rb widen
    // them until the decode fails.
    static const double blurs[] = {1.0, 2.0, 2.5, 3.0, 3.5};
    std::vector<std::unique_ptr<verify_scan_t>> scans;
    for (double blur : blurs) {
        SCOPED_TRACE("blur " + std::to_string(blur));
        readersim::profile p;
        p.narrow = 6;
        p.ratio = 2.5;
        p.blur = blur;
        scans.push_back(grade_samples(readersim::make_samples(p)));
        const verify_scan_t &s = *scans.back();
        ASSERT_EQ(symbol_of(s), "]A0KESTREL") << s.failure;
        if (scans.size() > 1) {
            const verify_scan_t &before = *scans[scans.size() - 2];
            EXPECT_LT(s.param[VERIFY_P_MOD].value, before.param[VERIFY_P_MOD].value);
            EXPECT_LE(s.param[VERIFY_P_MOD].grade, before.param[VERIFY_P_MOD].grade);
            EXPECT_LE(s.param[VERIFY_P_DECODABILITY].value, before.param[VERIFY_P_DECODABILITY].value + 0.02);
        }
    }
    EXPECT_EQ(scans.front()->param[VERIFY_P_MOD].grade, 4.0);
    EXPECT_LT(scans.back()->param[VERIFY_P_MOD].grade, 1.0);
    EXPECT_GT(scans.front()->param[VERIFY_P_DECODABILITY].value,
              scans.back()->param[VERIFY_P_DECODABILITY].value + 0.1);
    EXPECT_LT(scans.back()->grade, 1.0);

    // More blur: no decode.
    readersim::profile p;
    p.narrow = 6;
    p.blur = 4.5;
    auto lost = grade_samples(readersim::make_samples(p));
    EXPECT_EQ(lost->decoded, 0);
    EXPECT_EQ(lost->grade, 0.0);
}

TEST(VerifyScan, SpikesRaiseDefects) {
    readersim::profile p;
    p.blur = 0.8;
    std::vector<uint8_t> clean = readersim::make_samples(p);
    auto base = grade_samples(clean);
    ASSERT_TRUE(base->decoded);
    // The middle of the widest space and of the widest bar inside the symbol.
    int space = -1, bar = -1;
    for (int k = base->symbol_first; k <= base->symbol_last; k++) {
        const verify_element_t &e = base->element[k];
        int &best = e.bar ? bar : space;
        if (best < 0 || e.end - e.start > base->element[best].end - base->element[best].start)
            best = k;
    }
    ASSERT_GE(space, 0);
    ASSERT_GE(bar, 0);
    auto middle = [&](int k) {
        return (size_t)std::lround((base->element[k].start + base->element[k].end) / 2);
    };
    // Spike depths in sample units; SC is 190 units.
    static const int depths[] = {0, 20, 40, 60, 80};
    double previous = -1;
    for (int depth : depths) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        std::vector<uint8_t> s = clean;
        s[middle(space)] = (uint8_t)(s[middle(space)] - depth);
        s[middle(bar)] = (uint8_t)(s[middle(bar)] + depth / 2);
        auto scan = grade_samples(s);
        EXPECT_TRUE(scan->decoded) << scan->failure;
        EXPECT_NEAR(scan->param[VERIFY_P_DEFECTS].value, depth / 190.0, 0.02);
        EXPECT_GT(scan->param[VERIFY_P_DEFECTS].value, previous);
        previous = scan->param[VERIFY_P_DEFECTS].value;
    }
    // A dip in a quiet zone counts too: 70 of 190 is past 0.30.
    std::vector<uint8_t> s = clean;
    s[40] = (uint8_t)(s[40] - 70);
    auto scan = grade_samples(s);
    EXPECT_NEAR(scan->param[VERIFY_P_DEFECTS].value, 70 / 190.0, 0.02);
    EXPECT_EQ(scan->param[VERIFY_P_DEFECTS].grade, 0.0);
}

TEST(VerifyScan, ShortenedQuietZoneFails) {
    readersim::profile p;
    std::vector<uint8_t> full = readersim::make_samples(p);
    auto base = grade_samples(full);
    ASSERT_TRUE(base->decoded);
    EXPECT_EQ(base->param[VERIFY_P_QUIET_ZONE].grade, 4.0);
    double x = base->module;
    // Keep 12, 9 and 5 modules of the left quiet zone: 12 passes, the
    // others fail; the right-hand one stays whole.
    struct row {
        double modules;
        double grade;
    };
    static const row rows[] = {{12, 4.0}, {9, 0.0}, {5, 0.0}};
    for (const row &r : rows) {
        SCOPED_TRACE(std::to_string(r.modules) + " modules");
        size_t cut = (size_t)std::lround(base->element[base->symbol_first].start - r.modules * x);
        std::vector<uint8_t> s(full.begin() + (ptrdiff_t)cut, full.end());
        auto scan = grade_samples(s);
        ASSERT_EQ(symbol_of(*scan), "]A0KESTREL") << scan->failure;
        EXPECT_EQ(scan->param[VERIFY_P_QUIET_ZONE].grade, r.grade);
        EXPECT_NEAR(scan->quiet_end[0] - scan->quiet_start[0], r.modules * x, 1.0);
        EXPECT_NEAR(scan->quiet_required[0], 10 * x, 1e-9);
        EXPECT_NEAR(scan->param[VERIFY_P_QUIET_ZONE].value, r.modules / 10, 0.05);
        if (r.grade == 0) {
            EXPECT_EQ(scan->grade, 0.0);
        }
    }
}

TEST(VerifyScan, ProfilesWithoutASymbolGradeZero) {
    std::vector<std::vector<uint8_t>> profiles;
    profiles.push_back({});
    profiles.push_back(std::vector<uint8_t>(2048, 128));
    std::vector<uint8_t> noise(2048);
    for (size_t i = 0; i < noise.size(); i++)
        noise[i] = (uint8_t)(120 + (i * 7919 % 17));
    profiles.push_back(noise);
    std::vector<uint8_t> step(2048, 220);
    std::fill(step.begin() + 1024, step.end(), 30);
    profiles.push_back(step);
    std::vector<uint8_t> one_bar(2048, 220);
    std::fill(one_bar.begin() + 1000, one_bar.begin() + 1040, 30);
    profiles.push_back(one_bar);
    // A symbol cut by the end of the scan.
    readersim::profile p;
    p.narrow = 0; // fills the scan
    std::vector<uint8_t> cut = readersim::make_samples(p);
    cut.resize(1500);
    profiles.push_back(cut);
    static const char *const reasons[] = {
        "empty profile",
        "no contrast",
        "no start of a symbol of the symbologies tried",
        "no start of a symbol of the symbologies tried",
        "no start of a symbol of the symbologies tried",
        "Code 39: no stop character",
    };
    ASSERT_EQ(profiles.size(), std::size(reasons));
    for (size_t k = 0; k < profiles.size(); k++) {
        SCOPED_TRACE("profile " + std::to_string(k));
        auto scan = grade_samples(profiles[k]);
        EXPECT_EQ(scan->decoded, 0);
        EXPECT_EQ(scan->symbology, VERIFY_NONE);
        EXPECT_EQ(scan->symbol_length, 0);
        EXPECT_STREQ(scan->symbol, "");
        EXPECT_STREQ(scan->failure, reasons[k]);
        EXPECT_EQ(scan->param[VERIFY_P_DECODE].grade, 0.0);
        EXPECT_EQ(scan->param[VERIFY_P_DECODABILITY].grade, 0.0);
        EXPECT_EQ(scan->param[VERIFY_P_QUIET_ZONE].grade, 0.0);
        EXPECT_EQ(scan->grade, 0.0);
        EXPECT_EQ(scan->letter, 'F');
        EXPECT_EQ(scan->symbol_first, -1);
    }
}

} // namespace
