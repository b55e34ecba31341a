// A symbol over several scans: the mean of the scan grades, each
// parameter's mean, agreement of the decoded data, and the notation
// grade/aperture/wavelength. The mean is cut to one decimal as every grade
// here is. Scans that decode to different data fail the symbol: a verifier
// that cannot tell which reading is the symbol's must not pass it. The
// standard's wording on both points was not at hand.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine.h"
#include "grades.h"

namespace verify {

namespace {

// Aperture reference numbers (diameter in mils) by X-dimension in mm, as
// application guides choose them when no rule of their own applies;
// EAN/UPC always use 06. Without an X-dimension in mm the aperture is 06.
int aperture_for(int symbology, double x_mm) {
    if (symbology == VERIFY_EAN_UPC || x_mm <= 0)
        return 6;
    if (x_mm < 0.180)
        return 3;
    if (x_mm < 0.330)
        return 5;
    if (x_mm < 0.635)
        return 10;
    return 20;
}

std::string wavelength_text(int wavelength) {
    if (wavelength == VERIFY_WHITE_LIGHT)
        return "W";
    if (wavelength <= 0 || wavelength >= 65535)
        return "?";
    return std::to_string(wavelength);
}

bool same_symbol(const verify_scan_t &a, const verify_scan_t &b) {
    return a.symbology == b.symbology && a.symbol_length == b.symbol_length &&
           std::memcmp(a.symbol, b.symbol, (size_t)a.symbol_length) == 0;
}

} // namespace

void grade_symbol(std::span<const verify_scan_t> scans, const verify_options_t &options,
                  verify_symbol_t &symbol) {
    std::memset(&symbol, 0, sizeof symbol);
    symbol.symbology = VERIFY_NONE;
    symbol.scans = (int)scans.size();
    symbol.consistent = 1;
    symbol.letter = grade_letter(0);
    if (scans.empty())
        return;

    const verify_scan_t *first = nullptr;
    double grades = 0, module = 0;
    double values[VERIFY_PARAMETERS] = {}, param_grades[VERIFY_PARAMETERS] = {};
    for (size_t s = 0; s < scans.size(); s++) {
        const verify_scan_t &scan = scans[s];
        grades += scan.grade;
        for (int k = 0; k < VERIFY_PARAMETERS; k++) {
            values[k] += scan.param[k].value;
            param_grades[k] += scan.param[k].grade;
        }
        if (!scan.decoded)
            continue;
        symbol.decoded_scans++;
        module += scan.module;
        if (!first) {
            first = &scan;
            continue;
        }
        if (symbol.consistent && !same_symbol(*first, scan)) {
            symbol.consistent = 0;
            set_text(symbol.failure, "scans " + std::to_string(first - scans.data() + 1) + " and " +
                                         std::to_string(s + 1) + " decoded to different data");
        }
    }
    double count = (double)scans.size();
    for (int k = 0; k < VERIFY_PARAMETERS; k++) {
        double g = to_tenth(param_grades[k] / count);
        symbol.mean[k] = {values[k] / count, g, grade_letter(g)};
    }
    symbol.grade = symbol.consistent ? to_tenth(grades / count) : 0.0;
    symbol.letter = grade_letter(symbol.grade);
    if (first) {
        symbol.symbology = first->symbology;
        std::memcpy(symbol.symbol, first->symbol, sizeof symbol.symbol);
        symbol.symbol_length = first->symbol_length;
        symbol.module = module / symbol.decoded_scans;
        symbol.x_mm = symbol.module * options.mm_per_sample;
    } else {
        set_text(symbol.failure, "no scan decoded");
    }
    symbol.aperture = options.aperture > 0 ? options.aperture : aperture_for(symbol.symbology, symbol.x_mm);
    std::snprintf(symbol.notation, sizeof symbol.notation, "%.1f/%02d/%s", symbol.grade, symbol.aperture,
                  wavelength_text(options.wavelength).c_str());
}

} // namespace verify
