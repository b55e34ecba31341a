// The kestrel program as a child process: its commands against the reader
// simulator program kestrel-readersim on real pseudo-terminals, failures of
// missing, silent and bad-checksum readers, the plug-in modules, and demo.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "readersim.h"
#include "support.h"

namespace {

using testsupport::run_result;

std::string kestrel() { return testsupport::bin_dir() + "/kestrel"; }

// A kestrel-readersim in the background and the terminal it serves.
struct sim_reader {
    testsupport::background_program program;
    std::string path;
    explicit sim_reader(std::vector<std::string> args)
        : program([&] {
              args.insert(args.begin(), testsupport::bin_dir() + "/kestrel-readersim");
              return args;
          }()),
          path(program.first_line()) {}
    std::string device() const { return "usbserial-00001234=" + path; }
};

run_result run_kestrel(std::vector<std::string> args, const std::vector<std::string> &env = {},
                       double bound = 60) {
    args.insert(args.begin(), kestrel());
    return testsupport::run_program(args, bound, "", env);
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool has_line_starting(const std::string &text, const std::string &start) {
    for (const auto &l : lines_of(text))
        if (l.rfind(start, 0) == 0)
            return true;
    return false;
}

// A one-line error on standard error, as every failure gives.
void expect_one_error_line(const run_result &r, const std::string &prefix, const std::string &part) {
    EXPECT_FALSE(r.timed_out);
    ASSERT_EQ(lines_of(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
    EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
}

size_t utf8_length(const std::string &s) {
    size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

// Number of points of the SVG's polyline, read by an independent XML parser;
// -1 when the file does not parse.
int svg_polyline_points(const std::string &file) {
    auto r = testsupport::run_program({"/usr/bin/env", "python3", "-c",
                                       "import sys, xml.dom.minidom as m; d = m.parse(sys.argv[1]); "
                                       "assert d.documentElement.tagName == 'svg'; "
                                       "p = d.getElementsByTagName('polyline'); assert len(p) == 1; "
                                       "print(len(p[0].getAttribute('points').split()))",
                                       file});
    return r.status == 0 ? std::stoi(r.out) : -1;
}

// ---- Bad use: exit 2 with one line; help and version ----

TEST(HostProgram, HelpVersionAndBadUse) {
    struct row {
        std::vector<std::string> args;
        int status;
        const char *out_part; // in standard output, or nullptr
        const char *err_part; // in the one error line, or nullptr
    };
    static const row rows[] = {
        {{"--help"}, 0, "Commands:", nullptr},
        {{"--version"}, 0, "kestrel " KESTREL_VERSION "\n", nullptr},
        {{"demo", "--help"}, 0, "usage: kestrel demo", nullptr},
        {{"list", "--help"}, 0, "--device NAME=PATH", nullptr},
        {{"scan", "--help"}, 0, "R = (256*s - calmin) / (calmax - calmin)", nullptr},
        {{"info", "--help"}, 0, "usage: kestrel info", nullptr},
        {{"calibrate", "--help"}, 0, "--raw-min R", nullptr},
        {{"interpret", "--help"}, 0, "usage: kestrel interpret", nullptr},
        {{"frobnicate"}, 2, nullptr, "kestrel: unknown command 'frobnicate'"},
        {{"scan", "--bogus"}, 2, nullptr, "kestrel scan: unknown option '--bogus'"},
        {{"scan", "--count"}, 2, nullptr, "needs a value"},
        {{"scan", "--count", "0"}, 2, nullptr, "bad --count"},
        {{"scan", "--timeout", "-1"}, 2, nullptr, "bad --timeout"},
        {{"info", "--id", "abc"}, 2, nullptr, "bad reader id"},
        {{"info", "extra"}, 2, nullptr, "unexpected argument 'extra'"},
        {{"info", "--quiet", "--verbose"}, 2, nullptr, "exclude each other"},
        {{"list", "--id", "256"}, 2, nullptr, "kestrel list: unknown option '--id'"},
        {{"interpret"}, 2, nullptr, "give one symbol"},
        {{"interpret", "A0DATA"}, 2, nullptr, "starts with ']'"},
        {{"interpret", "]A"}, 2, nullptr, "needs the identifier letter and a modifier"},
        {{"calibrate", "--raw-min", "1"}, 2, nullptr, "are all needed"},
        {{"calibrate", "--raw-min", "70000", "--raw-max", "2", "--true-min", "0", "--true-max", "1"},
         2,
         nullptr,
         "bad --raw-min"},
        {{"calibrate", "--raw-min", "1", "--raw-max", "2", "--true-min", "0", "--true-max", "1.5"},
         2,
         nullptr,
         "bad --true-max"},
        {{"calibrate", "--raw-min", "9", "--raw-max", "2", "--true-min", "0", "--true-max", "1"},
         2,
         nullptr,
         "must be below"},
        {{"calibrate", "--raw-min", "1", "--raw-max", "2", "--true-min", "0.5", "--true-max", "0.5"},
         2,
         nullptr,
         "must be below"},
        {{"demo", "stray"}, 2, nullptr, "unexpected argument 'stray'"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        run_result r = run_kestrel(rows[i].args, {}, 20);
        EXPECT_EQ(r.status, rows[i].status) << r.err;
        if (rows[i].out_part) {
            EXPECT_NE(r.out.find(rows[i].out_part), std::string::npos) << r.out;
        }
        if (rows[i].err_part) {
            expect_one_error_line(r, "kestrel", rows[i].err_part);
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
    run_result none = run_kestrel({});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("usage: kestrel COMMAND"), std::string::npos);
}

// ---- A reader that is missing, silent or answers with a bad checksum ----

struct failure_case {
    const char *name;
    std::vector<std::string> sim_args; // empty: no simulator, the path does not exist
    std::vector<std::string> command;
    const char *expected; // in the error line
};

std::vector<failure_case> failure_cases() {
    struct condition {
        const char *name;
        std::vector<std::string> sim_args;
        const char *activation_code; // what activating the known id gives
    };
    const condition conditions[] = {
        {"Missing", {}, "(74)"},
        {"Silent", {"--silent"}, "(-201)"},
        {"BadChecksum", {"--bad-checksum"}, "(-104)"},
    };
    struct command {
        const char *name;
        std::vector<std::string> args;
    };
    const command commands[] = {
        {"List", {"list"}},
        {"Scan", {"scan", "--timeout", "5"}},
        {"Info", {"info"}},
        {"Calibrate",
         {"calibrate", "--raw-min", "4000", "--raw-max", "60000", "--true-min", "0", "--true-max", "1"}},
    };
    std::vector<failure_case> cases;
    static std::vector<std::string> names; // storage for the case names
    names.reserve(64);
    for (const auto &c : conditions) {
        for (const auto &k : commands) {
            names.push_back(std::string(c.name) + k.name);
            // Listing counts readers; only finding one has a result code.
            bool list = std::string(k.name) == "List";
            cases.push_back({names.back().c_str(), c.sim_args, k.args,
                             list ? "no reader found" : "no reader found (-102)"});
            if (list)
                continue;
            names.push_back(std::string(c.name) + k.name + "ById");
            auto with_id = k.args;
            with_id.insert(with_id.end(), {"--id", "256"});
            cases.push_back({names.back().c_str(), c.sim_args, with_id, c.activation_code});
        }
    }
    return cases;
}

void PrintTo(const failure_case &c, std::ostream *os) { *os << c.name; }

class ReaderFailure : public testing::TestWithParam<failure_case> {};

TEST_P(ReaderFailure, OneErrorLineAndExitOne) {
    const failure_case &c = GetParam();
    testsupport::temp_dir dir;
    std::unique_ptr<sim_reader> sim;
    std::string device = "usbserial-00001234=" + dir.file("no-such-tty");
    if (!c.sim_args.empty()) {
        sim = std::make_unique<sim_reader>(c.sim_args);
        ASSERT_FALSE(sim->path.empty());
        device = sim->device();
    }
    auto args = c.command;
    args.insert(args.end(), {"--device", device, "--calfile", dir.file("cal/calibration.txt")});
    run_result r = run_kestrel(args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    expect_one_error_line(r, "kestrel " + c.command[0] + ": ", c.expected);
    EXPECT_FALSE(testsupport::file_exists(dir.file("cal/calibration.txt")));
}

INSTANTIATE_TEST_SUITE_P(Readers, ReaderFailure, testing::ValuesIn(failure_cases()),
                         [](const testing::TestParamInfo<failure_case> &info) {
                             return std::string(info.param.name);
                         });

TEST(HostProgram, IdsOfOtherConnectionClassesAreRefused) {
    struct row {
        const char *id;
        const char *expected;
    };
    static const row rows[] = {
        {"0x200", "not supported on this connection (-1)"},
        {"0x300", "not available on this connection class (-700)"},
        {"1280", "this connection class is not driven (-100)"},
        {"-1", "this connection class is not driven (-100)"},
    };
    testsupport::temp_dir dir;
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        run_result r = run_kestrel({"info", "--id", rows[i].id, "--device", dir.file("no-such-tty"),
                                    "--calfile", dir.file("c.txt")});
        EXPECT_EQ(r.status, 1);
        expect_one_error_line(r, "kestrel info: reader not activated: ", rows[i].expected);
    }
}

// ---- A working reader ----

TEST(HostProgram, ListShowsEachReader) {
    sim_reader a({"--serial", "0xBEEF"}), b({"--serial", "0x0042"});
    ASSERT_FALSE(a.path.empty());
    ASSERT_FALSE(b.path.empty());
    run_result r = run_kestrel({"list", "--device", "usbserial-0000AAAA=" + a.path, "--device",
                                "usbserial-0000BBBB=" + b.path, "--device", "ttyS99=/dev/null"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(has_line_starting(r.out, "Serial stream name: ttyS99")) << r.out; // a status line
    EXPECT_TRUE(has_line_starting(r.out, "2 readers found!")) << r.out;
    auto lines = lines_of(r.out);
    ASSERT_GE(lines.size(), 3u);
    std::istringstream one(lines[lines.size() - 2]), two(lines[lines.size() - 1]);
    int id;
    std::string port, serial;
    one >> id >> port >> serial;
    EXPECT_EQ(id, 256);
    EXPECT_EQ(port, a.path);
    EXPECT_EQ(serial, "BEEF");
    two >> id >> port >> serial;
    EXPECT_EQ(id, 257);
    EXPECT_EQ(port, b.path);
    EXPECT_EQ(serial, "0042");
}

TEST(HostProgram, ScanCapturesAnnouncedScansAndWritesFiles) {
    sim_reader sim({"--announce-every", "0.2"});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    run_result r = run_kestrel({"scan", "--device", sim.device(), "--count", "2", "--calfile",
                                dir.file("cal.txt"), "--csv", dir.file("s.csv"), "--svg", dir.file("s.svg")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(has_line_starting(r.out, "Reader 1234 activated!")) << r.out;
    EXPECT_TRUE(has_line_starting(r.out, "Waiting for scan 1 of 2")) << r.out;
    EXPECT_TRUE(has_line_starting(r.out, "Waiting for scan 2 of 2")) << r.out;
    int sparklines = 0;
    for (const auto &l : lines_of(r.out)) {
        if (l.rfind("scan ", 0) != 0)
            continue;
        sparklines++;
        EXPECT_EQ(utf8_length(l.substr(l.find(' ', 5) + 1)), 64u) << l;
    }
    EXPECT_EQ(sparklines, 2);

    // The CSV carries exactly the samples the simulator drew; the reader is
    // uncalibrated, so reflectance is 256*s / 0xFF00.
    std::vector<uint8_t> expected = readersim::make_samples(readersim::profile());
    auto rows = lines_of(testsupport::read_file(dir.file("s.csv")));
    ASSERT_EQ(rows.size(), 2049u);
    EXPECT_EQ(rows[0], "index,sample,reflectance");
    for (size_t i = 0; i < 2048; i++) {
        unsigned index = 0, sample = 0;
        double refl = -1;
        ASSERT_EQ(sscanf(rows[i + 1].c_str(), "%u,%u,%lf", &index, &sample, &refl), 3) << rows[i + 1];
        ASSERT_EQ(index, i);
        ASSERT_EQ(sample, expected[i]) << "sample " << i;
        ASSERT_NEAR(refl, 256.0 * sample / 65280.0, 0.00006) << "sample " << i;
    }
    if (!testsupport::have_program("python3"))
        GTEST_SKIP() << "python3 is not installed; the SVG was not parsed";
    EXPECT_EQ(svg_polyline_points(dir.file("s.svg")), 2048);
}

TEST(HostProgram, ScanGetscanAndQuiet) {
    sim_reader sim({});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    run_result r = run_kestrel({"scan", "--getscan", "--count", "2", "--quiet", "--device", sim.device(),
                                "--calfile", dir.file("c.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out; // no status lines, no progress
    EXPECT_EQ(lines[0].rfind("scan 1 ", 0), 0u);
    EXPECT_EQ(lines[1].rfind("scan 2 ", 0), 0u);
}

TEST(HostProgram, ScanFailuresAreBounded) {
    struct row {
        std::vector<std::string> sim_args;
        std::vector<std::string> scan_args;
        const char *expected;
    };
    static const row rows[] = {
        {{}, {"--timeout", "1"}, "scan 1 of 1: no scan arrived in time (1 s)"},
        // Announcements during a cut frame keep the library's fetch alive up
        // to its 10 s bound: the watchdog ends the wait a few seconds after
        // the user's bound.
        {{"--announce-every", "0.2", "--frame-cut", "100"},
         {"--timeout", "1"},
         "scan 1 of 1: no complete scan within 1 s (the reader keeps the line busy)"},
        {{"--frame-cut", "3000"}, {"--getscan"}, "scan 1 of 1: the scan transfer failed"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        sim_reader sim(rows[i].sim_args);
        ASSERT_FALSE(sim.path.empty());
        testsupport::temp_dir dir;
        auto args = rows[i].scan_args;
        args.insert(args.begin(), {"scan", "--device", sim.device(), "--calfile", dir.file("c.txt")});
        run_result r = run_kestrel(args);
        EXPECT_EQ(r.status, 1);
        expect_one_error_line(r, "kestrel scan: ", rows[i].expected);
    }
}

// When the watchdog ends a wait that the reader holds, the reader still
// gets its stop command and the line its settings back.
TEST(HostProgram, WatchdogStopsTheReaderAndRestoresTheLine) {
    readersim::config cfg;
    cfg.announce_every = 0.2;
    cfg.frame_cut = 100;
    readersim::simulator sim;
    ASSERT_TRUE(sim.start(cfg));
    struct termios before;
    int fd = open(sim.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(tcgetattr(fd, &before), 0);
    testsupport::temp_dir dir;
    run_result r = run_kestrel({"scan", "--device", "usbserial-00001234=" + sim.path(), "--calfile",
                                dir.file("c.txt"), "--timeout", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(sim.wait_for('s'));
    EXPECT_TRUE(sim.wait_for('o', 2, 3.0)) << sim.received_text(); // the probe's and the watchdog's
    struct termios after;
    ASSERT_EQ(tcgetattr(fd, &after), 0);
    close(fd);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
}

TEST(HostProgram, CalibrateSavesUnderTheConfigDirectoryAndInfoShowsIt) {
    sim_reader sim({"--serial", "0x1A2B"});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir.file("config")};
    std::string device = "usbserial-00001A2B=" + sim.path;

    run_result before = run_kestrel({"info", "--device", device}, env);
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_NE(before.out.find("  SerialNumber     1A2B\n"), std::string::npos) << before.out;
    EXPECT_NE(before.out.find("  Wavelength       660 nm\n"), std::string::npos);
    EXPECT_NE(before.out.find("  calibrated       no"), std::string::npos);
    EXPECT_NE(before.out.find("Calibration: '" + dir.file("config") + "/kestrel/calibration.txt'"),
              std::string::npos);

    run_result cal = run_kestrel({"calibrate", "--device", device, "--raw-min", "3000", "--raw-max", "50000",
                                  "--true-min", "0.05", "--true-max", "0.85", "--extra", "test card 7"},
                                 env);
    ASSERT_EQ(cal.status, 0) << cal.err;
    EXPECT_NE(cal.out.find("Reader 1A2B: calmin 003E, calmax E5BC\n"), std::string::npos) << cal.out;
    std::string file = testsupport::read_file(dir.file("config/kestrel/calibration.txt"));
    EXPECT_EQ(file.rfind("calib.1a2b:660=003e,e5bc 0.050000,0.850000 ", 0), 0u) << file;
    EXPECT_NE(file.find(" test card 7\n"), std::string::npos) << file;

    run_result after = run_kestrel({"info", "--device", device, "--id", "0x100"}, env);
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_NE(after.out.find("  calmin           003E (62)\n"), std::string::npos) << after.out;
    EXPECT_NE(after.out.find("  calmax           E5BC (58812)\n"), std::string::npos);
    EXPECT_NE(after.out.find("  calibrated       yes\n"), std::string::npos);
}

TEST(HostProgram, CalibrateReportsADirectoryItCannotCreate) {
    sim_reader sim({});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("plain"), "a file, not a directory");
    run_result r =
        run_kestrel({"calibrate", "--device", sim.device(), "--calfile", dir.file("plain/cal.txt"),
                     "--raw-min", "4000", "--raw-max", "60000", "--true-min", "0", "--true-max", "1"});
    EXPECT_EQ(r.status, 1);
    expect_one_error_line(r, "kestrel calibrate: ", "cannot create the directory " + dir.file("plain"));
}

// A calibration file that is a directory: the library refuses the save and
// the message says why, not a save step of some other design.
TEST(HostProgram, CalibrateReportsAFileItCannotRead) {
    sim_reader sim({});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    ASSERT_EQ(mkdir(dir.file("cal.txt").c_str(), 0755), 0);
    run_result r =
        run_kestrel({"calibrate", "--device", sim.device(), "--calfile", dir.file("cal.txt"), "--raw-min",
                     "4000", "--raw-max", "60000", "--true-min", "0", "--true-max", "1"});
    EXPECT_EQ(r.status, 1);
    expect_one_error_line(r, "kestrel calibrate: ",
                          "calibration not saved: the calibration file exists but cannot be read (-606)");
}

// ---- Plug-ins ----

TEST(HostProgram, InterpretOffersTheSymbolToEveryModule) {
    struct row {
        const char *symbol;
        const char *plugin_line; // the line of the plug-in that claims it
        const char *text_line;   // its text, in UTF-8
    };
    static const row rows[] = {
        {"]A0+H+E+L+L+O", "fullascii39  accepted (1)", "  text: hello"},
        {"]A0$$", "fullascii39  accepted (1)", "  text: \xC3\xA4"},
        {"]E09912345678905", "ukcoupon     accepted (1)",
         "  text: 1234 567 \xC2\xA3"
         "8.90 "},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        run_result r = run_kestrel({"interpret", rows[i].symbol});
        ASSERT_EQ(r.status, 0) << r.err;
        auto lines = lines_of(r.out);
        size_t at = 0;
        while (at < lines.size() && lines[at] != rows[i].plugin_line)
            at++;
        ASSERT_LT(at + 2, lines.size()) << r.out;
        EXPECT_EQ(lines[at + 1].rfind("  name: ", 0), 0u);
        EXPECT_EQ(lines[at + 2], rows[i].text_line);
        for (const char *name : {"cip39", "fullascii39", "pharma_be", "pharma_it", "ukcoupon"})
            EXPECT_TRUE(has_line_starting(r.out, name)) << name;
    }

    run_result none = run_kestrel({"interpret", "]Z0ABC"});
    EXPECT_EQ(none.status, 0);
    EXPECT_NE(none.out.find("No plug-in claims this data.\n"), std::string::npos) << none.out;
}

TEST(HostProgram, InterpretWithoutModules) {
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("broken.so"), "not a module");
    run_result r = run_kestrel({"interpret", "--plugin-dir", dir.path(), "--verbose", "]A0X"});
    EXPECT_EQ(r.status, 1);
    expect_one_error_line(r, "kestrel interpret: ", "no plug-in modules in " + dir.path());
    EXPECT_TRUE(has_line_starting(r.out, "skipped " + dir.file("broken.so"))) << r.out;
}

// ---- The demonstration ----

TEST(HostProgram, DemoRunsTheWholeRoad) {
    testsupport::temp_dir dir;
    std::string out = dir.file("demo");
    run_result r = run_kestrel({"demo", "--out", out}, {}, 60);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(has_line_starting(r.out, "Reader 1234 activated!")) << r.out;
    for (const char *line : {"scan 1 ", "scan 2 ", "scan 3 ", "black reference ", "white reference ",
                             "  calibrated       yes", "Wrote scan.csv and scan.svg in "})
        EXPECT_TRUE(has_line_starting(r.out, line)) << line << "\n" << r.out;
    EXPECT_NE(r.out.find("in " + out + "\n"), std::string::npos);
    EXPECT_EQ(lines_of(testsupport::read_file(out + "/scan.csv")).size(), 2049u);
    EXPECT_TRUE(testsupport::file_exists(out + "/calibration.txt"));
    if (!testsupport::have_program("python3"))
        GTEST_SKIP() << "python3 is not installed; the SVG was not parsed";
    EXPECT_EQ(svg_polyline_points(out + "/scan.svg"), 2048);
}

} // namespace
