// The cross-check harness: one zint run draws a row's symbols, one
// ZXingReader run and one zbarimg run read all images of a kind, and the
// engine grades each image's middle pixel row and its degraded copies.
#include "peer_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <sstream>

#include "readersim.h"
#include "support.h"

namespace verifytest {

std::string random_text(std::mt19937 &random, const std::string &alphabet, int min, int max) {
    int n = std::uniform_int_distribution<int>(min, max)(random);
    std::string s;
    for (int k = 0; k < n; k++)
        s += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(random)];
    return s;
}

namespace {

constexpr int profile_samples = readersim::sample_count;
constexpr int pgm_rows = 8;

// A peer's reading of every file it was given: file name -> symbol, with
// "" for the files it read nothing from.
using readings = std::map<std::string, std::string>;

// ZXingReader over many files: its "Identifier:" and "Bytes:" lines give
// "]A0" and the data of each "File:" block.
readings zxing_read(const std::string &format, const std::vector<std::string> &files, bool pure) {
    std::vector<std::string> argv = {"/usr/bin/env", "ZXingReader", "-format", format};
    if (pure)
        argv.push_back("-ispure");
    argv.insert(argv.end(), files.begin(), files.end());
    auto r = testsupport::run_program(argv, 300.0);
    readings out;
    std::istringstream lines(r.out);
    std::string line, file, identifier, bytes;
    auto flush = [&] {
        if (!file.empty())
            out[file] = identifier.empty() ? "" : identifier + bytes;
        file.clear();
        identifier.clear();
        bytes.clear();
    };
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "File:") {
            flush();
            fields >> file;
        } else if (key == "Identifier:") {
            fields >> identifier;
        } else if (key == "Bytes:") {
            unsigned value;
            while (fields >> std::hex >> value)
                bytes += (char)value;
        }
    }
    flush();
    EXPECT_EQ(out.size(), files.size())
        << "ZXingReader answered for " << out.size() << " of " << files.size() << " files:\n"
        << r.out << r.err;
    return out;
}

// zbarimg over many files, restricted to one symbology: the data of each
// source ("" when none), from its XML output.
readings zbar_read(const std::string &symbology, const std::vector<std::string> &files) {
    std::vector<std::string> argv = {"/usr/bin/env", "zbarimg",   "--xml",
                                     "-q",           "-Sdisable", "-S" + symbology + ".enable"};
    argv.insert(argv.end(), files.begin(), files.end());
    auto r = testsupport::run_program(argv, 300.0);
    readings out;
    for (const auto &f : files)
        out[f] = "";
    const std::string source = "<source href='", open = "<![CDATA[", close = "]]>";
    for (size_t at = r.out.find(source); at != std::string::npos; at = r.out.find(source, at + 1)) {
        size_t name_end = r.out.find('\'', at + source.size());
        std::string file = r.out.substr(at + source.size(), name_end - at - source.size());
        size_t next = r.out.find(source, at + 1);
        size_t data = r.out.find(open, at);
        if (data != std::string::npos && data < next) {
            size_t end = r.out.find(close, data);
            out[file] = r.out.substr(data + open.size(), end - data - open.size());
        }
    }
    return out;
}

// The text zint prints under a symbol, from its SVG, spaces removed.
std::string svg_text(const std::string &svg) {
    std::string s = testsupport::read_file(svg);
    size_t open = s.find("<text"), start = s.find('>', open), end = s.find("</text>", open);
    if (open == std::string::npos || start == std::string::npos || end == std::string::npos)
        return "";
    std::string t;
    for (char c : s.substr(start + 1, end - start - 1))
        if (!std::isspace((unsigned char)c))
            t += c;
    return t;
}

// zint draws every datum of `data` into dir/<stem>NNN.<ext> in one run.
std::vector<std::string> zint_draw(const peer_case &c, const testsupport::temp_dir &dir,
                                   const std::vector<std::string> &data, const std::string &stem,
                                   const std::string &ext, bool text) {
    std::string input = dir.file(stem + ".txt");
    std::string lines;
    for (const auto &d : data)
        lines += d + "\n";
    testsupport::write_file(input, lines);
    std::vector<std::string> argv = {"/usr/bin/env", "zint"};
    argv.insert(argv.end(), c.zint.begin(), c.zint.end());
    argv.insert(argv.end(), {"--batch", "-i", input, "--quietzones", "--scale=1", "--height=20", "-o",
                             dir.file(stem + "~~~." + ext)});
    if (!text)
        argv.push_back("--notext");
    auto r = testsupport::run_program(argv, 120.0);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::vector<std::string> files;
    for (size_t k = 0; k < data.size(); k++) {
        char name[32];
        std::snprintf(name, sizeof name, "%03zu.", k + 1);
        files.push_back(dir.file(stem + name + ext));
    }
    return files;
}

// Degradations of a profile of reflectances whose module is `x` samples:
// contrast, then print noise, then the blur of the measuring aperture,
// which smooths that noise as a real aperture does. The blur of a
// verifier's aperture, at most 0.8 X across, is about 0.2 X (standard
// deviation); beyond that the standard's edges (midway between the
// adjoining Rs and Rb) widen narrow elements until its reference decode
// fails where a scanner's decoder still reads. So the engine must read
// every profile a peer reads up to that blur ("binding"), and past it must
// only never misread.
struct degradation {
    const char *name;
    double low, high; // the range the profile is mapped into
    double noise;     // additive noise, standard deviation in reflectance
    double blur;      // Gaussian blur, standard deviation in modules
    bool binding;
};
const degradation degradations[] = {
    {"low contrast", 0.35, 0.65, 0, 0, true},     {"blur", 0.05, 0.90, 0, 0.2, true},
    {"noise", 0.05, 0.90, 0.08, 0.2, true},       {"all three", 0.30, 0.75, 0.05, 0.2, true},
    {"heavy noise", 0.05, 0.90, 0.2, 0.2, false}, {"heavy blur", 0.05, 0.90, 0, 0.45, false},
    {"heavier blur", 0.05, 0.90, 0, 0.6, false},
};
constexpr size_t degradation_count = std::size(degradations);

std::vector<double> degrade(const std::vector<double> &r, double x, const degradation &d,
                            std::mt19937 &random) {
    std::vector<double> out(r.size());
    std::normal_distribution<double> noise(0, d.noise > 0 ? d.noise : 1);
    for (size_t i = 0; i < r.size(); i++)
        out[i] = d.low + (d.high - d.low) * r[i] + (d.noise > 0 ? noise(random) : 0);
    if (d.blur > 0) {
        double sigma = d.blur * x;
        int reach = (int)std::ceil(3 * sigma);
        std::vector<double> kernel;
        double sum = 0;
        for (int k = -reach; k <= reach; k++) {
            kernel.push_back(std::exp(-0.5 * k * k / (sigma * sigma)));
            sum += kernel.back();
        }
        std::vector<double> blurred(out.size());
        int n = (int)out.size();
        for (int i = 0; i < n; i++) {
            double v = 0;
            for (int k = -reach; k <= reach; k++)
                v += kernel[(size_t)(k + reach)] * out[(size_t)std::clamp(i + k, 0, n - 1)];
            blurred[(size_t)i] = v / sum;
        }
        out = blurred;
    }
    for (double &v : out)
        v = std::round(std::clamp(v, 0.0, 1.0) * 255) / 255; // as the greyscale image holds it
    return out;
}

void write_pgm(const std::string &path, const std::vector<double> &r) {
    std::string pgm = "P5\n" + std::to_string(r.size()) + " " + std::to_string(pgm_rows) + "\n255\n";
    std::string row;
    for (double v : r)
        row += (char)(unsigned char)std::lround(v * 255);
    for (int k = 0; k < pgm_rows; k++)
        pgm += row;
    testsupport::write_file(path, pgm);
}

struct engine_reading {
    bool decoded = false;
    std::string symbol, failure;
};

engine_reading engine_read(const std::vector<double> &r, const verify_options_t &options) {
    auto scan = std::make_unique<verify_scan_t>();
    EXPECT_EQ(verify_profile(r.data(), r.size(), &options, scan.get()), VERIFY_OK);
    return {scan->decoded == 1, std::string(scan->symbol, (size_t)scan->symbol_length), scan->failure};
}

} // namespace

void cross_check(const peer_case &c) {
    auto comparable = [&](const std::string &s) { return c.comparable && !s.empty() ? c.comparable(s) : s; };
    testsupport::temp_dir dir;
    std::mt19937 random(20240611);
    std::vector<std::string> data;
    for (int k = 0; k < peer_symbols; k++)
        data.push_back(c.random_data(random));

    std::vector<std::string> pngs = zint_draw(c, dir, data, "sym", "png", false);
    std::vector<std::string> printed(data.size());
    if (c.expected_from_zint) {
        std::vector<std::string> svgs = zint_draw(c, dir, data, "txt", "svg", true);
        for (size_t k = 0; k < data.size(); k++)
            printed[k] = svg_text(svgs[k]);
    }

    // The truth of each symbol: what ZXingReader reads from zint's image,
    // or what zint's data and printed text say.
    std::vector<std::string> truth(data.size());
    if (c.zxing_format) {
        readings clean = zxing_read(c.zxing_format, pngs, true);
        for (size_t k = 0; k < data.size(); k++)
            truth[k] = comparable(clean[pngs[k]]);
    } else {
        for (size_t k = 0; k < data.size(); k++)
            truth[k] = c.expected_from_zint(data[k], printed[k]);
    }

    // The engine on zint's images, and the degraded profiles for the peers.
    struct profile_file {
        size_t symbol;
        const degradation *how; // nullptr: zint's image as drawn
        std::string file;
        std::vector<double> r;
    };
    std::vector<profile_file> profiles;
    std::mt19937 noise(7);
    for (size_t k = 0; k < data.size(); k++) {
        SCOPED_TRACE("symbol " + std::to_string(k + 1) + " \"" + data[k] + "\", " + pngs[k]);
        ASSERT_FALSE(truth[k].empty()) << "the peer read nothing from zint's image";
        std::vector<uint8_t> row;
        std::string error;
        ASSERT_TRUE(readersim::png_row(pngs[k], -1, row, error)) << error;
        double modules = row.size() / 2.0; // zint's --scale=1 draws a module as 2 pixels
        double x = profile_samples / modules;
        ASSERT_GE(x, 3.0) << "fewer than 3 samples per module: " << modules << " modules";
        std::vector<uint8_t> samples = readersim::resample_row(row, profile_samples, 0, 255);
        std::vector<double> r(samples.size());
        for (size_t i = 0; i < r.size(); i++)
            r[i] = samples[i] / 255.0;
        profiles.push_back({k, nullptr, pngs[k], r});
        for (const degradation &d : degradations) {
            std::string file =
                dir.file("deg" + std::to_string(k) + "_" + std::to_string(&d - degradations) + ".pgm");
            std::vector<double> worse = degrade(r, x, d, noise);
            write_pgm(file, worse);
            profiles.push_back({k, &d, file, worse});
        }
    }

    std::vector<std::string> pgms;
    for (const auto &p : profiles)
        if (p.how)
            pgms.push_back(p.file);
    readings zxing, zbar;
    if (c.zxing_format)
        zxing = zxing_read(c.zxing_format, pgms, false);
    if (c.zbar_symbology) {
        std::vector<std::string> all = pngs;
        all.insert(all.end(), pgms.begin(), pgms.end());
        zbar = zbar_read(c.zbar_symbology, all);
    }

    // Per degradation: profiles, and how many the engine and each peer read.
    struct tally {
        int profiles = 0, engine = 0, zxing = 0, zbar = 0;
    };
    tally counts[degradation_count + 1]; // the last: zint's images as drawn
    for (const auto &p : profiles) {
        SCOPED_TRACE("symbol " + std::to_string(p.symbol + 1) + " \"" + data[p.symbol] + "\", " +
                     (p.how ? p.how->name : "as drawn") + ", " + p.file);
        engine_reading mine = engine_read(p.r, c.options);
        const std::string &expected = truth[p.symbol];
        bool binding = !p.how || p.how->binding;
        tally &t = counts[p.how ? (size_t)(p.how - degradations) : degradation_count];
        t.profiles++;
        t.engine += mine.decoded;
        if (!p.how) {
            EXPECT_TRUE(mine.decoded) << mine.failure;
            t.zxing += c.zxing_format != nullptr; // the truth is ZXingReader's reading of it
        }
        if (mine.decoded) {
            EXPECT_EQ(comparable(mine.symbol), expected) << "the engine's reading";
        }
        if (c.zxing_format && p.how && !zxing[p.file].empty()) {
            t.zxing++;
            EXPECT_EQ(comparable(zxing[p.file]), expected) << "ZXingReader's reading";
            if (binding) {
                EXPECT_TRUE(mine.decoded) << "ZXingReader reads it, the engine does not: " << mine.failure;
            }
        }
        if (c.zbar_symbology && !zbar[p.file].empty()) {
            t.zbar++;
            std::string id = expected.substr(0, 3);
            EXPECT_EQ(comparable(id + zbar[p.file]).substr(3), expected.substr(3)) << "zbarimg's reading";
            if (binding) {
                EXPECT_TRUE(mine.decoded) << "zbarimg reads it, the engine does not: " << mine.failure;
            }
        }
    }
    std::printf("%s, %d symbols: profiles read by the engine / ZXingReader / zbarimg\n", c.name,
                (int)data.size());
    int bound = 0, bound_read = 0, peer_read = 0;
    for (size_t k = 0; k <= degradation_count; k++) {
        const tally &t = counts[k];
        std::printf("  %-14s %3d / %3d / %3d of %d\n",
                    k < degradation_count ? degradations[k].name : "as drawn", t.engine,
                    c.zxing_format ? t.zxing : -1, c.zbar_symbology ? t.zbar : -1, t.profiles);
        if (k < degradation_count && degradations[k].binding) {
            bound += t.profiles;
            bound_read += t.engine;
            peer_read += std::max(t.zxing, t.zbar);
        }
    }
    // The degraded profiles must stay readable enough to compare on.
    if (c.zxing_format || c.zbar_symbology) {
        EXPECT_GE(peer_read, bound / 2) << "the peers read too few degraded profiles to compare on";
    }
    EXPECT_GE(bound_read, bound / 2) << "the engine read too few degraded profiles";
}

} // namespace verifytest
