// Reports of a graded scan: parameter table, plug-in answers, plot marks.
#include "grade_output.h"

#include <cstdio>

#include "latin1.h"

namespace host {

std::string answers_text(const std::vector<plugin_module> &modules, const symbol &sym) {
    std::string out;
    int claimed = 0;
    char line[128];
    for (const auto &m : modules) {
        plugin_answer a = offer(m, sym);
        snprintf(line, sizeof line, "%-12s %s (%d)\n", m.name.c_str(), plugin_result_text(a.result),
                 a.result);
        out += line;
        if (a.result != prNotMine) {
            claimed++;
            out +=
                "  name: " + latin1_for_terminal(a.name) + "\n  text: " + latin1_for_terminal(a.text) + "\n";
        }
    }
    if (claimed == 0)
        out += "No plug-in claims this data.\n";
    return out;
}

std::string grade_report(const std::string &heading, const profile_analysis &a,
                         const std::vector<plugin_module> &modules) {
    std::string out = heading + "\n" + parameter_table(a);
    if (!a.decoded)
        return out + "Nothing decoded, nothing offered to the plug-ins.\n";
    symbol sym;
    std::string error;
    if (!parse_symbol(decoded_symbol(a), sym, error))
        return out + "The decoded symbol is not offered: " + error + "\n";
    if (modules.empty())
        return out + "No plug-in modules to offer " + decoded_symbol(a) + " to.\n";
    return out + "Plug-in answers for " + decoded_symbol(a) + ":\n" + answers_text(modules, sym);
}

profile_marks marks_of(const profile_analysis &a) {
    profile_marks m;
    m.shown = a.sc > 0;
    m.threshold = a.gt;
    m.edges = a.edges;
    return m;
}

} // namespace host
