// The host program's parts on their own: reflectance, sparkline, CSV and
// SVG output, ISO 8859-1 conversion, result texts, the record listing,
// option, number and symbol parsing, output files, discovery's status
// lines, grade verdicts, JSON, and loading the plug-in modules.
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <langinfo.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "args.h"
#include "discovery_log.h"
#include "files.h"
#include "grade_output.h"
#include "json_output.h"
#include "kestrel/kestrel.h"
#include "latin1.h"
#include "numbers.h"
#include "plugins.h"
#include "profile_output.h"
#include "record_output.h"
#include "result_text.h"
#include "support.h"

namespace {

using namespace host;

// Number of UTF-8 characters (lead bytes) in a text.
size_t utf8_length(const std::string &s) {
    size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

size_t count_of(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        n++;
    return n;
}

TEST(HostReflectance, FromSampleAndCalibration) {
    struct row {
        unsigned sample, calmin, calmax;
        double expected;
    };
    static const row rows[] = {
        {0, 0, 0xFF00, 0.0},
        {255, 0, 0xFF00, 1.0},
        {128, 0, 0xFF00, 32768.0 / 65280.0},
        {100, 4000, 60000, (25600.0 - 4000.0) / 56000.0},
        {10, 4000, 60000, 0.0},  // below calmin: limited to 0
        {250, 4000, 60000, 1.0}, // above calmax: limited to 1
        {0, 0, 0, 1.0},          // degenerate calibration: a step at calmin
        {10, 5000, 5000, 0.0},
        {20, 5000, 5000, 1.0},
        {30, 60000, 4000, 52320.0 / 56000.0}, // inverted calibration: falls with s
        {255, 60000, 4000, 0.0},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(reflectance(rows[i].sample, rows[i].calmin, rows[i].calmax), rows[i].expected, 1e-12);
    }
}

TEST(HostSparkline, LevelsColumnsAndWidth) {
    EXPECT_EQ(sparkline({0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875}, 8), "▁▂▃▄▅▆▇█");
    // Where the terminal cannot show blocks: the same eight levels in ASCII.
    EXPECT_EQ(sparkline({0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1.0}, 9, false), "_.-:=+*##");
    EXPECT_EQ(sparkline({0.0, 1.0}, 64), "▁█"); // fewer values than columns
    EXPECT_EQ(sparkline({}, 64), "");
    std::vector<double> dark(2048, 0.0), light(2048, 1.0);
    std::string all_dark, all_light;
    for (int i = 0; i < 64; i++) {
        all_dark += "▁";
        all_light += "█";
    }
    EXPECT_EQ(sparkline(dark), all_dark);
    EXPECT_EQ(sparkline(light), all_light);

    // Each column is the mean of its 32 values: a half-dark column is mid-height.
    std::vector<double> halves(2048);
    for (size_t i = 0; i < halves.size(); i++)
        halves[i] = (i % 32) < 16 ? 0.0 : 1.0;
    std::string mid;
    for (int i = 0; i < 64; i++)
        mid += "▅";
    EXPECT_EQ(sparkline(halves), mid);

    // A ramp rises from the lowest block to the highest, never falling.
    std::vector<double> ramp(2048);
    for (size_t i = 0; i < ramp.size(); i++)
        ramp[i] = (double)i / 2047.0;
    std::string line = sparkline(ramp);
    EXPECT_EQ(utf8_length(line), 64u);
    EXPECT_EQ(line.substr(0, 3), "▁");
    EXPECT_EQ(line.substr(line.size() - 3), "█");
    for (size_t c = 3; c < line.size(); c += 3)
        EXPECT_GE((unsigned char)line[c + 2], (unsigned char)line[c - 1]) << "column " << c / 3;
}

TEST(HostProfileCsv, HeaderAndRows) {
    EXPECT_EQ(profile_csv({0, 128, 255}, 0, 0xFF00),
              "index,sample,reflectance\n0,0,0.0000\n1,128,0.5020\n2,255,1.0000\n");
    EXPECT_EQ(profile_csv({100}, 4000, 60000), "index,sample,reflectance\n0,100,0.3857\n");
}

TEST(HostProfileSvg, PolylineLevelsAndEscapedTitle) {
    std::vector<uint8_t> samples(2048);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = (uint8_t)(i % 256);
    std::string svg = profile_svg(samples, 0x0FA0, 0xEA60, "A & <B>", true);
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("A &amp; &lt;B&gt;"), std::string::npos);
    EXPECT_NE(svg.find("black R = 0 (calmin 0FA0)"), std::string::npos);
    EXPECT_NE(svg.find("white R = 1 (calmax EA60)"), std::string::npos);
    EXPECT_NE(svg.find(">reflectance R (calibrated)<"), std::string::npos);
    // Samples 0..15 lie below calmin 0x0FA0 and 235..255 above calmax 0xEA60,
    // eight times over; the key says so.
    EXPECT_NE(svg.find("clipped: 128 samples at R = 0, 168 at R = 1"), std::string::npos)
        << svg.substr(0, 3000);
    EXPECT_EQ(count_of(svg, "<polyline"), 1u);

    size_t from = svg.find("points=\"", svg.find("<polyline")) + 8;
    std::string points = svg.substr(from, svg.find('"', from) - from);
    EXPECT_EQ(count_of(points, ","), 2048u);
    EXPECT_EQ(count_of(points, " ") + 1, 2048u);

    // Sample 0 lies below calmin (R = 0) and sample 255 above calmax (R = 1):
    // their points sit on the black and the white level lines.
    std::vector<std::string> line_y;
    for (size_t at = svg.find("<line"); at != std::string::npos; at = svg.find("<line", at + 1)) {
        size_t y = svg.find("y1=\"", at) + 4;
        line_y.push_back(svg.substr(y, svg.find('"', y) - y));
    }
    ASSERT_EQ(line_y.size(), 2u); // white, then black
    std::vector<std::string> pts;
    for (size_t at = 0; at < points.size();) {
        size_t end = points.find(' ', at);
        pts.push_back(points.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? points.size() : end + 1;
    }
    ASSERT_EQ(pts.size(), 2048u);
    EXPECT_EQ(pts[0].substr(pts[0].find(',') + 1), line_y[1]);
    EXPECT_EQ(pts[255].substr(pts[255].find(',') + 1), line_y[0]);
    EXPECT_LT(std::stod(pts[0]), std::stod(pts[2047])); // x grows with the index
}

TEST(HostProfileSvg, ParsesAsXml) {
    if (!testsupport::have_program("python3"))
        GTEST_SKIP() << "python3 is not installed";
    testsupport::temp_dir dir;
    std::vector<uint8_t> samples(2048, 200);
    testsupport::write_file(dir.file("p.svg"),
                            profile_svg(samples, 0, 0xFF00, "title \"quoted\" & more", false));
    auto r = testsupport::run_program(
        {"/usr/bin/env", "python3", "-c",
         "import sys, xml.dom.minidom as m; d = m.parse(sys.argv[1]); "
         "p = d.getElementsByTagName('polyline')[0]; print(len(p.getAttribute('points').split()))",
         dir.file("p.svg")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2048\n");
}

// The process's character set for the rows of one test, put back after.
struct ctype_locale {
    std::string saved;
    explicit ctype_locale(const char *name) : saved(setlocale(LC_CTYPE, nullptr)) {
        setlocale(LC_CTYPE, name);
    }
    ~ctype_locale() { setlocale(LC_CTYPE, saved.c_str()); }
    bool took(const char *codeset) const { return std::string(nl_langinfo(CODESET)) == codeset; }
};

TEST(HostLatin1, ForTerminalAndJson) {
    struct row {
        const char *in, *utf8_terminal, *ascii_terminal, *json;
    };
    static const row rows[] = {
        {"abc", "abc", "abc", "abc"},
        {"\xA3"
         "8.90",
         "£8.90", "?8.90", "£8.90"},
        {"C\xF4t\xE9", "Côté", "C?t?", "Côté"},
        {"\xE4\xFF", "äÿ", "??", "äÿ"},
        {"\xA0\xBF", "\xC2\xA0\xC2\xBF", " ?", "\xC2\xA0\xC2\xBF"},
        {"\x80\x9F", "\\x80\\x9F", "\\x80\\x9F", "\xC2\x80\xC2\x9F"},
        {"\x1B[31mRED", "\\x1B[31mRED", "\\x1B[31mRED", "\x1B[31mRED"}, // no escape reaches the terminal
        {"a\tb\x7F", "a\\x09b\\x7F", "a\\x09b\\x7F", "a\tb\x7F"},
        {"", "", "", ""},
    };
    {
        ctype_locale utf8("C.UTF-8");
        ASSERT_TRUE(utf8.took("UTF-8"));
        EXPECT_TRUE(charset_is_utf8());
        for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
            SCOPED_TRACE(i);
            EXPECT_EQ(latin1_for_terminal(rows[i].in), rows[i].utf8_terminal);
            EXPECT_EQ(latin1_to_utf8(rows[i].in), rows[i].json);
        }
        EXPECT_EQ(latin1_for_terminal(std::string("a\0b", 3)), "a\\x00b");
        EXPECT_EQ(latin1_to_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    }
    ctype_locale ascii("C");
    EXPECT_FALSE(charset_is_utf8());
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(latin1_for_terminal(rows[i].in), rows[i].ascii_terminal);
    }
}

TEST(HostResultText, EveryCodeHasAMeaning) {
    static const int codes[] = {
        RDR_OK,
        RDR_UNSUPPORTED,
        RDR_NOT_DRIVEN,
        RDR_NO_READER,
        RDR_NONE_FOUND,
        RDR_NO_RECORD,
        RDR_BAD_CHECKSUM,
        RDR_READ_FAILED,
        RDR_TIMEOUT,
        RDR_WRITE_INFOREQ,
        RDR_WRITE_START,
        RDR_CAL_TEMPFILE,
        RDR_CAL_WRITE_CALIB,
        RDR_CAL_WRITE_READER,
        RDR_CAL_REPLACE,
        RDR_CAL_COPY,
        RDR_CAL_CLOSE_TEMP,
        RDR_CAL_OPEN_TEMP,
        RDR_CAL_CLOSE,
        RDR_CAL_REMOVE_TEMP,
        RDR_NO_CALIBRATION,
        RDR_NOT_AVAILABLE,
        RDR_REENTERED,
        RDR_EX_UNAVAILABLE,
        RDR_EX_IOERR,
    };
    std::vector<std::string> seen;
    for (int code : codes) {
        SCOPED_TRACE(code);
        std::string text = result_text(code);
        EXPECT_NE(text, "unknown result code");
        for (const auto &s : seen)
            EXPECT_NE(text, s);
        seen.push_back(text);
    }
    EXPECT_STREQ(result_text(12345), "unknown result code");
    EXPECT_EQ(describe_result(RDR_NONE_FOUND), "no reader found (-102)");
    EXPECT_EQ(describe_result(RDR_EX_IOERR), "cannot open or configure the reader's port (74)");
}

TEST(HostRecord, FieldsInOrderWithCalibration) {
    readerinfo_t rec;
    memset(&rec, 0, sizeof rec);
    rec.SerialNumber = 0x1A2B;
    rec.FirmwareVers = 0x0206;
    rec.Wavelength = 660;
    rec.ReaderType = rtWand;
    rec.MotivePower = (motivepower_t)9;
    rec.calmin = 62;
    rec.calmax = 58812;
    rec.admax = 0xFF00;
    rec.lastcal = -1;
    memset(rec.factorycal_user, 'x', sizeof rec.factorycal_user); // no terminator
    auto fields = record_fields(rec);
    ASSERT_EQ(fields.size(), 19u);
    static const char *const names[] = {"SerialNumber",    "FirmwareVers",    "ProgChecksum", "BootCheckSum",
                                        "Resolution",      "Wavelength",      "SizeOfSample", "NumOfSamples",
                                        "ReaderType",      "MotivePower",     "calmin",       "calmax",
                                        "admin",           "admax",           "givenz",       "lastcal",
                                        "factorycal_when", "factorycal_user", "calibrated"};
    for (size_t i = 0; i < fields.size(); i++)
        EXPECT_EQ(fields[i].first, names[i]) << i;
    EXPECT_EQ(fields[0].second, "1A2B");
    EXPECT_EQ(fields[5].second, "660 nm");
    EXPECT_EQ(fields[8].second, "1 (wand)");
    EXPECT_EQ(fields[9].second, "9 (not a known drive)");
    EXPECT_EQ(fields[10].second, "003E (62)");
    EXPECT_EQ(fields[11].second, "E5BC (58812)");
    EXPECT_EQ(fields[15].second, "none (-1)");
    EXPECT_EQ(fields[17].second, "'" + std::string(257, 'x') + "'");
    EXPECT_EQ(fields[18].second, "yes");
    EXPECT_TRUE(is_calibrated(rec));
    rec.calmin = rec.admin;
    rec.calmax = rec.admax;
    EXPECT_FALSE(is_calibrated(rec));
    EXPECT_NE(format_record(rec).find("  SerialNumber     1A2B\n"), std::string::npos);
}

TEST(HostArgs, OptionForms) {
    const option_group specs = {
        {"count", 0, "N", "scans"}, {"quiet", 'q', nullptr, "quiet"}, {"device", 0, "D", "device"}};
    struct row {
        std::vector<std::string> args;
        bool ok;
        std::string count; // last --count, "" if absent
        size_t devices;
        size_t positional;
        bool quiet;
    };
    static const row rows[] = {
        {{"--count", "3"}, true, "3", 0, 0, false},
        {{"--count=4", "--count", "5"}, true, "5", 0, 0, false},
        {{"--device", "a", "--device=b", "x"}, true, "", 2, 1, false},
        {{"--quiet", "--", "--count"}, true, "", 0, 1, true},
        {{"-q", "x"}, true, "", 0, 1, true},
        {{"--count"}, false, "", 0, 0, false},
        {{"--quiet=1"}, false, "", 0, 0, false},
        {{"--bogus"}, false, "", 0, 0, false},
        {{"--coun", "3"}, false, "", 0, 0, false}, // no abbreviations
        {{"-c"}, false, "", 0, 0, false},
        {{"-qq"}, false, "", 0, 0, false},
        {{"-"}, true, "", 0, 1, false},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        parsed_args p;
        std::string error;
        ASSERT_EQ(parse_args(specs, rows[i].args, p, error), rows[i].ok);
        if (!rows[i].ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(p.last("count"), rows[i].count);
        EXPECT_EQ(p.all("device").size(), rows[i].devices);
        EXPECT_EQ(p.positional.size(), rows[i].positional);
        EXPECT_EQ(p.has("quiet"), rows[i].quiet);
    }
    std::string help = options_help(specs);
    EXPECT_NE(help.find("      --count N           scans\n"), std::string::npos) << help;
    EXPECT_NE(help.find("  -q, --quiet             quiet\n"), std::string::npos) << help;
}

// Every number the command lines take goes through these two.
TEST(HostArgs, NumbersWithinTheirLimits) {
    struct row {
        const char *text;
        bool ok;
        long long value;
    };
    static const row ints[] = {
        {"256", true, 256},     {"0x100", true, 256}, {"0X1f", true, 31}, {"-1", true, -1},
        {"65535", true, 65535}, {"65536", false, 0},  {"", false, 0},     {"12a", false, 0},
        {"0x", false, 0},       {" 1", false, 0},     {"+1", false, 0},   {"-2", false, 0},
        {"-0x1", true, -1},     {"--1", false, 0},    {"1 ", false, 0},   {"99999999999999999999", false, 0},
    };
    for (size_t i = 0; i < sizeof ints / sizeof ints[0]; i++) {
        SCOPED_TRACE(i);
        long long v = 0;
        EXPECT_EQ(tools::parse_int(ints[i].text, -1, 65535, v), ints[i].ok);
        if (ints[i].ok) {
            EXPECT_EQ(v, ints[i].value);
        }
    }
    struct real_row {
        const char *text;
        bool ok;
        double value;
    };
    static const real_row reals[] = {
        {"0.85", true, 0.85}, {"1", true, 1.0},    {"0", true, 0.0},   {"1.5", false, 0}, {"nan", false, 0},
        {"inf", false, 0},    {"0.5x", false, 0},  {" 0.5", false, 0}, {"", false, 0},    {"-0.1", false, 0},
        {".5", true, 0.5},    {"5e-1", true, 0.5}, {"0,5", false, 0},
    };
    for (size_t i = 0; i < sizeof reals / sizeof reals[0]; i++) {
        SCOPED_TRACE(i);
        double d = -1;
        EXPECT_EQ(tools::parse_double(reals[i].text, 0, 1, d), reals[i].ok);
        if (reals[i].ok) {
            EXPECT_DOUBLE_EQ(d, reals[i].value);
        }
    }

    // Option values: the limits are stated in the error.
    parsed_args p;
    p.values["count"] = {"0"};
    p.values["timeout"] = {"-1"};
    long long count = 7;
    double timeout = 7;
    std::string error;
    EXPECT_FALSE(int_option(p, "count", 1, 100000, 1, count, error));
    EXPECT_EQ(error, "bad --count '0' (a whole number from 1 to 100000)");
    EXPECT_FALSE(real_option(p, "timeout", 0.001, 86400, 10, timeout, error, "seconds"));
    EXPECT_EQ(error, "bad --timeout '-1' (seconds from 0.001 to 86400)");
    EXPECT_TRUE(int_option(p, "absent", 1, 9, 4, count, error));
    EXPECT_EQ(count, 4);
}

TEST(HostFiles, ConfigFileAndDirectories) {
    testsupport::temp_dir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(config_file("calibration.txt"), dir.path() + "/kestrel/calibration.txt");
    setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    setenv("HOME", dir.path().c_str(), 1);
    EXPECT_EQ(config_file("calibration.txt"), dir.path() + "/.config/kestrel/calibration.txt");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(config_file("x"), dir.path() + "/.config/kestrel/x");

    std::string error;
    EXPECT_TRUE(make_dirs(dir.file("a/b/c"), error)) << error;
    EXPECT_TRUE(testsupport::file_exists(dir.file("a/b/c")));
    EXPECT_TRUE(make_dirs(dir.file("a/b/c"), error)); // already there
    testsupport::write_file(dir.file("plain"), "x");
    EXPECT_FALSE(make_dirs(dir.file("plain/sub"), error));
    EXPECT_EQ(error, dir.file("plain") + ": Not a directory");
    EXPECT_FALSE(make_dirs(dir.file("plain"), error));

    EXPECT_EQ(dir_of("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(dir_of("c.txt"), ".");
    EXPECT_EQ(dir_of("/c.txt"), "/");
}

// Outputs are checked before a command does any work.
TEST(HostFiles, OutputsCheckedBeforeWork) {
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("plain"), "x");
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    struct row {
        std::vector<output_file> outputs;
        const char *error; // nullptr: accepted
    };
    const row rows[] = {
        {{{"csv", dir.file("new.csv")}, {"svg", dir.file("plain")}}, nullptr}, // new file; file overwritten
        {{{"csv", "-"}}, nullptr},
        {{{"csv", "-"}, {"json", dir.file("r.json")}}, nullptr},
        {{{"csv", "-"}, {"json", "-"}}, "--csv and --json cannot both write to standard output (-)"},
        {{{"svg", dir.file("missing/p.svg")}}, "No such file or directory"},
        {{{"svg", dir.file("plain/p.svg")}}, "Not a directory"},
        {{{"json", dir.file("sub")}}, "Is a directory"},
        {{{"json", ""}}, "--json needs a file name"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        std::string error;
        EXPECT_EQ(check_outputs(rows[i].outputs, error), rows[i].error == nullptr) << error;
        if (rows[i].error) {
            EXPECT_NE(error.find(rows[i].error), std::string::npos) << error;
            EXPECT_EQ(error.rfind("--", 0), 0u) << error; // names the option
        }
    }
}

TEST(HostFiles, SamplesReadBackFromCsv) {
    testsupport::temp_dir dir;
    std::vector<uint8_t> samples = {0, 1, 128, 255};
    testsupport::write_file(dir.file("s.csv"), profile_csv(samples, 4000, 60000));
    std::vector<uint8_t> back;
    std::string error;
    ASSERT_TRUE(read_csv_samples(dir.file("s.csv"), back, error)) << error;
    EXPECT_EQ(back, samples);

    struct row {
        const char *content;
        const char *error;
    };
    static const row bad[] = {
        {"index,sample,reflectance\n0,256,1.0\n", ":2: not an index,sample row"},
        {"index,sample,reflectance\n0;5;0.1\n", ":2: not an index,sample row"},
        {"index,sample,reflectance\n", ": no samples"},
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; i++) {
        SCOPED_TRACE(i);
        testsupport::write_file(dir.file("bad.csv"), bad[i].content);
        EXPECT_FALSE(read_csv_samples(dir.file("bad.csv"), back, error));
        EXPECT_NE(error.find(bad[i].error), std::string::npos) << error;
    }
    EXPECT_FALSE(read_csv_samples(dir.file("none.csv"), back, error));
    EXPECT_EQ(error, dir.file("none.csv") + ": No such file or directory");
}

// What each device came to, from the library's status lines as discovery
// and activation word them.
TEST(HostDiscoveryLog, StatusLinesTellWhatBecameOfEachDevice) {
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("opens"), "");
    const std::string lines[] = {
        "Previous ID: -1",
        "Searching for readers...",
        "Serial stream name: usbserial-00001234",
        " Path matched!",
        "BSD path 0: /dev/pts/7",
        "Got info for reader 1234",
        "Serial stream name: ttyS0",
        "Serial stream name: usbserial-0000AAAA",
        " Path matched!",
        "BSD path 1: /dev/pts/8",
        "No response from /dev/pts/8. Vantrel requires firmware version 0206 or higher",
        "BSD path 1: " + dir.file("missing"),
        "Serial stream name: usbserial-0000BBBB",
        " Path matched!",
        "BSD path 1: " + dir.file("opens"),
        "Serial stream name: usbserial-0000CCCC",
        " Path matched!",
        "BSD path 1: " + dir.file("busy"),
        "In use by another process",
        "1 reader found!",
        "Activating reader 256:",
    };
    discovery_begin();
    for (const auto &l : lines)
        observe_status(l);
    struct row {
        const char *name;
        std::string path;
        probed_device::outcome result;
        std::string reason;
    };
    const row rows[] = {
        {"usbserial-00001234", "/dev/pts/7", probed_device::found, ""},
        {"ttyS0", "", probed_device::not_probed, "not probed: its name does not begin with usbserial-0000"},
        {"usbserial-0000AAAA", "/dev/pts/8", probed_device::no_answer,
         "no answer to the information request"},
        {"", dir.file("missing"), probed_device::skipped, "cannot open it: No such file or directory"},
        {"usbserial-0000BBBB", dir.file("opens"), probed_device::skipped,
         "its information reply failed the checksum"},
        {"usbserial-0000CCCC", dir.file("busy"), probed_device::skipped, "In use by another process"},
    };
    const auto &seen = discovered_devices();
    ASSERT_EQ(seen.size(), sizeof rows / sizeof rows[0]);
    for (size_t i = 0; i < seen.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].name, rows[i].name);
        EXPECT_EQ(seen[i].path, rows[i].path);
        EXPECT_EQ(seen[i].result, rows[i].result);
        EXPECT_EQ(skip_reason(seen[i]), rows[i].reason);
    }
    EXPECT_EQ(seen[0].serial, 0x1234u);
    EXPECT_EQ(activated_id(), 256);
    EXPECT_EQ(slot_path(0), "/dev/pts/7");
    EXPECT_EQ(slot_path(1), dir.file("busy"));
    EXPECT_EQ(slot_path(2), "");
    EXPECT_EQ(device_open_problem(dir.file("opens")), "");
}

TEST(HostSymbol, ParsedAsThePluginCommandLine) {
    struct row {
        std::string arg;
        bool ok;
        int symbology;
        std::string data;
    };
    static const row rows[] = {
        {"]A0DATA", true, syCode39, "DATA"},
        {"]E09912345678905", true, syEANUPC, "9912345678905"},
        {"]e0x", true, syRSS, "x"},
        {"]M1123", true, syMSI, "123"},
        {"]G0x", true, syCode93, "x"},
        {"]I0x", true, syI2of5, "x"},
        {"]F0x", true, syCodabar, "x"},
        {"]C0x", true, syCode128, "x"},
        {"]a0x", true, syNone, "x"},
        {"]Z0x", true, syNone, "x"},
        {"]A0", true, syCode39, ""},
        {"]A9+A", true, syCode39, "+A"}, // the modifier plays no part
        {"]A0" + std::string(300, 'Q'), true, syCode39, std::string(255, 'Q')},
        {"]A", false, 0, ""},
        {"]", false, 0, ""},
        {"", false, 0, ""},
        {"A0DATA", false, 0, ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        symbol s;
        std::string error;
        ASSERT_EQ(parse_symbol(rows[i].arg, s, error), rows[i].ok);
        if (!rows[i].ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(s.symbology, rows[i].symbology);
        EXPECT_EQ(s.data, rows[i].data);
    }
}

TEST(HostPlugins, LoadsTheFiveModulesBesideTheProgram) {
    std::vector<skipped_module> skipped;
    auto modules = load_plugins(testsupport::bin_dir(), &skipped);
    std::vector<std::string> names;
    for (const auto &m : modules) {
        names.push_back(m.name);
        EXPECT_NE(m.entry, nullptr);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"cip39", "fullascii39", "pharma_be", "pharma_it", "ukcoupon"}));

    // Full ASCII Code 39: "+H+E+L+L+O" is "hello"; not claimed as EAN/UPC.
    for (const auto &m : modules) {
        if (m.name != "fullascii39")
            continue;
        plugin_answer a = offer(m, {syCode39, "+H+E+L+L+O"});
        EXPECT_EQ(a.result, prAccepted);
        EXPECT_EQ(a.text, "hello");
        EXPECT_FALSE(a.name.empty());
        EXPECT_EQ(offer(m, {syEANUPC, "+H+E+L+L+O"}).result, prNotMine);
    }
}

TEST(HostPlugins, SkipsFilesWithoutTheEntry) {
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("junk.so"), "not a shared object");
    testsupport::write_file(dir.file("notes.txt"), "x");
    // libkestrel.so is a real module without the entry; it is passed over by name.
    testsupport::write_file(dir.file("libkestrel.so"),
                            testsupport::read_file(testsupport::bin_dir() + "/libkestrel.so"));
    // A real module without the entry under another name is loaded and skipped.
    testsupport::write_file(dir.file("other.so"),
                            testsupport::read_file(testsupport::bin_dir() + "/libkestrel.so"));
    std::vector<skipped_module> skipped;
    EXPECT_TRUE(load_plugins(dir.path(), &skipped).empty());
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(skipped[0].path, dir.file("junk.so"));
    EXPECT_EQ(skipped[1].path, dir.file("other.so"));
    EXPECT_EQ(skipped[1].reason, "does not export KorvelVerifierPlugIn");
    EXPECT_TRUE(load_plugins(dir.file("missing")).empty());
    EXPECT_STREQ(plugin_result_text(prRejected), "rejected");
}

TEST(HostGrades, MinimumGradeNamesTheParametersBelowIt) {
    struct row {
        const char *letter;
        int grade;
    };
    static const row letters[] = {{"A", 4},  {"b", 3}, {"C", 2},   {"D", 1}, {"F", 0},
                                  {"E", -1}, {"", -1}, {"AB", -1}, {"4", -1}};
    for (size_t i = 0; i < sizeof letters / sizeof letters[0]; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(grade_of_letter(letters[i].letter), letters[i].grade);
    }
    profile_analysis a;
    a.g_rmin = 4;
    a.g_sc = 3;
    a.g_ecmin = 4;
    a.g_mod = 2;
    a.g_defects = 4;
    a.g_decodability = 1;
    a.g_decode = 4;
    a.decoded = true;
    EXPECT_EQ(below_minimum(a, 4),
              (std::vector<std::string>{"Symbol contrast B (3)", "Modulation C (2)", "Decodability D (1)"}));
    EXPECT_EQ(below_minimum(a, 2), (std::vector<std::string>{"Decodability D (1)"}));
    EXPECT_TRUE(below_minimum(a, 1).empty());
    EXPECT_TRUE(below_minimum(a, 0).empty());
    a.decoded = false;
    a.g_decode = 0;
    EXPECT_EQ(below_minimum(a, 1).back(), "Decode F (0)");
}

TEST(HostJson, RecordAndDocument) {
    readerinfo_t rec;
    memset(&rec, 0, sizeof rec);
    rec.admax = 0xFF00;
    rec.lastcal = -1;
    rec.SerialNumber = 0x1A2B;
    rec.Wavelength = 660;
    rec.calmin = 62;
    rec.calmax = 58812;
    memcpy(rec.factorycal_user, "Fran\xE7ois", 8);
    json r = record_json(rec);
    EXPECT_EQ(r["SerialNumber"], 0x1A2B);
    EXPECT_EQ(r["lastcal"], -1);
    EXPECT_EQ(r["calmax"], 58812);
    EXPECT_EQ(r["factorycal_user"], "François");
    EXPECT_EQ(r["calibrated"], true);
    EXPECT_EQ(r.size(), 19u); // every field of the record, and "calibrated"

    report_begin("info");
    report()["reader"] = reader_json(256, "/dev/pts/3", rec);
    json done = json::parse(report_text(0, "ignored"));
    EXPECT_EQ(done["command"], "info");
    EXPECT_EQ(done["reader"]["id"], 256);
    EXPECT_EQ(done["status"], 0);
    EXPECT_FALSE(done.contains("error"));
    json failed = json::parse(report_text(1, "no reader found"));
    EXPECT_EQ(failed["status"], 1);
    EXPECT_EQ(failed["error"], "no reader found");
}

} // namespace
