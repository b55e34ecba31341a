// Reports of a graded scan: parameter table, verdict, plug-in answers and
// plot marks.
#include "grade_output.h"

#include <cctype>
#include <cstdio>

#include "latin1.h"

namespace host {

namespace {

std::string printed(const char *format, double v) {
    char buf[32];
    snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string percent(double v) { return printed("%.1f %%", 100 * v); }
std::string ratio(double v) { return printed("%.3f", v); }

std::string grade_text(int grade) {
    return std::string(1, grade_letter(grade)) + " (" + std::to_string(grade) + ")";
}

} // namespace

std::vector<grade_row> grade_rows(const profile_analysis &a) {
    return {
        {"Rmax", "rmax", a.rmax, percent(a.rmax), false, 0},
        {"Rmin", "rmin", a.rmin, percent(a.rmin), true, a.g_rmin},
        {"Symbol contrast", "symbol_contrast", a.sc, percent(a.sc), true, a.g_sc},
        {"Global threshold", "global_threshold", a.gt, percent(a.gt), false, 0},
        {"ECmin", "ecmin", a.ecmin, percent(a.ecmin), true, a.g_ecmin},
        {"Modulation", "modulation", a.mod, ratio(a.mod), true, a.g_mod},
        {"Defects", "defects", a.defects, ratio(a.defects), true, a.g_defects},
        {"Decodability", "decodability", a.decodability, a.decoded ? ratio(a.decodability) : "-", true,
         a.g_decodability},
        {"Decode", "decode", a.decoded ? 1.0 : 0.0, a.decoded ? "pass" : "fail", true, a.g_decode},
    };
}

std::string parameter_table(const profile_analysis &a) {
    char line[160];
    std::string out;
    for (const auto &r : grade_rows(a)) {
        if (r.graded)
            snprintf(line, sizeof line, "  %-18s %-12s %s\n", r.name, r.shown.c_str(),
                     grade_text(r.grade).c_str());
        else
            snprintf(line, sizeof line, "  %-18s %s\n", r.name, r.shown.c_str());
        out += line;
    }
    snprintf(line, sizeof line, "  %-18s ", "Data");
    out += line;
    if (a.decoded)
        out += decoded_symbol(a) + (a.reversed ? " (read right to left)\n" : "\n");
    else
        out += "none: " + a.failure + "\n";
    snprintf(line, sizeof line, "  %-18s %s\n", "Scan grade", grade_text(a.scan_grade).c_str());
    return out + line;
}

int grade_of_letter(const std::string &letter) {
    if (letter.size() != 1)
        return -1;
    for (int g = 0; g <= 4; g++)
        if (std::toupper((unsigned char)letter[0]) == grade_letter(g))
            return g;
    return -1;
}

std::vector<std::string> below_minimum(const profile_analysis &a, int minimum) {
    std::vector<std::string> names;
    for (const auto &r : grade_rows(a))
        if (r.graded && r.grade < minimum)
            names.push_back(std::string(r.name) + " " + grade_text(r.grade));
    return names;
}

std::string scale_text(bool calibrated) {
    return calibrated ? "calibrated reflectance" : "uncalibrated: the reader's raw scale, not reflectance";
}

std::string answers_text(const std::vector<module_answer> &answers) {
    std::string out;
    int claimed = 0;
    char line[128];
    for (const auto &[module, a] : answers) {
        snprintf(line, sizeof line, "%-12s %s (%d)\n", module->name.c_str(), plugin_result_text(a.result),
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
    return out + "Plug-in answers for " + decoded_symbol(a) + ":\n" + answers_text(offer_all(modules, sym));
}

profile_marks marks_of(const profile_analysis &a) {
    profile_marks m;
    m.shown = a.sc > 0;
    m.threshold = a.gt;
    m.edges = a.edges;
    return m;
}

} // namespace host
