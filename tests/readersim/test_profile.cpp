// Synthetic scan profiles: Code 39 bar patterns (checked against zint and
// decoded by ZXingReader), quiet zones, fitting, blur, noise, frames.
#include "readersim.h"
#include "support.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>

namespace {

struct run {
    bool dark;
    int length;
};

// Runs of samples below / above the midpoint of the reflectances.
std::vector<run> runs_of(const std::vector<uint8_t> &s, double threshold) {
    std::vector<run> out;
    for (uint8_t v : s) {
        bool dark = v < threshold;
        if (out.empty() || out.back().dark != dark)
            out.push_back({dark, 0});
        out.back().length++;
    }
    return out;
}

int dark_runs(const std::vector<uint8_t> &s, double threshold) {
    int n = 0;
    for (const auto &r : runs_of(s, threshold))
        n += r.dark;
    return n;
}

TEST(Profile, FiveBarsPerCharacterWithStartAndStop) {
    const std::string texts[] = {"KESTREL", "A", "0123456789", "HELLO-WORLD. $/+%",
                                 "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%"};
    for (size_t i = 0; i < sizeof texts / sizeof texts[0]; i++) {
        SCOPED_TRACE(texts[i]);
        readersim::profile p;
        p.text = texts[i];
        auto s = readersim::make_samples(p);
        ASSERT_EQ(s.size(), (size_t)readersim::sample_count);
        EXPECT_EQ(dark_runs(s, (p.low + p.high) / 2), 5 * (int)(texts[i].size() + 2));
    }
}

TEST(Profile, SymbolCharacters) {
    EXPECT_EQ(readersim::code39_symbol("KESTREL"), "*KESTREL*");
    EXPECT_EQ(readersim::code39_symbol("ab#1*z"), "*AB1Z*");
    EXPECT_EQ(readersim::code39_symbol(""), "**");
}

TEST(Profile, QuietZonesAndFitting) {
    const struct {
        const char *text;
        int narrow;
        bool shrinks;
    } rows[] = {
        {"KESTREL", 8, false},
        {"A", 20, false},
        {"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%", 8, true},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", 0, true}, // 0: fit exactly
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        readersim::profile p;
        p.text = rows[i].text;
        p.narrow = rows[i].narrow;
        p.blur = 0;
        double narrow = readersim::fitted_narrow(p);
        if (rows[i].shrinks)
            EXPECT_LT(narrow, rows[i].narrow > 0 ? rows[i].narrow : 1e9);
        else
            EXPECT_EQ(narrow, rows[i].narrow);
        auto s = readersim::make_samples(p);
        double mid = (p.low + p.high) / 2;
        auto first = std::find_if(s.begin(), s.end(), [&](uint8_t v) { return v < mid; });
        auto last = std::find_if(s.rbegin(), s.rend(), [&](uint8_t v) { return v < mid; });
        ASSERT_NE(first, s.end());
        // One sample of slack for a partly covered sample at a fractional edge.
        EXPECT_GE(first - s.begin(), (long)(10 * narrow) - 1);
        EXPECT_GE(last - s.rbegin(), (long)(10 * narrow) - 1);
        EXPECT_EQ(dark_runs(s, mid), 5 * (int)(readersim::code39_symbol(p.text).size()));
    }
}

TEST(Profile, SharpEdgesGiveTwoLevelsAndBlurSoftensThem) {
    readersim::profile p;
    p.blur = 0;
    p.low = 40;
    p.high = 200;
    auto sharp = readersim::make_samples(p);
    std::set<int> levels(sharp.begin(), sharp.end());
    EXPECT_EQ(levels, (std::set<int>{40, 200}));

    p.blur = 2;
    auto soft = readersim::make_samples(p);
    int between = (int)std::count_if(soft.begin(), soft.end(), [](uint8_t v) { return v > 45 && v < 195; });
    EXPECT_GT(between, 100);
    EXPECT_GE(*std::min_element(soft.begin(), soft.end()), 40);
    EXPECT_LE(*std::max_element(soft.begin(), soft.end()), 200);
}

TEST(Profile, NoiseIsSeededAndClamped) {
    readersim::profile p;
    p.blur = 0;
    p.low = 5;
    p.high = 250;
    p.noise = 60;
    p.seed = 7;
    auto a = readersim::make_samples(p);
    EXPECT_EQ(a, readersim::make_samples(p));
    p.seed = 8;
    EXPECT_NE(a, readersim::make_samples(p));

    // Inside bars, noise pushed below 0 must clamp to 0, not wrap to bright.
    p.noise = 0;
    auto clean = readersim::make_samples(p);
    int bar_samples = 0, bright_in_bars = 0, zeros = 0;
    for (size_t i = 0; i < a.size(); i++) {
        if (clean[i] != 5)
            continue;
        bar_samples++;
        bright_in_bars += a[i] > 200;
        zeros += a[i] == 0;
    }
    EXPECT_GT(bar_samples, 300);
    EXPECT_EQ(bright_in_bars, 0);
    EXPECT_GT(zeros, bar_samples / 4);
}

TEST(Frame, SamplesInOddBytesSomethingElseInEven) {
    readersim::profile p;
    p.noise = 10;
    auto s = readersim::make_samples(p);
    auto f = readersim::make_frame(s);
    ASSERT_EQ(f.size(), (size_t)readersim::frame_bytes);
    for (int i = 0; i < readersim::sample_count; i++) {
        ASSERT_EQ(f[2 * i + 1], s[i]) << i;
        ASSERT_NE(f[2 * i], s[i]) << i;
    }
    // Missing samples are 0.
    auto short_frame = readersim::make_frame({9, 8});
    EXPECT_EQ(short_frame[1], 9);
    EXPECT_EQ(short_frame[3], 8);
    EXPECT_EQ(short_frame[5], 0);
    EXPECT_NE(short_frame[4], 0);
}

// Module pattern of zint's Code 39 (wide = 2 modules): its --dump prints the
// modules as hexadecimal digits, padded with zeros after the last bar.
std::string zint_modules(const std::string &text) {
    auto r = testsupport::run_program({"/usr/bin/env", "zint", "-b", "8", "--dump", "-d", text}, 10);
    if (r.status != 0)
        return "";
    std::string bits;
    for (char c : r.out) {
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (c == '\n')
            break;
        if (v >= 0)
            for (int b = 3; b >= 0; b--)
                bits += (v >> b) & 1 ? '1' : '0';
    }
    return bits.substr(0, bits.find_last_of('1') + 1);
}

TEST(Profile, BarPatternMatchesZint) {
    if (!testsupport::have_program("zint"))
        GTEST_SKIP() << "zint is not installed (Debian package zint)";
    const std::string texts[] = {"KESTREL", "0123456789", "ABCDEFGHIJKLM", "NOPQRSTUVWXYZ", "-. $/+%"};
    for (const auto &text : texts) {
        SCOPED_TRACE(text);
        std::string modules = zint_modules(text);
        ASSERT_FALSE(modules.empty());
        readersim::profile p;
        p.text = text;
        p.ratio = 2;
        p.narrow = 4;
        p.blur = 0;
        auto r = runs_of(readersim::make_samples(p), (p.low + p.high) / 2);
        ASSERT_GE(r.size(), 3u);
        std::string ours;
        for (size_t k = 1; k + 1 < r.size(); k++) // without the quiet zones
            ours += std::string(r[k].length / 4, r[k].dark ? '1' : '0');
        EXPECT_EQ(ours, modules);
    }
}

// Decodes a profile drawn as a 40-row greyscale image with ZXingReader.
std::string zxing_text(const std::vector<uint8_t> &s) {
    testsupport::temp_dir dir;
    std::string image = "P5\n2048 40\n255\n";
    for (int row = 0; row < 40; row++)
        image.append(s.begin(), s.end());
    testsupport::write_file(dir.file("scan.pgm"), image);
    auto r = testsupport::run_program({"/usr/bin/env", "ZXingReader", dir.file("scan.pgm")}, 20);
    if (r.out.find("Format:     Code39") == std::string::npos)
        return "(not decoded) " + r.out + r.err;
    auto at = r.out.find("Text:       \"");
    if (at == std::string::npos)
        return "(no text) " + r.out;
    at += 13;
    return r.out.substr(at, r.out.find('"', at) - at);
}

TEST(Profile, DecodedByZXing) {
    if (!testsupport::have_program("ZXingReader"))
        GTEST_SKIP() << "ZXingReader is not installed (Debian package zxing-cpp-tools)";
    const struct {
        const char *text;
        double blur, noise, ratio;
    } rows[] = {
        {"KESTREL", 1, 0, 2.5},
        {"CODE-39 TEST", 1.5, 4, 3},
        {"CODE 39", 2, 3, 2},
        {"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%", 0.5, 3, 2.5}, // narrow shrinks
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        readersim::profile p;
        p.text = rows[i].text;
        p.blur = rows[i].blur;
        p.noise = rows[i].noise;
        p.ratio = rows[i].ratio;
        EXPECT_EQ(zxing_text(readersim::make_samples(p)), rows[i].text);
    }
}

} // namespace
