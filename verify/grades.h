// Grades of the profile parameters on the 0.0 to 4.0 scale, with one
// decimal where they are interpolated, and their letters.
#pragma once

namespace verify {

double grade_sc(double sc);
double grade_modulation(double mod);
double grade_defects(double defects);
double grade_decodability(double v);
double grade_rmin(double rmin, double rmax); // 4.0 when Rmin <= Rmax/2, else 0.0
double grade_ecmin(double ecmin);            // 4.0 from 0.15, else 0.0

// A from 3.5, B from 2.5, C from 1.5, D from 0.5, else F.
char grade_letter(double grade);

// A grade or a mean of grades cut to one decimal. Cut, not rounded: a grade
// never shows a threshold's value that the measurement did not reach.
double to_tenth(double grade);

} // namespace verify
