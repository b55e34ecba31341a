// A symbol over several scans: the mean grade and its letter, parameter
// means, scans that disagree, the notation and the C API's arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "verify_test.h"

using namespace verifytest;

namespace {

// Scans graded by hand: decoded to `symbol` (or not, when empty) with the
// given scan grade and every parameter at that grade.
std::vector<verify_scan_t> scans_of(const std::vector<double> &grades,
                                    const std::vector<std::string> &symbols, double module = 5) {
    std::vector<verify_scan_t> scans(grades.size());
    for (size_t k = 0; k < grades.size(); k++) {
        verify_scan_t &s = scans[k];
        std::memset(&s, 0, sizeof s);
        s.grade = grades[k];
        for (auto &p : s.param)
            p = {grades[k] / 4, grades[k], verify_grade_letter(grades[k])};
        s.decoded = !symbols[k].empty();
        s.symbology = s.decoded ? VERIFY_CODE39 : VERIFY_NONE;
        std::memcpy(s.symbol, symbols[k].data(), symbols[k].size());
        s.symbol_length = (int)symbols[k].size();
        s.module = s.decoded ? module : 0;
    }
    return scans;
}

TEST(VerifySymbol, MeanOfTheScanGrades) {
    struct row {
        std::vector<double> grades;
        double grade; // the mean, cut to one decimal
        char letter;
    };
    static const row rows[] = {
        {{4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, 4.0, 'A'},
        {{4, 4, 3, 3, 4, 4, 2, 0, 1, 4}, 2.9, 'B'},
        {{3.5, 3.4}, 3.4, 'B'},      // 3.45 is cut to 3.4
        {{3.5, 3.5, 3.6}, 3.5, 'A'}, // 3.53
        {{1.5, 1.4}, 1.4, 'D'},      // 1.45
        {{0.5}, 0.5, 'D'},
        {{0.4, 0.5}, 0.4, 'F'},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        auto scans = scans_of(r.grades, std::vector<std::string>(r.grades.size(), "]A0ABC"));
        verify_symbol_t sym;
        ASSERT_EQ(verify_symbol(scans.data(), (int)scans.size(), nullptr, &sym), VERIFY_OK);
        EXPECT_DOUBLE_EQ(sym.grade, r.grade) << "row " << k;
        EXPECT_EQ(sym.letter, r.letter) << "row " << k;
        EXPECT_EQ(sym.consistent, 1);
        EXPECT_EQ(sym.scans, (int)r.grades.size());
        EXPECT_EQ(sym.decoded_scans, (int)r.grades.size());
        EXPECT_EQ(std::string(sym.symbol, (size_t)sym.symbol_length), "]A0ABC");
        EXPECT_STREQ(sym.failure, "");
    }
}

TEST(VerifySymbol, ParameterMeansAndUndecodedScans) {
    auto scans = scans_of({4, 2, 0}, {"]A0X", "]A0X", ""});
    verify_symbol_t sym;
    ASSERT_EQ(verify_symbol(scans.data(), 3, nullptr, &sym), VERIFY_OK);
    EXPECT_DOUBLE_EQ(sym.grade, 2.0);
    EXPECT_EQ(sym.decoded_scans, 2);
    EXPECT_EQ(sym.consistent, 1);
    for (int p = 0; p < VERIFY_PARAMETERS; p++) {
        EXPECT_DOUBLE_EQ(sym.mean[p].grade, 2.0) << verify_parameter_name(p);
        EXPECT_DOUBLE_EQ(sym.mean[p].value, 0.5) << verify_parameter_name(p); // (1 + 0.5 + 0) / 3
        EXPECT_EQ(sym.mean[p].letter, 'C');
    }
    EXPECT_DOUBLE_EQ(sym.module, 5); // of the decoded scans only

    auto none = scans_of({0, 0}, {"", ""});
    ASSERT_EQ(verify_symbol(none.data(), 2, nullptr, &sym), VERIFY_OK);
    EXPECT_EQ(sym.grade, 0.0);
    EXPECT_EQ(sym.symbology, VERIFY_NONE);
    EXPECT_STREQ(sym.failure, "no scan decoded");
}

TEST(VerifySymbol, ScansThatDisagreeFailTheSymbol) {
    struct row {
        std::vector<std::string> symbols;
        const char *failure;
    };
    static const row rows[] = {
        {{"]A0ABC", "]A0ABC", "]A0ABD"}, "scans 1 and 3 decoded to different data"},
        {{"", "]A0ABC", "]A0AB"}, "scans 2 and 3 decoded to different data"},
        {{"]A0ABC", "]A1ABC"}, "scans 1 and 2 decoded to different data"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        auto scans = scans_of(std::vector<double>(rows[k].symbols.size(), 4.0), rows[k].symbols);
        verify_symbol_t sym;
        ASSERT_EQ(verify_symbol(scans.data(), (int)scans.size(), nullptr, &sym), VERIFY_OK);
        EXPECT_EQ(sym.consistent, 0) << "row " << k;
        EXPECT_EQ(sym.grade, 0.0) << "row " << k;
        EXPECT_EQ(sym.letter, 'F') << "row " << k;
        EXPECT_STREQ(sym.failure, rows[k].failure) << "row " << k;
        EXPECT_EQ(sym.notation[0], '0') << sym.notation;
    }
}

TEST(VerifySymbol, Notation) {
    struct row {
        int aperture;         // option
        double mm_per_sample; // option
        int wavelength;       // option
        double module;        // X in samples
        const char *notation;
        double x_mm;
    };
    static const row rows[] = {
        {0, 0, 660, 5, "2.8/06/660", 0},             // X unknown: 06
        {0, 0.02, 660, 5, "2.8/03/660", 0.10},       // X 0.100 mm
        {0, 0.02, 660, 8.995, "2.8/03/660", 0.1799}, // below 0.180 mm: 03
        {0, 0.02, 660, 9.005, "2.8/05/660", 0.1801}, // from 0.180 mm: 05
        {0, 0.02, 660, 16.49, "2.8/05/660", 0.3298}, // below 0.330 mm: 05
        {0, 0.02, 660, 16.51, "2.8/10/660", 0.3302}, // from 0.330 mm: 10
        {0, 0.02, 660, 31.74, "2.8/10/660", 0.6348}, // below 0.635 mm: 10
        {0, 0.02, 660, 31.76, "2.8/20/660", 0.6352}, // from 0.635 mm: 20
        {10, 0.02, 660, 5, "2.8/10/660", 0.10},      // the option wins
        {6, 0, VERIFY_WHITE_LIGHT, 5, "2.8/06/W", 0},
        {6, 0, 0, 5, "2.8/06/?", 0},
        {6, 0, 65535, 5, "2.8/06/?", 0},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        auto scans = scans_of({3, 3, 2.5}, {"]A0Q", "]A0Q", "]A0Q"}, r.module); // 2.83
        verify_options_t o{};
        o.aperture = r.aperture;
        o.mm_per_sample = r.mm_per_sample;
        o.wavelength = r.wavelength;
        verify_symbol_t sym;
        ASSERT_EQ(verify_symbol(scans.data(), 3, &o, &sym), VERIFY_OK);
        EXPECT_STREQ(sym.notation, r.notation) << "row " << k;
        EXPECT_NEAR(sym.x_mm, r.x_mm, 1e-12) << "row " << k;
    }
}

TEST(VerifySymbol, ArgumentsAndOptions) {
    auto scans = scans_of({4}, {"]A0Q"});
    verify_symbol_t sym;
    EXPECT_EQ(verify_symbol(scans.data(), 1, nullptr, nullptr), VERIFY_ERR_ARGUMENT);
    EXPECT_EQ(verify_symbol(nullptr, 1, nullptr, &sym), VERIFY_ERR_ARGUMENT);
    EXPECT_STREQ(sym.failure, "no scans");
    EXPECT_EQ(sym.grade, 0.0);
    EXPECT_EQ(verify_symbol(scans.data(), 0, nullptr, &sym), VERIFY_ERR_ARGUMENT);
    verify_options_t bad{};
    bad.check = 3;
    EXPECT_EQ(verify_symbol(scans.data(), 1, &bad, &sym), VERIFY_ERR_ARGUMENT);
    EXPECT_STREQ(sym.failure, "unknown check option 3");

    // The scan's entry points check theirs, and grade the scan 0 with the reason.
    auto scan = std::make_unique<verify_scan_t>();
    double r[3] = {0.9, 0.1, 0.9};
    EXPECT_EQ(verify_profile(r, 3, nullptr, nullptr), VERIFY_ERR_ARGUMENT);
    EXPECT_EQ(verify_profile(nullptr, 3, nullptr, scan.get()), VERIFY_ERR_ARGUMENT);
    EXPECT_STREQ(scan->failure, "no profile given");
    EXPECT_EQ(verify_profile(nullptr, 0, nullptr, scan.get()), VERIFY_OK);
    EXPECT_STREQ(scan->failure, "empty profile");
    EXPECT_EQ(verify_profile(r, 3, &bad, scan.get()), VERIFY_ERR_ARGUMENT);
    EXPECT_STREQ(scan->failure, "unknown check option 3");
    bad = {};
    bad.msi_check = 9;
    EXPECT_EQ(verify_profile(r, 3, &bad, scan.get()), VERIFY_ERR_ARGUMENT);
    bad = {};
    bad.mm_per_sample = -1;
    EXPECT_EQ(verify_profile(r, 3, &bad, scan.get()), VERIFY_ERR_ARGUMENT);
    double nan[3] = {0.9, 0.0 / 0.0, 0.9};
    EXPECT_EQ(verify_profile(nan, 3, nullptr, scan.get()), VERIFY_ERR_PROFILE);
    EXPECT_EQ(scan->grade, 0.0);
    uint8_t s[3] = {200, 10, 200};
    EXPECT_EQ(verify_samples(nullptr, 3, 0, 0xFF00, nullptr, scan.get()), VERIFY_ERR_ARGUMENT);
    EXPECT_EQ(verify_samples(s, 3, 0, 0xFF00, nullptr, nullptr), VERIFY_ERR_ARGUMENT);
    EXPECT_EQ(verify_samples(s, 3, 0, 0xFF00, nullptr, scan.get()), VERIFY_OK);
    EXPECT_EQ(scan->element_count, 3);
    EXPECT_DOUBLE_EQ(scan->rmax, 200 * 256.0 / 0xFF00);
    // Without a calibration range a reading at or above calmin is 1.
    EXPECT_EQ(verify_samples(s, 3, 200 * 256, 200 * 256, nullptr, scan.get()), VERIFY_OK);
    EXPECT_DOUBLE_EQ(scan->rmax, 1.0);
    EXPECT_DOUBLE_EQ(scan->param[VERIFY_P_RMIN].value, 0.0);
}

TEST(VerifySymbol, Names) {
    static const char *const symbologies[] = {
        "EAN/UPC", "Code 39", "Interleaved 2 of 5", "Codabar", "Code 128", "GS1 DataBar", "MSI", "Code 93"};
    for (int k = 0; k < VERIFY_SYMBOLOGIES; k++)
        EXPECT_STREQ(verify_symbology_name(k), symbologies[k]);
    EXPECT_STREQ(verify_symbology_name(VERIFY_NONE), "none");
    EXPECT_STREQ(verify_symbology_name(8), "none");
    EXPECT_STREQ(verify_parameter_name(VERIFY_P_DEFECTS), "Defects");
    EXPECT_STREQ(verify_parameter_name(VERIFY_PARAMETERS), "");
    EXPECT_STREQ(verify_version(), KESTREL_VERSION);
}

} // namespace
