// Reports of a graded scan, kept apart from the grading itself: the
// parameter table, the verdict against a minimum grade, the plug-ins'
// answers for the decoded symbol, and the marks that the scan's plot shows.
#pragma once

#include <string>
#include <vector>

#include "analysis.h"
#include "plugins.h"
#include "profile_output.h"

namespace host {

// One parameter of the scan reflectance profile as reports show it.
struct grade_row {
    const char *name; // as the table shows it: "Symbol contrast"
    const char *key;  // as JSON names it: "symbol_contrast"
    double value;
    std::string shown; // "81.9 %", "0.901", "pass"
    bool graded;       // false for Rmax and the global threshold
    int grade;         // 4 (A) to 0 (F) when graded
};
std::vector<grade_row> grade_rows(const profile_analysis &a);

// The parameter table: one line per parameter with its value and grade,
// the decode, the data and the scan grade.
std::string parameter_table(const profile_analysis &a);

// A grade letter A, B, C, D or F (either case) as a grade 4..0; -1 otherwise.
int grade_of_letter(const std::string &letter);
// The graded parameters below `minimum`, as "Modulation C (2)".
std::vector<std::string> below_minimum(const profile_analysis &a, int minimum);

// What the reflectances are: "calibrated reflectance", or the raw scale of
// an uncalibrated reader.
std::string scale_text(bool calibrated);

// Each module's answer, one line per module ("name  result (code)") with
// its name and text in the terminal's character set below the modules that
// claim the symbol; "No plug-in claims this data." when none does.
std::string answers_text(const std::vector<module_answer> &answers);

// `heading`, the parameter table and, when the scan decoded, the plug-ins'
// answers for its symbol.
std::string grade_report(const std::string &heading, const profile_analysis &a,
                         const std::vector<plugin_module> &modules);

// The global threshold and the element edges, for profile_svg.
profile_marks marks_of(const profile_analysis &a);

} // namespace host
