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

// The eight block characters in UTF-8, from one eighth to full height.
static const char *const blocks[8] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};

std::string sparkline(const std::vector<double> &values, int columns) {
    size_t n = values.size();
    size_t cols = std::min(n, (size_t)std::max(columns, 1));
    std::string line;
    for (size_t c = 0; c < cols; c++) {
        size_t from = c * n / cols, to = (c + 1) * n / cols;
        double sum = 0;
        for (size_t i = from; i < to; i++)
            sum += std::clamp(values[i], 0.0, 1.0);
        int level = (int)(sum / (double)(to - from) * 8);
        line += blocks[std::clamp(level, 0, 7)];
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
// black and white level lines sit inside the frame.
constexpr double width = 1000, height = 400;
constexpr double left = 70, right = 20, top = 40, bottom = 50;
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

std::string level_line(double r, const char *colour, const std::string &label,
                       const char *css_class = "level") {
    std::string s = std::string("  <line class=\"") + css_class + "\"";
    s += fmt(" x1=\"%.1f\" y1=\"%.2f\" x2=\"%.1f\" y2=\"%.2f\"", left, y_of(r), width - right, y_of(r));
    s += std::string(" stroke=\"") + colour + "\" stroke-width=\"1.5\" stroke-dasharray=\"6,4\"/>\n";
    s += fmt("  <text x=\"%.1f\" y=\"%.2f\"", width - right - 4, y_of(r) - 4);
    s += " text-anchor=\"end\" font-size=\"12\" fill=\"" + std::string(colour) + "\">" + xml_escape(label) +
         "</text>\n";
    return s;
}

} // namespace

std::string profile_svg(const std::vector<uint8_t> &samples, unsigned calmin, unsigned calmax,
                        const std::string &title, const profile_marks &marks) {
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
               "transform=\"rotate(-90 18 %.1f)\">reflectance</text>\n",
               top + (height - top - bottom) / 2, top + (height - top - bottom) / 2);

    char label[80];
    snprintf(label, sizeof label, "white level R = 1 (calmax %04X)", calmax);
    svg += level_line(1.0, "#1565c0", label);
    snprintf(label, sizeof label, "black level R = 0 (calmin %04X)", calmin);
    svg += level_line(0.0, "#333333", label);
    if (marks.shown) {
        for (double e : marks.edges)
            svg += fmt("  <line class=\"edge\" x1=\"%.2f\" y1=\"%.1f\" x2=\"%.2f\" y2=\"%.1f\"", x_of(e, n),
                       top, x_of(e, n), height - bottom) +
                   " stroke=\"#2e7d32\" stroke-width=\"0.6\" stroke-opacity=\"0.6\"/>\n";
        snprintf(label, sizeof label, "global threshold %.1f %%, %zu edges", 100 * marks.threshold,
                 marks.edges.size());
        svg += level_line(marks.threshold, "#2e7d32", label, "threshold");
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
