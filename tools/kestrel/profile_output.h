// Scan profiles as text and files: reflectance from samples and the
// calibration, a one-line sparkline, CSV and an SVG plot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// A sample s (0..255) is the raw reading 256*s on the record's 16-bit raw
// scale; its reflectance is R = (256*s - calmin) / (calmax - calmin), limited
// to 0..1. With calmax equal to calmin, R is 1 from calmin upwards, else 0.
double reflectance(unsigned sample, unsigned calmin, unsigned calmax);
std::vector<double> reflectances(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax);

// Samples whose reflectance the limits to 0..1 cut: raw readings below
// calmin (shown as 0) and above calmax (shown as 1).
struct clip_count {
    size_t below = 0, above = 0;
    bool any() const { return below + above > 0; }
};
clip_count clipped(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax);

// One line of block characters (U+2581..U+2588), or of the ASCII characters
// "_.-:=+*#" where the terminal cannot show those, one per column; each
// column shows the mean of its share of the values (0..1) in eight steps.
// Fewer values than columns give one column per value.
std::string sparkline(const std::vector<double> &values, int columns = 64, bool unicode = true);

// "index,sample,reflectance" and one row per sample, reflectance with four
// decimals.
std::string profile_csv(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax);

// What a plot may show of the profile's analysis: the global threshold
// (reflectance) and the element edges (sample positions, sample i at i).
struct profile_marks {
    bool shown = false;
    double threshold = 0;
    std::vector<double> edges;
};

// An SVG plot of reflectance against sample index: one polyline point per
// sample and horizontal lines at the calibration's black (R = 0, calmin)
// and white (R = 1, calmax) levels. `title` is shown above the plot, a key
// to the lines below it, outside the plot, and the axis says whether the
// reflectance is calibrated or the reader's raw scale. With marks shown, a
// line at the global threshold and one at each edge.
std::string profile_svg(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax,
                        const std::string &title, bool calibrated, const profile_marks &marks = {});

// Text made safe for XML character data and attribute values.
std::string xml_escape(const std::string &text);

} // namespace host
