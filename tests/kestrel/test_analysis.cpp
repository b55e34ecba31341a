// Scan profile analysis: grade scales, decode of synthetic and zint-rendered
// Code 39 and Code 32 profiles (cross-checked with ZXingReader and
// pharma_it), grades of degraded profiles, profiles without a symbol, the
// plot's marks, and kestrel scan --grade and kestrel demo as child processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "analysis.h"
#include "grade_output.h"
#include "plugins.h"
#include "readersim.h"
#include "support.h"

using namespace host;

namespace {

// Samples stand for R = s/255 with this calibration.
constexpr unsigned cal_black = 0, cal_white = 0xFF00;

profile_analysis analyse(const std::vector<uint8_t> &samples) {
    return analyse_samples(samples, cal_black, cal_white);
}

// The text make_samples draws, without its start and stop characters.
std::string drawn_text(const std::string &text) {
    std::string s = readersim::code39_symbol(text);
    return s.substr(1, s.size() - 2);
}

TEST(HostAnalysis, GradeScales) {
    struct row {
        int (*grade)(double);
        double value;
        int expected;
    };
    static const row rows[] = {
        {grade_symbol_contrast, 0.70, 4}, {grade_symbol_contrast, 0.6999, 3},
        {grade_symbol_contrast, 0.55, 3}, {grade_symbol_contrast, 0.40, 2},
        {grade_symbol_contrast, 0.20, 1}, {grade_symbol_contrast, 0.1999, 0},
        {grade_modulation, 0.70, 4},      {grade_modulation, 0.65, 3},
        {grade_modulation, 0.50, 2},      {grade_modulation, 0.45, 1},
        {grade_modulation, 0.39, 0},      {grade_defects, 0.0, 4},
        {grade_defects, 0.15, 4},         {grade_defects, 0.16, 3},
        {grade_defects, 0.25, 2},         {grade_defects, 0.30, 1},
        {grade_defects, 0.31, 0},         {grade_decodability, 1.0, 4},
        {grade_decodability, 0.62, 4},    {grade_decodability, 0.61, 3},
        {grade_decodability, 0.37, 2},    {grade_decodability, 0.25, 1},
        {grade_decodability, 0.24, 0},    {grade_edge_contrast, 0.15, 4},
        {grade_edge_contrast, 0.149, 0},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        SCOPED_TRACE("row " + std::to_string(k));
        EXPECT_EQ(rows[k].grade(rows[k].value), rows[k].expected);
    }
    EXPECT_EQ(grade_rmin(0.40, 0.80), 4);
    EXPECT_EQ(grade_rmin(0.41, 0.80), 0);
    EXPECT_EQ(std::string("FDCBA"), std::string({grade_letter(0), grade_letter(1), grade_letter(2),
                                                 grade_letter(3), grade_letter(4)}));
}

TEST(HostAnalysis, DecodesSyntheticProfilesBothWays) {
    struct row {
        const char *text;
        int narrow;
        double ratio, blur, noise;
    };
    static const row rows[] = {
        {"KESTREL", 8, 2.5, 1.0, 0.0},    {"KESTREL-39", 6, 3.0, 1.5, 2.0},
        {"0123456789", 5, 2.2, 0.8, 1.0}, {"A B.C$D/E+F%G", 4, 2.5, 0.5, 0.0},
        {"UVWXYZ", 12, 2.0, 2.0, 1.0},    {"X", 8, 3.0, 1.0, 0.0},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        SCOPED_TRACE("row " + std::to_string(k) + ": " + rows[k].text);
        readersim::profile p;
        p.text = rows[k].text;
        p.narrow = rows[k].narrow;
        p.ratio = rows[k].ratio;
        p.blur = rows[k].blur;
        p.noise = rows[k].noise;
        std::vector<uint8_t> samples = readersim::make_samples(p);
        profile_analysis a = analyse(samples);
        ASSERT_TRUE(a.decoded) << a.failure;
        EXPECT_FALSE(a.reversed);
        EXPECT_EQ(a.data, drawn_text(p.text));
        EXPECT_EQ(decoded_symbol(a), "]A0" + drawn_text(p.text));
        size_t chars = readersim::code39_symbol(p.text).size();
        EXPECT_EQ(a.elements.size(), 10 * chars - 1 + 2); // quiet zones included
        EXPECT_EQ(a.edges.size(), a.elements.size() - 1);
        EXPECT_TRUE(a.elements.front().quiet && a.elements.back().quiet);
        EXPECT_EQ(a.scan_grade, 4) << parameter_table(a);

        std::reverse(samples.begin(), samples.end());
        profile_analysis back = analyse(samples);
        ASSERT_TRUE(back.decoded) << back.failure;
        EXPECT_TRUE(back.reversed);
        EXPECT_EQ(back.data, a.data);
    }
}

TEST(HostAnalysis, ParametersOfACleanProfile) {
    readersim::profile p;
    p.low = 25.5;   // R 0.10
    p.high = 229.5; // R 0.90
    p.blur = 0;
    profile_analysis a = analyse(readersim::make_samples(p));
    ASSERT_TRUE(a.decoded) << a.failure;
    EXPECT_NEAR(a.rmin, 0.10, 0.003);
    EXPECT_NEAR(a.rmax, 0.90, 0.003);
    EXPECT_NEAR(a.sc, 0.80, 0.005);
    EXPECT_NEAR(a.gt, 0.50, 0.005);
    EXPECT_NEAR(a.mod, 1.0, 0.01);
    EXPECT_NEAR(a.defects, 0.0, 0.01);
    EXPECT_GT(a.decodability, 0.9);
    // Each edge lies within a sample of a drawn element boundary: the
    // narrow elements are 8 samples wide, wide ones 20.
    for (size_t k = 1; k + 1 < a.elements.size(); k++) {
        double w = a.elements[k].end - a.elements[k].start;
        EXPECT_TRUE(std::abs(w - 8) < 1 || std::abs(w - 20) < 1) << "element " << k << " width " << w;
    }
    std::string table = parameter_table(a);
    EXPECT_NE(table.find("Symbol contrast    80.0 %"), std::string::npos) << table;
    EXPECT_NE(table.find("Data               ]A0KESTREL\n"), std::string::npos) << table;
    EXPECT_NE(table.find("Scan grade         A (4)"), std::string::npos) << table;
}

TEST(HostAnalysis, LowerPrintContrastLowersSymbolContrastGrade) {
    // Bars and spaces drawn at these sample values: SC = (high - low)/255.
    struct row {
        double low, high;
        int grade;
    };
    static const row rows[] = {
        {10, 240, 4}, {50, 215, 3}, {70, 190, 2}, {90, 160, 1}, {110, 140, 0},
    };
    int previous = 5;
    for (size_t k = 0; k < std::size(rows); k++) {
        SCOPED_TRACE("row " + std::to_string(k));
        readersim::profile p;
        p.low = rows[k].low;
        p.high = rows[k].high;
        profile_analysis a = analyse(readersim::make_samples(p));
        EXPECT_TRUE(a.decoded) << a.failure;
        EXPECT_EQ(a.g_sc, rows[k].grade) << a.sc;
        EXPECT_LT(a.g_sc, previous);
        EXPECT_LE(a.scan_grade, a.g_sc);
        previous = a.g_sc;
    }
}

TEST(HostAnalysis, SpikesRaiseDefects) {
    readersim::profile p;
    p.blur = 0.8;
    std::vector<uint8_t> clean = readersim::make_samples(p);
    profile_analysis base = analyse(clean);
    ASSERT_TRUE(base.decoded);
    // Middles of the widest space inside the symbol and of the widest bar.
    const element *space = nullptr, *bar = nullptr;
    for (const auto &e : base.elements) {
        if (e.quiet)
            continue;
        const element *&best = e.bar ? bar : space;
        if (!best || e.end - e.start > best->end - best->start)
            best = &e;
    }
    ASSERT_TRUE(space && bar);
    int in_space = (space->first + space->last) / 2, in_bar = (bar->first + bar->last) / 2;

    // Spike depths in sample units; SC is 190 units, so 40 is about 0.21.
    static const int depths[] = {0, 20, 40, 60, 80};
    double previous = -1;
    for (size_t k = 0; k < std::size(depths); k++) {
        SCOPED_TRACE("depth " + std::to_string(depths[k]));
        std::vector<uint8_t> s = clean;
        s[(size_t)in_space] = (uint8_t)(s[(size_t)in_space] - depths[k]);
        s[(size_t)in_bar] = (uint8_t)(s[(size_t)in_bar] + depths[k] / 2);
        profile_analysis a = analyse(s);
        EXPECT_TRUE(a.decoded) << a.failure;
        EXPECT_NEAR(a.defects, depths[k] / 190.0, 0.02);
        EXPECT_GT(a.defects, previous);
        previous = a.defects;
        EXPECT_EQ(a.g_defects, grade_defects(a.defects));
    }
    // A dip in a quiet zone counts too.
    std::vector<uint8_t> s = clean;
    s[40] = (uint8_t)(s[40] - 70);
    profile_analysis a = analyse(s);
    EXPECT_NEAR(a.defects, 70 / 190.0, 0.02);
    EXPECT_EQ(a.g_defects, 0);
}

TEST(HostAnalysis, BlurLowersModulationAndDecodability) {
    // Narrow elements of 6 samples; widths hold until the blur makes
    // neighbouring edges meet, contrast falls from the start.
    static const double blurs[] = {1.0, 2.0, 2.5, 3.0, 3.5, 4.0};
    std::vector<profile_analysis> results;
    for (double blur : blurs) {
        SCOPED_TRACE("blur " + std::to_string(blur));
        readersim::profile p;
        p.narrow = 6;
        p.ratio = 2.5;
        p.blur = blur;
        results.push_back(analyse(readersim::make_samples(p)));
        const profile_analysis &a = results.back();
        ASSERT_TRUE(a.decoded) << a.failure;
        if (results.size() > 1) {
            const profile_analysis &before = results[results.size() - 2];
            EXPECT_LT(a.mod, before.mod);
            EXPECT_LE(a.decodability, before.decodability);
            if (blur > 2) {
                EXPECT_LT(a.decodability, before.decodability);
            }
        }
    }
    EXPECT_EQ(results.front().g_mod, 4);
    EXPECT_EQ(results.back().g_mod, 0);
    EXPECT_EQ(results.front().g_decodability, 4);
    EXPECT_LE(results.back().g_decodability, 2);
    EXPECT_EQ(results.back().scan_grade, 0);

    // More blur wipes out narrow elements: no decode, and what is left of
    // them counts as defects.
    readersim::profile p;
    p.narrow = 6;
    p.blur = 5;
    profile_analysis a = analyse(readersim::make_samples(p));
    EXPECT_FALSE(a.decoded);
    EXPECT_GT(a.defects, results.back().defects);
    EXPECT_EQ(a.scan_grade, 0) << parameter_table(a);
}

TEST(HostAnalysis, ProfilesWithoutASymbol) {
    std::vector<std::vector<uint8_t>> profiles;
    profiles.push_back({});
    profiles.push_back(std::vector<uint8_t>(2048, 128));
    std::vector<uint8_t> noise(2048);
    for (size_t i = 0; i < noise.size(); i++)
        noise[i] = (uint8_t)(120 + (i * 7919 % 17));
    profiles.push_back(noise);
    std::vector<uint8_t> step(2048, 220);
    std::fill(step.begin() + 1024, step.end(), 30);
    profiles.push_back(step);
    std::vector<uint8_t> one_bar(2048, 220);
    std::fill(one_bar.begin() + 1000, one_bar.begin() + 1040, 30);
    profiles.push_back(one_bar);
    // A symbol cut by the end of the scan: no quiet zone on the right.
    readersim::profile p;
    p.narrow = 0; // fills the scan
    std::vector<uint8_t> cut = readersim::make_samples(p);
    cut.resize(1500);
    profiles.push_back(cut);
    // A symbol with a character damaged into no Code 39 character.
    std::vector<uint8_t> damaged = readersim::make_samples(readersim::profile());
    profile_analysis good = analyse(damaged);
    ASSERT_TRUE(good.decoded);
    // Its widest bar in the second character drawn narrow, the space after
    // it made wider: three wide elements still, but not of one character.
    const element *bar = nullptr;
    for (size_t k = 11; k < 20; k++)
        if (good.elements[k].bar &&
            (!bar || good.elements[k].last - good.elements[k].first > bar->last - bar->first))
            bar = &good.elements[k];
    int keep = 8; // the narrow width
    std::fill(damaged.begin() + bar->first + keep, damaged.begin() + bar->last + 1,
              damaged[(size_t)bar->last + 3]);
    profiles.push_back(damaged);

    static const char *const reasons[] = {
        "empty profile",
        "no contrast",
        "no quiet zone",
        "no bars",
        "do not make whole Code 39 characters",
        "do not make whole Code 39 characters",
        "character 2 is not a Code 39 character",
    };
    ASSERT_EQ(profiles.size(), std::size(reasons));
    for (size_t k = 0; k < profiles.size(); k++) {
        SCOPED_TRACE("profile " + std::to_string(k));
        profile_analysis a = analyse(profiles[k]);
        EXPECT_FALSE(a.decoded);
        EXPECT_FALSE(a.failure.empty());
        EXPECT_NE(a.failure.find(reasons[k]), std::string::npos) << a.failure;
        EXPECT_EQ(decoded_symbol(a), "");
        EXPECT_EQ(a.g_decode, 0);
        EXPECT_EQ(a.g_decodability, 0);
        EXPECT_EQ(a.scan_grade, 0);
        std::string table = parameter_table(a);
        EXPECT_NE(table.find("Data               none: " + a.failure), std::string::npos) << table;
        EXPECT_NE(table.find("Scan grade         F (0)"), std::string::npos) << table;
    }
}

// The zint peers: a PNG (and for Code 32 an SVG) of one symbol.
struct rendered {
    std::string png, svg;
};

bool render(const testsupport::temp_dir &dir, int barcode, const std::string &data, double scale,
            rendered &out) {
    out.png = dir.file("symbol.png");
    out.svg = dir.file("symbol.svg");
    for (const std::string &file : {out.png, out.svg}) {
        auto r = testsupport::run_program({"/usr/bin/zint", "-b", std::to_string(barcode), "-d", data,
                                           "--quietzones", "--scale=" + std::to_string(scale), "-o", file});
        if (r.status != 0)
            return false;
    }
    return true;
}

// What ZXingReader reads: the quoted part of its "Text:" line, "" for none.
// "-ispure" suits zint's images and keeps this ZXingReader from an
// assertion failure that stops it on some large ones.
// A PNG signature, an IHDR chunk for a grey image of the given size and an
// IDAT chunk with no real image data: enough for a reader to learn the size.
std::string png_header_only(uint32_t width, uint32_t height) {
    auto crc32 = [](const std::string &bytes) {
        uint32_t c = 0xFFFFFFFFu;
        for (unsigned char b : bytes) {
            c ^= b;
            for (int k = 0; k < 8; k++)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        }
        return c ^ 0xFFFFFFFFu;
    };
    auto be32 = [](uint32_t v) {
        return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
    };
    auto chunk = [&](const std::string &type, const std::string &data) {
        return be32((uint32_t)data.size()) + type + data + be32(crc32(type + data));
    };
    std::string ihdr = be32(width) + be32(height) + std::string("\x08\x00\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", "x") + chunk("IEND", "");
}

std::string zxing_text(const std::string &png) {
    auto r = testsupport::run_program({"/usr/bin/ZXingReader", "-format", "Code39", "-ispure", png});
    size_t at = r.out.find("Text:");
    if (at == std::string::npos)
        return "";
    size_t open = r.out.find('"', at), close = r.out.find("\"\n", at);
    return open == std::string::npos || close == std::string::npos ? ""
                                                                   : r.out.substr(open + 1, close - open - 1);
}

// The human-readable text in zint's SVG, spaces removed.
std::string svg_text(const std::string &svg) {
    std::string s = testsupport::read_file(svg);
    size_t open = s.find("<text"), start = s.find('>', open), end = s.find("</text>", open);
    if (open == std::string::npos || start == std::string::npos || end == std::string::npos)
        return "";
    std::string t;
    for (char c : s.substr(start + 1, end - start - 1))
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            t += c;
    return t;
}

TEST(HostAnalysis, ZintSymbolsDecodeAsZXingReadsThem) {
    if (!testsupport::have_program("zint") || !testsupport::have_program("ZXingReader"))
        GTEST_SKIP() << "zint or ZXingReader is not installed (scripts/install-deps.sh peers)";
    constexpr int code39 = 8, code32 = 129;
    struct row {
        int barcode;
        const char *data;
        double scale;     // zint's X dimension, half pixels
        double low, high; // sample values that black and white become
    };
    static const row rows[] = {
        {code39, "KESTREL-39", 1, 0, 255},   {code39, "A1B2 C3", 0.5, 40, 200},
        {code39, "HELLO WORLD", 2, 90, 170}, {code39, "$/+%.-", 1.5, 60, 230},
        {code39, "0123456789", 5, 20, 120},  {code32, "12345678", 1, 0, 255},
        {code32, "00000001", 0.5, 50, 210},  {code32, "99999999", 5, 80, 180},
        {code32, "31415926", 2, 30, 140},
    };
    auto modules = load_plugins(testsupport::bin_dir());
    auto pharma = std::find_if(modules.begin(), modules.end(),
                               [](const plugin_module &m) { return m.name == "pharma_it"; });
    ASSERT_NE(pharma, modules.end()) << "pharma_it.so not found in " << testsupport::bin_dir();

    testsupport::temp_dir dir;
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.data);
        rendered img;
        ASSERT_TRUE(render(dir, r.barcode, r.data, r.scale, img));
        std::string expected = zxing_text(img.png);
        ASSERT_FALSE(expected.empty()) << "ZXingReader read nothing from " << img.png;

        std::vector<uint8_t> samples;
        std::string error;
        ASSERT_TRUE(readersim::samples_from_png(img.png, -1, r.low, r.high, samples, error)) << error;
        ASSERT_EQ(samples.size(), (size_t)readersim::sample_count);
        profile_analysis a = analyse(samples);
        ASSERT_TRUE(a.decoded) << a.failure << "\n" << parameter_table(a);
        EXPECT_EQ(a.data, expected);
        EXPECT_NEAR(a.sc, (r.high - r.low) / 255, 0.01);
        EXPECT_GT(a.decodability, 0.5);

        if (r.barcode == code32) {
            std::string printed = svg_text(img.svg); // "A" and the nine digits
            ASSERT_EQ(printed.size(), 10u) << printed;
            symbol sym;
            ASSERT_TRUE(parse_symbol(decoded_symbol(a), sym, error)) << error;
            plugin_answer answer = offer(*pharma, sym);
            EXPECT_EQ(answer.result, prAccepted);
            EXPECT_NE(answer.text.find(printed.substr(1)), std::string::npos)
                << "pharma_it: " << answer.text << ", zint printed " << printed;
        }
    }
}

TEST(HostAnalysis, PngRowsAndResampling) {
    // Two white and two black pixels stretched over eight samples.
    std::vector<uint8_t> row = {255, 255, 0, 0};
    EXPECT_EQ(readersim::resample_row(row, 8, 10, 210),
              (std::vector<uint8_t>{210, 210, 210, 210, 10, 10, 10, 10}));
    // Shrunk to three samples, the middle one covers both colours.
    EXPECT_EQ(readersim::resample_row(row, 3, 0, 255), (std::vector<uint8_t>{255, 128, 0}));

    std::vector<uint8_t> out;
    std::string error;
    testsupport::temp_dir dir;
    EXPECT_FALSE(readersim::samples_from_png(dir.file("missing.png"), -1, 0, 255, out, error));
    EXPECT_NE(error.find("missing.png"), std::string::npos);
    testsupport::write_file(dir.file("not.png"), "not an image");
    EXPECT_FALSE(readersim::samples_from_png(dir.file("not.png"), -1, 0, 255, out, error));
    // A file of a few bytes that claims 65535 x 65535 pixels is refused
    // before anything is allocated for it.
    testsupport::write_file(dir.file("huge.png"), png_header_only(65535, 65535));
    EXPECT_FALSE(readersim::samples_from_png(dir.file("huge.png"), -1, 0, 255, out, error));
    EXPECT_NE(error.find("65535 x 65535"), std::string::npos) << error;
    if (!testsupport::have_program("zint"))
        GTEST_SKIP() << "zint is not installed (scripts/install-deps.sh peers)";
    rendered img;
    ASSERT_TRUE(render(dir, 8, "ROW", 1, img));
    EXPECT_FALSE(readersim::png_row(img.png, 100000, out, error));
    EXPECT_NE(error.find("no pixel row 100000"), std::string::npos) << error;
    ASSERT_TRUE(readersim::png_row(img.png, 0, out, error)) << error;
    EXPECT_EQ(out.front(), 255); // the quiet zone
}

// Number of elements of an SVG with the given class attribute.
size_t count_class(const std::string &svg, const std::string &css_class) {
    size_t n = 0;
    for (size_t at = svg.find("class=\"" + css_class + "\""); at != std::string::npos;
         at = svg.find("class=\"" + css_class + "\"", at + 1))
        n++;
    return n;
}

TEST(HostAnalysis, PlotMarksTheThresholdAndEveryEdge) {
    std::vector<uint8_t> samples = readersim::make_samples(readersim::profile());
    profile_analysis a = analyse(samples);
    ASSERT_TRUE(a.decoded);
    std::string plain = profile_svg(samples, cal_black, cal_white, "plain", true);
    EXPECT_EQ(count_class(plain, "edge"), 0u);
    EXPECT_EQ(count_class(plain, "threshold"), 0u);
    std::string marked = profile_svg(samples, cal_black, cal_white, "marked", true, marks_of(a));
    EXPECT_EQ(count_class(marked, "edge"), a.edges.size());
    EXPECT_EQ(a.edges.size(), 9u * 10); // nine characters, two quiet zones
    EXPECT_EQ(count_class(marked, "threshold"), 1u);
    char label[64];
    // The threshold is labelled and drawn on the axis's scale, R from 0 to 1.
    snprintf(label, sizeof label, "global threshold R = %.3f, %zu edges", a.gt, a.edges.size());
    EXPECT_NE(marked.find(label), std::string::npos);
    // Its line lies between the black (R = 0) and white (R = 1) level lines
    // where GT does.
    auto y_of_line = [&](size_t from) { return std::stod(marked.substr(marked.find("y1=\"", from) + 4)); };
    size_t white = marked.find("class=\"level\""), black = marked.find("class=\"level\"", white + 1);
    size_t threshold = marked.find("class=\"threshold\"");
    ASSERT_NE(black, std::string::npos);
    ASSERT_NE(threshold, std::string::npos);
    double y0 = y_of_line(black), y1 = y_of_line(white);
    EXPECT_NEAR(y_of_line(threshold), y0 + (y1 - y0) * a.gt, 0.01);
    // No contrast, no marks.
    std::vector<uint8_t> flat(2048, 90);
    EXPECT_EQ(count_class(profile_svg(flat, cal_black, cal_white, "flat", true, marks_of(analyse(flat))),
                          "threshold"),
              0u);
}

TEST(HostAnalysis, ReportOffersOnlyDecodedData) {
    auto modules = load_plugins(testsupport::bin_dir());
    ASSERT_FALSE(modules.empty());
    readersim::profile p;
    p.text = "+H+I";
    std::string report = grade_report("Graded:", analyse(readersim::make_samples(p)), modules);
    EXPECT_EQ(report.rfind("Graded:\n  Rmax ", 0), 0u) << report;
    EXPECT_NE(report.find("Plug-in answers for ]A0+H+I:\n"), std::string::npos) << report;
    EXPECT_NE(report.find("fullascii39  accepted (1)\n  name: "), std::string::npos) << report;
    EXPECT_NE(report.find("  text: hi\n"), std::string::npos) << report;

    std::string none = grade_report("Graded:", analyse(std::vector<uint8_t>(2048, 200)), modules);
    EXPECT_NE(none.find("Nothing decoded, nothing offered to the plug-ins.\n"), std::string::npos) << none;
    EXPECT_EQ(none.find("accepted"), std::string::npos) << none;
    std::string alone = grade_report("Graded:", analyse(readersim::make_samples(p)), {});
    EXPECT_NE(alone.find("No plug-in modules to offer ]A0+H+I to.\n"), std::string::npos) << alone;
}

// ---- The program ----

testsupport::run_result run_kestrel(const std::vector<std::string> &args, double bound = 60) {
    std::vector<std::string> argv = {testsupport::bin_dir() + "/kestrel"};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::run_program(argv, bound);
}

TEST(HostAnalysis, ScanGradeOnAZintCode32Symbol) {
    if (!testsupport::have_program("zint") || !testsupport::have_program("ZXingReader"))
        GTEST_SKIP() << "zint or ZXingReader is not installed (scripts/install-deps.sh peers)";
    testsupport::temp_dir dir;
    rendered img;
    ASSERT_TRUE(render(dir, 129, "27182818", 1, img));
    std::string expected = zxing_text(img.png);
    std::string printed = svg_text(img.svg);
    ASSERT_EQ(printed.size(), 10u);

    testsupport::background_program sim({testsupport::bin_dir() + "/kestrel-readersim", "--png", img.png,
                                         "--low", "40", "--high", "200", "--announce-every", "0.2"});
    std::string path = sim.first_line();
    ASSERT_FALSE(path.empty());
    auto r = run_kestrel({"scan", "--device", "usbserial-00001234=" + path, "--calfile", dir.file("cal.txt"),
                          "--grade", "--svg", dir.file("scan.svg")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const std::string &part : {
             std::string("Grade of scan 1 (uncalibrated: the reader's raw scale, not reflectance):\n"),
             std::string("  Symbol contrast    62.7 %       B (3)\n"),
             "  Data               ]A0" + expected + "\n",
             std::string("  Scan grade         B (3)\n"),
             "Plug-in answers for ]A0" + expected + ":\n",
             std::string("pharma_it    accepted (1)\n"),
             "  text: " + printed.substr(1),
         })
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    std::string svg = testsupport::read_file(dir.file("scan.svg"));
    EXPECT_EQ(count_class(svg, "edge"), 8u * 10);
    EXPECT_EQ(count_class(svg, "threshold"), 1u);
    EXPECT_NE(svg.find("reflectance R (uncalibrated: the raw scale)"), std::string::npos);

    // The verdict in the exit status: B passes a minimum of B, not of A, and
    // the parameter that fell short is named.
    r = run_kestrel({"scan", "--device", "usbserial-00001234=" + path, "--calfile", dir.file("cal.txt"),
                     "--min-grade", "B", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    r = run_kestrel({"scan", "--device", "usbserial-00001234=" + path, "--calfile", dir.file("cal.txt"),
                     "--min-grade", "A", "--quiet"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.err, "kestrel scan: scan 1 of 1 grades B (3), below A: Symbol contrast B (3)\n");
    EXPECT_NE(r.out.find("  Scan grade         B (3)\n"), std::string::npos) << r.out;

    // Plug-ins looked for elsewhere: none there.
    r = run_kestrel({"scan", "--device", "usbserial-00001234=" + path, "--calfile", dir.file("cal.txt"),
                     "--grade", "--plugin-dir", dir.path()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("No plug-in modules to offer ]A0" + expected + " to.\n"), std::string::npos)
        << r.out;

    // Bars printed in the paper's own shade: graded F, nothing offered.
    testsupport::background_program blank({testsupport::bin_dir() + "/kestrel-readersim", "--png", img.png,
                                           "--low", "150", "--high", "150", "--announce-every", "0.2"});
    path = blank.first_line();
    ASSERT_FALSE(path.empty());
    r = run_kestrel(
        {"scan", "--device", "usbserial-00001234=" + path, "--calfile", dir.file("cal.txt"), "--grade"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("  Data               none: no contrast\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  Scan grade         F (0)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Nothing decoded, nothing offered to the plug-ins.\n"), std::string::npos) << r.out;
}

TEST(HostAnalysis, DemoGradesDecodesAndInterprets) {
    testsupport::temp_dir dir;
    auto r = run_kestrel({"demo", "--out", dir.file("demo")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const char *part :
         {"Grade of scan 3 (calibrated reflectance):\n", "  Decode             pass         A (4)\n",
          "  Data               ]A0KESTREL-39\n", "  Scan grade         ",
          "Plug-in answers for ]A0KESTREL-39:\n", "pharma_it    rejected (-1)\n",
          "  text: Error - invalid length 10\n"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    // Scan, grade and interpretation in this order; the progress apart.
    EXPECT_LT(r.out.find("scan 3 calibrated"), r.out.find("Grade of scan 3"));
    EXPECT_LT(r.out.find("Grade of scan 3"), r.out.find("Plug-in answers"));
    EXPECT_NE(r.err.find("Wrote scan.csv and scan.svg in " + dir.file("demo") + "\n"), std::string::npos)
        << r.err;
    std::string svg = testsupport::read_file(dir.file("demo/scan.svg"));
    EXPECT_EQ(count_class(svg, "edge"), 12u * 10);
    EXPECT_EQ(count_class(svg, "threshold"), 1u);
}

} // namespace
