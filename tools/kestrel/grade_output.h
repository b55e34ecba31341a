// Reports of a graded scan: the parameter table and the plug-ins' answers
// for the decoded symbol, and the marks that the scan's plot shows.
#pragma once

#include <string>
#include <vector>

#include "analysis.h"
#include "plugins.h"
#include "profile_output.h"

namespace host {

// Each module's answer for a symbol, one line per module ("name  result
// (code)") with its name and text, in UTF-8, below the modules that claim
// it; "No plug-in claims this data." when none does.
std::string answers_text(const std::vector<plugin_module> &modules, const symbol &sym);

// `heading`, the parameter table and, when the scan decoded, the plug-ins'
// answers for its symbol.
std::string grade_report(const std::string &heading, const profile_analysis &a,
                         const std::vector<plugin_module> &modules);

// The global threshold and the element edges, for profile_svg.
profile_marks marks_of(const profile_analysis &a);

} // namespace host
