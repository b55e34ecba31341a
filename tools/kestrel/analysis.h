// Scan profile analysis: the ISO/IEC 15416 scan reflectance profile
// parameters and their grades, and the Code 39 decode of the profile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// Grades on the 4-to-0 scale: 4 is A, 3 B, 2 C, 1 D, 0 F.
char grade_letter(int grade);
int grade_symbol_contrast(double sc);     // 0.70 / 0.55 / 0.40 / 0.20
int grade_rmin(double rmin, double rmax); // A when Rmin <= Rmax/2, else F
int grade_edge_contrast(double ecmin);    // A from 0.15, else F
int grade_modulation(double mod);         // 0.70 / 0.60 / 0.50 / 0.40
int grade_defects(double defects);        // 0.15 / 0.20 / 0.25 / 0.30, lower is better
int grade_decodability(double v);         // 0.62 / 0.50 / 0.37 / 0.25

// A run of samples on one side of the global threshold. Positions are in
// sample units with sample i centred on i; an edge lies where the profile,
// read linearly between two samples, crosses the threshold.
struct element {
    bool bar = false;
    bool quiet = false;        // the first or last run of the profile
    int first = 0, last = 0;   // samples it holds
    double start = 0, end = 0; // its edges (the profile's ends for the outer runs)
    double extreme = 0;        // Rb (lowest) of a bar, Rs (highest) of a space
    double ern = 0;            // element reflectance non-uniformity
};

struct profile_analysis {
    double rmin = 0, rmax = 0;
    double sc = 0;    // symbol contrast Rmax - Rmin
    double gt = 0;    // global threshold Rmin + SC/2
    double ecmin = 0; // smallest edge contrast Rs - Rb of adjacent elements
    double mod = 0;   // ECmin / SC
    double ernmax = 0;
    double defects = 1;      // ERNmax / SC
    double decodability = 0; // 0 when the profile does not decode
    bool decoded = false;
    bool reversed = false;         // the symbol was read from right to left
    std::string data;              // Code 39 characters between start and stop
    std::string failure;           // why it did not decode
    std::vector<element> elements; // quiet zones included
    std::vector<double> edges;     // every threshold crossing, in order

    int g_sc = 0, g_rmin = 0, g_ecmin = 0, g_mod = 0, g_defects = 0, g_decodability = 0, g_decode = 0;
    int scan_grade = 0; // the lowest of the grades above
};

// Analyses a profile of reflectances (0..1).
profile_analysis analyse_profile(const std::vector<double> &reflectance);
// The same on samples, through the record's calibration (host::reflectances).
profile_analysis analyse_samples(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax);

// The decoded symbol as the plug-ins take it: "]A0" and the data, or ""
// when the profile did not decode.
std::string decoded_symbol(const profile_analysis &a);

} // namespace host
