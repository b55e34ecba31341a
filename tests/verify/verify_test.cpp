// Helpers of the engine's tests.
#include "verify_test.h"

#include <gtest/gtest.h>

namespace verifytest {

std::vector<double> draw(const std::vector<int> &widths, double bar, double space,
                         const std::map<size_t, double> &levels) {
    std::vector<double> r;
    for (size_t k = 0; k < widths.size(); k++) {
        auto level = levels.find(k);
        double v = level != levels.end() ? level->second : k % 2 ? bar : space;
        r.insert(r.end(), (size_t)widths[k], v);
    }
    return r;
}

std::vector<int> two_width_widths(const std::vector<std::string> &chars, int narrow, int wide, int gap,
                                  int quiet) {
    std::vector<int> w = {quiet};
    for (size_t c = 0; c < chars.size(); c++) {
        if (c > 0 && gap > 0)
            w.push_back(gap);
        for (char e : chars[c])
            w.push_back(e == 'w' ? wide : narrow);
    }
    w.push_back(quiet);
    return w;
}

std::unique_ptr<verify_scan_t> grade(const std::vector<double> &r, const verify_options_t *options) {
    auto scan = std::make_unique<verify_scan_t>();
    int rc = verify_profile(r.data(), r.size(), options, scan.get());
    EXPECT_EQ(rc, VERIFY_OK) << scan->failure;
    return scan;
}

std::string symbol_of(const verify_scan_t &scan) {
    return scan.decoded == 1 ? std::string(scan.symbol, (size_t)scan.symbol_length) : std::string();
}

bool expect_read(const verify_scan_t &scan, int symbology, const std::string &symbol, double decodability,
                 double quiet_grade, const std::string &failure) {
    EXPECT_EQ(symbol_of(scan), symbol) << scan.failure;
    if (symbol.empty()) {
        EXPECT_NE(std::string(scan.failure).find(failure), std::string::npos) << scan.failure;
        EXPECT_EQ(scan.grade, 0);
        return false;
    }
    EXPECT_EQ(scan.symbology, symbology);
    EXPECT_NEAR(scan.param[VERIFY_P_DECODABILITY].value, decodability, 1e-9);
    EXPECT_EQ(scan.param[VERIFY_P_QUIET_ZONE].grade, quiet_grade);
    return symbol_of(scan) == symbol;
}

} // namespace verifytest
