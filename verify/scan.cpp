// One scan: the profile's parameters, the reference decode, the grades and
// the scan grade as the lowest of them.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "detect.h"
#include "engine.h"
#include "grades.h"
#include "profile.h"

namespace verify {

void set_text(char (&field)[VERIFY_TEXT_SIZE], const std::string &text) {
    size_t n = std::min(text.size(), sizeof field - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

std::string options_problem(const verify_options_t &o) {
    if (o.check < VERIFY_CHECK_NONE || o.check > VERIFY_CHECK_STRIP)
        return "unknown check option " + std::to_string(o.check);
    if (o.msi_check < VERIFY_MSI_MOD10 || o.msi_check > VERIFY_MSI_MOD11_NCR_MOD10)
        return "unknown MSI check option " + std::to_string(o.msi_check);
    if (o.aperture < 0)
        return "negative aperture " + std::to_string(o.aperture);
    if (!(o.mm_per_sample >= 0) || std::isinf(o.mm_per_sample))
        return "the distance between samples is not a positive number";
    return "";
}

namespace {

// A quiet zone passes when it falls short of the symbology's minimum by no
// more than half a sample, the precision of an edge in a sampled profile.
constexpr double quiet_tolerance = 0.5;

void set_param(verify_scan_t &scan, int which, double value, double grade) {
    scan.param[which] = {value, grade, grade_letter(grade)};
}

// Grades every parameter from what is known, and the scan grade.
void finish(verify_scan_t &scan) {
    double lowest = 4.0;
    for (const auto &p : scan.param)
        lowest = std::min(lowest, p.grade);
    scan.grade = lowest;
    scan.letter = grade_letter(lowest);
}

// Widths of the elements laid out for the decoders: a space first and
// last, of width 0 where the profile begins or ends in a bar.
std::vector<double> decoder_widths(const profile &p, int &offset) {
    std::vector<double> w;
    w.reserve(p.elements.size() + 2);
    offset = p.elements.front().bar ? 1 : 0;
    if (offset)
        w.push_back(0);
    for (const auto &e : p.elements)
        w.push_back(e.width());
    if (p.elements.back().bar)
        w.push_back(0);
    return w;
}

} // namespace

int grade_scan(std::span<const double> r, const verify_options_t &options, verify_scan_t &scan) {
    // Every field but the element list, which only element_count entries fill.
    std::memset(&scan, 0, offsetof(verify_scan_t, element));
    std::memset(scan.failure, 0, sizeof scan.failure);
    scan.symbology = VERIFY_NONE;
    scan.symbol_first = scan.symbol_last = -1;
    for (int k = 0; k < VERIFY_PARAMETERS; k++)
        set_param(scan, k, 0, 0);
    finish(scan);

    std::string problem = options_problem(options);
    if (!problem.empty()) {
        set_text(scan.failure, problem);
        return VERIFY_ERR_ARGUMENT;
    }
    if (std::any_of(r.begin(), r.end(), [](double x) { return !std::isfinite(x); })) {
        set_text(scan.failure, "the profile holds a value that is not a finite number");
        return VERIFY_ERR_PROFILE;
    }
    if (r.empty()) {
        set_text(scan.failure, "empty profile");
        return VERIFY_OK;
    }
    std::vector<double> limited(r.begin(), r.end());
    for (double &x : limited)
        x = std::clamp(x, 0.0, 1.0);

    profile p;
    measure(limited, p);
    scan.rmax = p.rmax;
    scan.gt = p.gt;
    set_param(scan, VERIFY_P_RMIN, p.rmin, grade_rmin(p.rmin, p.rmax));
    set_param(scan, VERIFY_P_SC, p.sc, grade_sc(p.sc));
    scan.element_total = (int)p.elements.size();
    scan.element_count = std::min(scan.element_total, VERIFY_MAX_ELEMENTS);
    for (int k = 0; k < scan.element_count; k++) {
        const element &e = p.elements[(size_t)k];
        scan.element[k] = {e.start, e.end, e.extreme, e.ern, e.bar ? 1 : 0};
    }
    if (p.elements.empty()) {
        set_text(scan.failure, "no contrast");
        finish(scan);
        return VERIFY_OK;
    }

    int offset = 0;
    std::vector<double> widths = decoder_widths(p, offset);
    detection found = detect(widths, options);
    std::string symbol = found.out.identifier + found.out.data;
    if (found.decoded && symbol.size() >= sizeof scan.symbol) {
        found.decoded = false;
        found.failure =
            "the decoded symbol is longer than " + std::to_string(sizeof scan.symbol - 1) + " bytes";
    }

    // Contrast and defects over the symbol with its quiet zones once it is
    // found; over the whole profile when nothing decodes.
    size_t from = 0, to = p.elements.size() - 1;
    if (found.decoded) {
        from = (size_t)std::max(found.first - 1 - offset, 0);
        to = (size_t)std::min(found.last + 1 - offset, (int)p.elements.size() - 1);
    }
    double ecmin = edge_contrast_min(p, from, to);
    double defects = ern_max(p, from, to) / p.sc;
    set_param(scan, VERIFY_P_ECMIN, ecmin, grade_ecmin(ecmin));
    set_param(scan, VERIFY_P_MOD, ecmin / p.sc, grade_modulation(ecmin / p.sc));
    set_param(scan, VERIFY_P_DEFECTS, defects, grade_defects(defects));

    if (!found.decoded) {
        set_text(scan.failure, found.failure);
        finish(scan);
        return VERIFY_OK;
    }
    const decode_output &out = found.out;
    scan.decoded = 1;
    scan.symbology = found.symbology;
    scan.reversed = found.reversed ? 1 : 0;
    std::memcpy(scan.symbol, symbol.data(), symbol.size());
    scan.symbol[symbol.size()] = '\0';
    scan.symbol_length = (int)symbol.size();
    scan.module = out.module;
    scan.symbol_first = found.first - offset;
    scan.symbol_last = found.last - offset;
    set_param(scan, VERIFY_P_DECODE, 1, 4.0);
    set_param(scan, VERIFY_P_DECODABILITY, out.decodability, grade_decodability(out.decodability));

    // The quiet zones in profile order: left is before the first bar when
    // read forwards, after the last bar when read backwards.
    double measured[2] = {found.quiet_before, found.quiet_after};
    double required[2] = {out.quiet_before, out.quiet_after};
    if (found.reversed) {
        std::swap(measured[0], measured[1]);
        std::swap(required[0], required[1]);
    }
    // The value: the smaller of measured over required of the two sides.
    bool pass = true;
    double ratio = -1;
    for (int side = 0; side < 2; side++) {
        scan.quiet_required[side] = required[side];
        pass = pass && measured[side] + quiet_tolerance >= required[side];
        if (required[side] > 0) {
            double q = measured[side] / required[side];
            ratio = ratio < 0 ? q : std::min(ratio, q);
        }
    }
    if (ratio < 0)
        ratio = 1; // nothing required
    int left = scan.symbol_first - 1, right = scan.symbol_last + 1;
    auto extent = [&](int k, double &start, double &end, double at_end) {
        if (k >= 0 && k < (int)p.elements.size()) {
            start = p.elements[(size_t)k].start;
            end = p.elements[(size_t)k].end;
        } else {
            start = end = at_end; // the profile ends in the symbol's bar
        }
    };
    extent(left, scan.quiet_start[0], scan.quiet_end[0], -0.5);
    extent(right, scan.quiet_start[1], scan.quiet_end[1], (double)r.size() - 0.5);
    set_param(scan, VERIFY_P_QUIET_ZONE, ratio, pass ? 4.0 : 0.0);
    finish(scan);
    return VERIFY_OK;
}

} // namespace verify
