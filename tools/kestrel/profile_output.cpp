// Scan profiles as text and files: reflectance, sparkline, CSV and SVG.
#include "profile_output.h"

#include <algorithm>
#include <cstdio>

namespace host {

double reflectance(unsigned sample, unsigned calmin, unsigned calmax) {
    double raw = 256.0 * sample;
    if (calmax == calmin)
        return raw >= calmin ? 1.0 : 0.0;
    double r = (raw - calmin) / ((double)calmax - calmin);
    return std::clamp(r, 0.0, 1.0);
}

std::vector<double> reflectances(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax) {
    std::vector<double> r;
    r.reserve(samples.size());
    for (uint8_t s : samples)
        r.push_back(reflectance(s, calmin, calmax));
    return r;
}

clip_count clipped(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax) {
    clip_count c;
    for (uint8_t s : samples) {
        unsigned raw = 256u * s;
        c.below += raw < calmin;
        c.above += raw > calmax;
    }
    return c;
}

// The eight levels, from one eighth to full height: block characters in
// UTF-8, and ASCII characters of growing weight.
static const char *const blocks[8] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
static const char *const ascii_levels[8] = {"_", ".", "-", ":", "=", "+", "*", "#"};

std::string sparkline(const std::vector<double> &values, int columns, bool unicode) {
    const char *const *levels = unicode ? blocks : ascii_levels;
    size_t n = values.size();
    size_t cols = std::min(n, (size_t)std::max(columns, 1));
    std::string line;
    for (size_t c = 0; c < cols; c++) {
        size_t from = c * n / cols, to = (c + 1) * n / cols;
        double sum = 0;
        for (size_t i = from; i < to; i++)
            sum += std::clamp(values[i], 0.0, 1.0);
        int level = (int)(sum / (double)(to - from) * 8);
        line += levels[std::clamp(level, 0, 7)];
    }
    return line;
}

std::string profile_csv(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax) {
    std::string csv = "index,sample,reflectance\n";
    char row[64];
    for (size_t i = 0; i < samples.size(); i++) {
        snprintf(row, sizeof row, "%zu,%u,%.4f\n", i, (unsigned)samples[i],
                 reflectance(samples[i], calmin, calmax));
        csv += row;
    }
    return csv;
}

std::string xml_escape(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

namespace {

// Plot geometry: the reflectance axis runs from -0.05 to 1.05 so that the
// black and white level lines sit inside the frame. The title and the key
// to the lines stand above the frame, where no edge line reaches.
constexpr double width = 1000, height = 436;
constexpr double left = 70, right = 20, top = 78, bottom = 50;
constexpr double key_top = 46, key_line = 16; // two lines of key fit above the frame
constexpr double key_char_width = 6.6;        // of the 12-pixel sans-serif font, roughly
constexpr double r_low = -0.05, r_high = 1.05;

double x_of(double index, size_t count) {
    double span = count > 1 ? (double)(count - 1) : 1.0;
    return left + (width - left - right) * index / span;
}

double y_of(double r) { return top + (height - top - bottom) * (r_high - r) / (r_high - r_low); }

std::string fmt(const char *format, double a, double b = 0, double c = 0, double d = 0) {
    char buf[160];
    snprintf(buf, sizeof buf, format, a, b, c, d);
    return buf;
}

std::string level_line(double r, const char *colour, const char *css_class = "level") {
    std::string s = std::string("  <line class=\"") + css_class + "\"";
    s += fmt(" x1=\"%.1f\" y1=\"%.2f\" x2=\"%.1f\" y2=\"%.2f\"", left, y_of(r), width - right, y_of(r));
    return s + std::string(" stroke=\"") + colour + "\" stroke-width=\"1.5\" stroke-dasharray=\"6,4\"/>\n";
}

// Where the next entry of the key above the frame goes.
struct key_cursor {
    double x = left, y = key_top;
};

// One entry of the key: a swatch of the line's colour and its label; an
// entry that would run past the frame starts the next line.
std::string key_entry(key_cursor &at, const char *colour, const std::string &label) {
    double wide = 24 + key_char_width * (double)label.size();
    if (at.x > left && at.x + wide > width - right) {
        at.x = left;
        at.y += key_line;
    }
    std::string s = fmt("  <rect x=\"%.1f\" y=\"%.1f\" width=\"18\" height=\"3\"", at.x, at.y - 4) +
                    " fill=\"" + colour + "\"/>\n";
    s += fmt("  <text x=\"%.1f\" y=\"%.1f\" font-size=\"12\" fill=\"", at.x + 24, at.y) + colour + "\">" +
         xml_escape(label) + "</text>\n";
    at.x += wide + 18;
    return s;
}

} // namespace

std::string profile_svg(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax,
                        const std::string &title, bool calibrated, const profile_marks &marks) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += fmt("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
               "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\">\n",
               width, height, width, height);
    svg += fmt("  <rect x=\"0\" y=\"0\" width=\"%.0f\" height=\"%.0f\" fill=\"white\"/>\n", width, height);
    svg += fmt("  <text x=\"%.1f\" y=\"24\" font-size=\"16\">", left) + xml_escape(title) + "</text>\n";

    // Frame, axis ticks and labels.
    svg +=
        fmt("  <rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"#999\"/>\n",
            left, top, width - left - right, height - top - bottom);
    for (double r : {0.0, 0.25, 0.5, 0.75, 1.0})
        svg += fmt("  <text x=\"%.1f\" y=\"%.2f\" text-anchor=\"end\" font-size=\"12\">%.2f</text>\n",
                   left - 6, y_of(r) + 4, r);
    size_t n = samples.size();
    for (size_t i : {(size_t)0, n / 4, n / 2, 3 * n / 4, n ? n - 1 : 0})
        svg += fmt("  <text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"12\">%.0f</text>\n",
                   x_of(i, n), height - bottom + 18, (double)i);
    svg += fmt("  <text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"13\">sample index</text>\n",
               left + (width - left - right) / 2, height - 10);
    svg += fmt("  <text x=\"18\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"13\" "
               "transform=\"rotate(-90 18 %.1f)\">",
               top + (height - top - bottom) / 2, top + (height - top - bottom) / 2) +
           (calibrated ? "reflectance R (calibrated)" : "reflectance R (uncalibrated: the raw scale)") +
           "</text>\n";

    const char *white = "#1565c0", *black = "#333333", *green = "#2e7d32";
    char label[96];
    key_cursor key;
    snprintf(label, sizeof label, "white R = 1 (calmax %04X)", calmax);
    svg += level_line(1.0, white) + key_entry(key, white, label);
    snprintf(label, sizeof label, "black R = 0 (calmin %04X)", calmin);
    svg += level_line(0.0, black) + key_entry(key, black, label);
    if (marks.shown) {
        for (double e : marks.edges)
            svg += fmt("  <line class=\"edge\" x1=\"%.2f\" y1=\"%.1f\" x2=\"%.2f\" y2=\"%.1f\"", x_of(e, n),
                       top, x_of(e, n), height - bottom) +
                   " stroke=\"" + green + "\" stroke-width=\"0.6\" stroke-opacity=\"0.6\"/>\n";
        snprintf(label, sizeof label, "global threshold R = %.3f, %zu edges", marks.threshold,
                 marks.edges.size());
        svg += level_line(marks.threshold, green, "threshold") + key_entry(key, green, label);
    }
    clip_count clip = clipped(samples, calmin, calmax);
    if (clip.any()) {
        snprintf(label, sizeof label, "clipped: %zu samples at R = 0, %zu at R = 1", clip.below, clip.above);
        svg += key_entry(key, "#c62828", label);
    }

    svg += "  <polyline fill=\"none\" stroke=\"#c62828\" stroke-width=\"1\" points=\"";
    for (size_t i = 0; i < n; i++) {
        if (i)
            svg += ' ';
        svg += fmt("%.2f,%.2f", x_of(i, n), y_of(reflectance(samples[i], calmin, calmax)));
    }
    svg += "\"/>\n</svg>\n";
    return svg;
}

} // namespace host
