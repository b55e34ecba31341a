// Helpers of the engine's tests: profiles drawn from element widths, and
// the engine's results on the heap (a scan's result is large).
#pragma once

#include <kestrel/verify.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace verifytest {

// Reflectances of elements drawn with sharp edges: widths in whole samples,
// a space first (the left quiet zone), then bar, space... Bars at `bar`,
// spaces at `space`; `levels` sets single elements (by index) apart.
std::vector<double> draw(const std::vector<int> &widths, double bar = 0.05, double space = 0.95,
                         const std::map<size_t, double> &levels = {});

// Element widths of a two-width symbol from its elements written as "n"
// and "w", with an inter-character gap (0 for none) between the groups and
// quiet zones of `quiet` samples on both sides.
std::vector<int> two_width_widths(const std::vector<std::string> &chars, int narrow, int wide, int gap,
                                  int quiet);

std::unique_ptr<verify_scan_t> grade(const std::vector<double> &r, const verify_options_t *options = nullptr);

// The decoded symbol as a string ("" when none).
std::string symbol_of(const verify_scan_t &scan);

// Checks a scan of a known-answer row: its symbol, and then either (no
// symbol expected) that the failure reason holds `failure` and the scan
// grades 0, or the symbology, the decodability and the quiet zones' grade.
// True when the symbol was expected and read, for the row's further checks.
bool expect_read(const verify_scan_t &scan, int symbology, const std::string &symbol, double decodability,
                 double quiet_grade, const std::string &failure);

} // namespace verifytest
