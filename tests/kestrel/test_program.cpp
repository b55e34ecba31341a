// The kestrel program as a child process: its commands against the reader
// simulator on real pseudo-terminals; data on standard output and
// diagnostics on standard error; reasons of missing, silent and
// bad-checksum readers; clean exits on real signals with the line's
// settings restored; JSON read back by an independent parser; verdicts in
// the exit status; calibrating from measured references; the locale's
// character set; and the demo.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "readersim.h"
#include "support.h"

extern char **environ;

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

// A simulator in this process, for tests that watch what the reader
// received or drive it while kestrel runs.
struct local_reader {
    readersim::simulator sim;
    explicit local_reader(const readersim::config &cfg = readersim::config()) { sim.start(cfg); }
    std::string device() const { return "usbserial-00001234=" + sim.path(); }
    char last_received() const {
        auto rx = sim.received();
        return rx.empty() ? '\0' : (char)rx.back();
    }
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

// Debian's own Python, with its json and xml modules: a parser that shares
// no code with the program.
bool have_python() { return access("/usr/bin/python3", X_OK) == 0; }

// Runs a Python expression over `doc` (a JSON text), bound to d; the repr
// of its value, or "PARSE ERROR ..." when the text is not JSON.
std::string json_query(const std::string &doc, const std::string &expression) {
    auto r = testsupport::run_program({"/usr/bin/python3", "-c",
                                       "import json, sys\n"
                                       "try:\n d = json.loads(sys.stdin.read())\n"
                                       "except ValueError as e:\n print('PARSE ERROR', e); sys.exit(0)\n"
                                       "print(repr((" +
                                           expression + ")))"},
                                      30, doc);
    std::string out = r.out;
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return r.status == 0 ? out : "PYTHON FAILED: " + r.err;
}

// Number of points of the SVG's polyline, read by an independent XML parser;
// -1 when the file does not parse.
int svg_polyline_points(const std::string &file) {
    auto r = testsupport::run_program({"/usr/bin/python3", "-c",
                                       "import sys, xml.dom.minidom as m; d = m.parse(sys.argv[1]); "
                                       "assert d.documentElement.tagName == 'svg'; "
                                       "p = d.getElementsByTagName('polyline'); assert len(p) == 1; "
                                       "print(len(p[0].getAttribute('points').split()))",
                                       file});
    return r.status == 0 ? std::stoi(r.out) : -1;
}

// The settings of a terminal line, as tcgetattr gives them.
struct line_settings {
    struct termios t {};
    bool ok = false;
    explicit line_settings(int fd) { ok = tcgetattr(fd, &t) == 0; }
    bool operator==(const line_settings &o) const {
        return ok && o.ok && t.c_iflag == o.t.c_iflag && t.c_oflag == o.t.c_oflag &&
               t.c_cflag == o.t.c_cflag && t.c_lflag == o.t.c_lflag &&
               memcmp(t.c_cc, o.t.c_cc, sizeof t.c_cc) == 0 && cfgetispeed(&t) == cfgetispeed(&o.t) &&
               cfgetospeed(&t) == cfgetospeed(&o.t);
    }
};

// kestrel started in the background: its output goes to files, its pid
// takes signals. With `stdout_closed`, standard output is a pipe whose
// reading end is already closed.
struct kestrel_child {
    pid_t pid = -1;
    std::string out_file, err_file;
    kestrel_child(std::vector<std::string> args, const testsupport::temp_dir &dir, bool stdout_closed = false)
        : out_file(dir.file("child.out")), err_file(dir.file("child.err")) {
        args.insert(args.begin(), kestrel());
        int pipe_fds[2] = {-1, -1};
        if (stdout_closed && pipe(pipe_fds) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            int out =
                stdout_closed ? pipe_fds[1] : open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            if (stdout_closed)
                close(pipe_fds[0]);
            // The child starts with the default dispositions a shell gives.
            signal(SIGPIPE, SIG_DFL);
            std::vector<char *> argv;
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (stdout_closed) {
            close(pipe_fds[0]);
            close(pipe_fds[1]);
        }
    }
    // Waits up to `bound` seconds. `exited` is false when the child was
    // killed by a signal (or by this bound) rather than exiting itself.
    int wait(double bound, bool &exited) {
        exited = false;
        for (int i = 0; i < (int)(bound * 100); i++) {
            int st = 0;
            if (waitpid(pid, &st, WNOHANG) == pid) {
                exited = WIFEXITED(st);
                return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            }
            usleep(10000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    std::string out() const { return testsupport::read_file(out_file); }
    std::string err() const { return testsupport::read_file(err_file); }
};

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
        {{"-h"}, 0, "Options may come before or after the command", nullptr},
        {{"--version"}, 0, "kestrel " KESTREL_VERSION "\n", nullptr},
        {{"-V"}, 0, "kestrel " KESTREL_VERSION "\n", nullptr},
        {{"list", "-V"}, 0, "kestrel " KESTREL_VERSION "\n", nullptr},
        {{"demo", "--help"}, 0, "usage: kestrel demo", nullptr},
        {{"-h", "demo"}, 0, "usage: kestrel demo", nullptr},
        {{"list", "--help"}, 0, "--device NAME=PATH", nullptr},
        {{"scan", "-h"}, 0, "R = (256*s - calmin) / (calmax - calmin)", nullptr},
        {{"info", "--help"}, 0, "usage: kestrel info", nullptr},
        {{"calibrate", "--help"}, 0, "--measure", nullptr},
        {{"interpret", "--help"}, 0, "e GS1 DataBar, M MSI, G Code 93", nullptr},
        {{"frobnicate"}, 2, nullptr, "kestrel: unknown command 'frobnicate'"},
        {{"--bogus"}, 2, nullptr, "kestrel: unknown option '--bogus'"},
        {{"scan", "--bogus"}, 2, nullptr, "kestrel scan: unknown option '--bogus'"},
        {{"--bogus", "scan"}, 2, nullptr, "kestrel scan: unknown option '--bogus'"},
        {{"scan", "--count"}, 2, nullptr, "needs a value"},
        {{"scan", "--count", "0"}, 2, nullptr, "bad --count '0' (a whole number from 1 to 100000)"},
        {{"--count", "100001", "scan"}, 2, nullptr, "bad --count '100001' (a whole number from 1 to 100000)"},
        {{"scan", "--timeout", "-1"}, 2, nullptr, "bad --timeout '-1' (seconds from 0.001 to 86400)"},
        {{"scan", "--min-grade", "E"}, 2, nullptr, "bad --min-grade 'E' (a grade letter: A, B, C, D or F)"},
        {{"scan", "--csv", "-", "--svg", "-"},
         2,
         nullptr,
         "--csv and --svg cannot both write to standard output"},
        {{"scan", "--json", "/nonexistent-dir/r.json"},
         2,
         nullptr,
         "--json /nonexistent-dir/r.json: directory /nonexistent-dir: No such file or directory"},
        {{"info", "--id", "abc"}, 2, nullptr, "bad --id 'abc' (a whole number from -1 to 65535)"},
        {{"info", "extra"}, 2, nullptr, "unexpected argument 'extra'"},
        {{"-q", "info", "-v"}, 2, nullptr, "exclude each other"},
        {{"list", "--id", "256"}, 2, nullptr, "kestrel list: unknown option '--id'"},
        {{"interpret"}, 2, nullptr, "give one symbol"},
        {{"interpret", "A0DATA"}, 2, nullptr, "starts with ']'"},
        {{"interpret", "]A"}, 2, nullptr, "needs the identifier letter and a modifier"},
        {{"calibrate", "--raw-min", "1"}, 2, nullptr, "--true-min and --true-max are needed"},
        {{"calibrate", "--true-min", "0", "--true-max", "1"}, 2, nullptr, "give the references one way"},
        {{"calibrate", "--measure", "--raw-min", "1", "--true-min", "0", "--true-max", "1"},
         2,
         nullptr,
         "give the references one way"},
        {{"calibrate", "--raw-min", "70000", "--raw-max", "2", "--true-min", "0", "--true-max", "1"},
         2,
         nullptr,
         "bad --raw-min '70000' (a whole number from 0 to 65535)"},
        {{"calibrate", "--raw-min", "1", "--raw-max", "2", "--true-min", "0", "--true-max", "1.5"},
         2,
         nullptr,
         "bad --true-max '1.5' (a reflectance from 0 to 1)"},
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
        } else {
            EXPECT_EQ(r.out, "");
        }
        if (rows[i].err_part) {
            expect_one_error_line(r, "kestrel", rows[i].err_part);
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
    run_result none = run_kestrel({});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("usage: kestrel [options] COMMAND"), std::string::npos);
}

// Outputs are checked before the reader is opened: it hears nothing.
TEST(HostProgram, BadOutputsStopBeforeTheReaderIsOpened) {
    local_reader reader;
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("plain"), "x");
    run_result r = run_kestrel({"scan", "--device", reader.device(), "--calfile", dir.file("c.txt"), "--csv",
                                dir.file("out.csv"), "--svg", dir.file("plain/scan.svg")});
    EXPECT_EQ(r.status, 2);
    expect_one_error_line(r, "kestrel scan: ",
                          "--svg " + dir.file("plain/scan.svg") + ": " + dir.file("plain") +
                              ": Not a directory");
    EXPECT_TRUE(reader.sim.received().empty());
    EXPECT_FALSE(testsupport::file_exists(dir.file("out.csv")));
}

// ---- A reader that is missing, silent or answers with a bad checksum ----

struct failure_case {
    std::string name;
    std::vector<std::string> sim_args; // empty: no simulator, the path does not exist
    std::vector<std::string> command;
    std::string expected; // in the error line; PATH stands for the device's path
};

std::vector<failure_case> failure_cases() {
    struct condition {
        const char *name;
        std::vector<std::string> sim_args;
        const char *reason;          // why discovery skipped the device
        const char *activation_code; // what activating the known id gives
    };
    const condition conditions[] = {
        {"Missing",
         {},
         "cannot open it: No such file or directory",
         "cannot open or configure the reader's port (74): PATH: No such file or directory"},
        {"Silent", {"--silent"}, "no answer to the information request", "(-201)"},
        {"BadChecksum", {"--bad-checksum"}, "its information reply failed the checksum", "(-104)"},
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
    for (const auto &c : conditions) {
        for (const auto &k : commands) {
            cases.push_back({std::string(c.name) + k.name, c.sim_args, k.args,
                             std::string("no reader found (usbserial-00001234 at PATH: ") + c.reason + ")"});
            if (std::string(k.name) == "List")
                continue; // listing takes no id
            auto with_id = k.args;
            with_id.insert(with_id.end(), {"--id", "256"});
            cases.push_back({std::string(c.name) + k.name + "ById", c.sim_args, with_id, c.activation_code});
        }
    }
    return cases;
}

void PrintTo(const failure_case &c, std::ostream *os) { *os << c.name; }

class ReaderFailure : public testing::TestWithParam<failure_case> {};

TEST_P(ReaderFailure, OneErrorLineWithTheReasonAndExitOne) {
    const failure_case &c = GetParam();
    testsupport::temp_dir dir;
    std::unique_ptr<sim_reader> sim;
    std::string path = dir.file("no-such-tty");
    if (!c.sim_args.empty()) {
        sim = std::make_unique<sim_reader>(c.sim_args);
        ASSERT_FALSE(sim->path.empty());
        path = sim->path;
    }
    auto args = c.command;
    args.insert(args.end(), {"--quiet", "--device", "usbserial-00001234=" + path, "--calfile",
                             dir.file("cal/calibration.txt")});
    run_result r = run_kestrel(args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    std::string expected = c.expected;
    if (expected.find("PATH") != std::string::npos)
        expected.replace(expected.find("PATH"), 4, path);
    expect_one_error_line(r, "kestrel " + c.command[0] + ": ", expected);
    EXPECT_FALSE(testsupport::file_exists(dir.file("cal/calibration.txt")));
}

INSTANTIATE_TEST_SUITE_P(Readers, ReaderFailure, testing::ValuesIn(failure_cases()),
                         [](const testing::TestParamInfo<failure_case> &info) { return info.param.name; });

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
        run_result r = run_kestrel({"-q", "info", "--id", rows[i].id, "--device", dir.file("no-such-tty"),
                                    "--calfile", dir.file("c.txt")});
        EXPECT_EQ(r.status, 1);
        expect_one_error_line(r, "kestrel info: reader not activated: ", rows[i].expected);
    }
}

// A device the user may not open: the system's reason and the group that
// usually grants access, as an unprivileged user sees them.
TEST(HostProgram, PermissionDeniedNamesTheGroup) {
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "needs root and setpriv to run kestrel as an unprivileged user";
    const struct group *dialout = getgrnam("dialout");
    if (!dialout)
        GTEST_SKIP() << "no group dialout";
    local_reader reader;
    ASSERT_EQ(chown(reader.sim.path().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(reader.sim.path().c_str(), 0660), 0);
    auto r = testsupport::run_program({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                       "--", kestrel(), "-q", "info", "--device", reader.device(),
                                       "--calfile", "/nonexistent/c.txt"},
                                      30);
    EXPECT_EQ(r.status, 1) << r.err;
    expect_one_error_line(r, "kestrel info: ",
                          "no reader found (usbserial-00001234 at " + reader.sim.path() +
                              ": cannot open it: Permission denied (membership of the group dialout usually "
                              "grants access to this device))");
    EXPECT_TRUE(reader.sim.received().empty());
}

// ---- A working reader ----

TEST(HostProgram, ListShowsEachReaderAndWhyOthersWereSkipped) {
    sim_reader a({"--serial", "0xBEEF"}), b({"--serial", "0x0042"}), bad({"--bad-checksum"});
    ASSERT_FALSE(a.path.empty());
    ASSERT_FALSE(b.path.empty());
    ASSERT_FALSE(bad.path.empty());
    run_result r = run_kestrel({"list", "--device", "usbserial-0000AAAA=" + a.path, "--device",
                                "usbserial-0000BBBB=" + b.path, "--device", "ttyS99=/dev/null", "--device",
                                "usbserial-0000CCCC=" + bad.path});
    ASSERT_EQ(r.status, 0) << r.err;
    // Status lines and warnings on standard error, the table alone on standard output.
    EXPECT_TRUE(has_line_starting(r.err, "Serial stream name: ttyS99")) << r.err;
    EXPECT_TRUE(has_line_starting(r.err, "2 readers found!")) << r.err;
    EXPECT_TRUE(has_line_starting(
        r.err, "kestrel list: warning: skipped ttyS99 at /dev/null: not probed: its name does not begin with "
               "usbserial-0000"))
        << r.err;
    EXPECT_TRUE(has_line_starting(r.err, "kestrel list: warning: skipped usbserial-0000CCCC at " + bad.path +
                                             ": its information reply failed the checksum"))
        << r.err;
    auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0].rfind("ID ", 0), 0u);
    std::istringstream one(lines[1]), two(lines[2]);
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

TEST(HostProgram, InfoPrintsTheRecordAloneOnStandardOutput) {
    sim_reader sim({"--serial", "0x1A2B"});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    run_result r = run_kestrel({"info", "--device", sim.device(), "--calfile", dir.file("c.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 20u) << r.out; // the head line and 19 fields
    EXPECT_EQ(lines[0], "Reader 1A2B");
    for (const char *status : {"Previous ID", "Searching", "Activating", "activated"})
        EXPECT_EQ(r.out.find(status), std::string::npos) << status;
    EXPECT_TRUE(has_line_starting(r.err, "Reader 1A2B activated!")) << r.err;
}

TEST(HostProgram, ScanCapturesAnnouncedScansAndWritesFiles) {
    sim_reader sim({"--announce-every", "0.2"});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    run_result r = run_kestrel({"scan", "--device", sim.device(), "--count", "2", "--calfile",
                                dir.file("cal.txt"), "--csv", dir.file("s.csv"), "--svg", dir.file("s.svg")},
                               {"LC_ALL=C.UTF-8"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(has_line_starting(r.err, "Reader 1234 activated!")) << r.err;
    EXPECT_TRUE(has_line_starting(r.err, "Waiting for scan 1 of 2")) << r.err;
    EXPECT_TRUE(has_line_starting(r.err, "Waiting for scan 2 of 2")) << r.err;
    auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out; // the two sparklines and nothing else
    for (size_t k = 0; k < 2; k++) {
        EXPECT_EQ(lines[k].rfind("scan " + std::to_string(k + 1) + " ", 0), 0u);
        EXPECT_EQ(utf8_length(lines[k].substr(7)), 64u) << lines[k];
    }

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
    if (!have_python())
        GTEST_SKIP() << "/usr/bin/python3 is not installed; the SVG was not parsed";
    EXPECT_EQ(svg_polyline_points(dir.file("s.svg")), 2048);
}

// "-" puts a file on standard output, and then nothing else goes there.
TEST(HostProgram, CsvToStandardOutput) {
    sim_reader sim({});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    run_result r = run_kestrel({"scan", "--getscan", "--device", sim.device(), "--calfile", dir.file("c.txt"),
                                "--csv", "-", "--grade"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<uint8_t> expected = readersim::make_samples(readersim::profile());
    auto rows = lines_of(r.out);
    ASSERT_EQ(rows.size(), 2049u) << r.out.substr(0, 500);
    EXPECT_EQ(rows[0], "index,sample,reflectance");
    for (size_t i = 0; i < 2048; i++) {
        unsigned index = 0, sample = 0;
        ASSERT_EQ(sscanf(rows[i + 1].c_str(), "%u,%u,", &index, &sample), 2) << rows[i + 1];
        ASSERT_EQ(sample, expected[i]) << "sample " << i;
    }
}

TEST(HostProgram, ScanGetscanAndQuiet) {
    sim_reader sim({});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    // Global options go before the command as well as after it.
    run_result r = run_kestrel({"--quiet", "scan", "--getscan", "--count", "2", "--device", sim.device(),
                                "--calfile", dir.file("c.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ""); // no status lines, no progress
    auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
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
        args.insert(args.begin(), {"scan", "-q", "--device", sim.device(), "--calfile", dir.file("c.txt")});
        run_result r = run_kestrel(args);
        EXPECT_EQ(r.status, 1);
        expect_one_error_line(r, "kestrel scan: ", rows[i].expected);
    }
}

// ---- The reader and its line after every run ----

// Completed runs: the reader hears "o" last and the line keeps the settings
// it had before; the watchdog's end of a held wait does the same.
TEST(HostProgram, EveryRunStopsTheReaderAndRestoresTheLine) {
    struct row {
        std::vector<std::string> args;
        int status;
        readersim::config cfg;
    };
    readersim::config plain, held;
    held.announce_every = 0.2;
    held.frame_cut = 100;
    const row rows[] = {
        {{"info"}, 0, plain},
        {{"scan", "--getscan", "--count", "2"}, 0, plain},
        {{"calibrate", "--raw-min", "4000", "--raw-max", "60000", "--true-min", "0", "--true-max", "1"},
         0,
         plain},
        // Both references measured on the same profile: refused after activation.
        {{"calibrate", "--measure", "--getscan", "--true-min", "0.05", "--true-max", "0.85"}, 1, plain},
        {{"scan", "--timeout", "1"}, 1, held},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        local_reader reader(rows[i].cfg);
        int fd = open(reader.sim.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        line_settings before(fd);
        testsupport::temp_dir dir;
        auto args = rows[i].args;
        args.insert(args.end(), {"-q", "--device", reader.device(), "--calfile", dir.file("c.txt")});
        run_result r = run_kestrel(args);
        EXPECT_EQ(r.status, rows[i].status) << r.err;
        // The discovery probe's stop command, then the run's own.
        EXPECT_TRUE(reader.sim.wait_for('o', 2, 5.0)) << reader.sim.received_text();
        EXPECT_EQ(reader.last_received(), 'o') << reader.sim.received_text();
        EXPECT_TRUE(line_settings(fd) == before);
        close(fd);
    }
}

// A stop signal during a scan: the program stops the reader, restores the
// line and exits by itself with 128 + the signal. Waiting for an
// announcement, the signal ends the wait at once; during a fetch that the
// line holds longer than a few seconds, the program ends after a grace.
TEST(HostProgram, SignalsDuringAScanEndItCleanly) {
    struct row {
        int sig;
        bool slow_fetch;    // the signal arrives during a 6 s frame
        bool stdout_closed; // SIGPIPE from writing a scan to a closed pipe
    };
    static const row rows[] = {
        {SIGINT, false, false}, {SIGTERM, false, false}, {SIGHUP, false, false},
        {SIGINT, true, false},  {SIGTERM, true, false},  {SIGPIPE, false, true},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        readersim::config cfg;
        if (rows[i].slow_fetch)
            cfg.line_rate = 7000; // 4096 bytes of 10 bits: about 6 s
        if (rows[i].stdout_closed)
            cfg.announce_every = 0.2;
        local_reader reader(cfg);
        int fd = open(reader.sim.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        line_settings before(fd);
        testsupport::temp_dir dir;
        kestrel_child child({"scan", "--count", "3", "--device", reader.device(), "--calfile",
                             dir.file("c.txt"), "--timeout", "60"},
                            dir, rows[i].stdout_closed);
        ASSERT_GT(child.pid, 0);
        if (!rows[i].stdout_closed) {
            ASSERT_TRUE(reader.sim.wait_for('l', 1, 20.0)) << child.err(); // activated
            if (rows[i].slow_fetch) {
                reader.sim.announce();
                ASSERT_TRUE(reader.sim.wait_for('s', 1, 10.0)); // the fetch has begun
            }
            kill(child.pid, rows[i].sig);
        }
        bool exited = false;
        int status = child.wait(30, exited);
        EXPECT_TRUE(exited) << "killed rather than exited: " << status;
        EXPECT_EQ(status, 128 + rows[i].sig) << child.err();
        // A slow frame keeps the simulator busy sending before it reads again.
        EXPECT_TRUE(reader.sim.wait_for('o', 2, 20.0)) << reader.sim.received_text();
        EXPECT_EQ(reader.last_received(), 'o') << reader.sim.received_text();
        EXPECT_TRUE(line_settings(fd) == before);
        close(fd);
    }
}

// ---- JSON ----

TEST(HostProgram, JsonDocumentsParse) {
    if (!have_python())
        GTEST_SKIP() << "/usr/bin/python3 is not installed";
    sim_reader sim({"--serial", "0x1A2B"});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    std::string cal = dir.file("c.txt");
    struct row {
        std::vector<std::string> args;
        int status;
        const char *expression; // over the document d
        const char *expected;
    };
    const row rows[] = {
        {{"list", "--device", sim.device()},
         0,
         "d['command'], d['readers'][0]['record']['SerialNumber'], d['status']",
         "('list', 6699, 0)"},
        {{"info", "--device", sim.device()},
         0,
         "d['reader']['id'], d['reader']['record']['calibrated']",
         "(256, False)"},
        {{"scan", "--getscan", "--samples", "--grade", "--device", sim.device()},
         0,
         "d['scale'], len(d['scans'][0]['samples']), d['scans'][0]['grade']['symbol'], "
         "d['scans'][0]['grade']['grades']['decode'], [p['module'] for p in "
         "d['scans'][0]['grade']['plugins']]",
         "('raw', 2048, ']A0KESTREL', 4, ['cip39', 'fullascii39', 'pharma_be', 'pharma_it', 'ukcoupon'])"},
        {{"calibrate", "--device", sim.device(), "--raw-min", "3000", "--raw-max", "50000", "--true-min",
          "0.05", "--true-max", "0.85"},
         0,
         "d['calmin'], d['calmax'], d['saved'], d['references']['source']",
         "(62, 58812, True, 'options')"},
        {{"interpret", "]E09912345678905"},
         0,
         "[(a['module'], a['verdict'], a['text']) for a in d['answers'] if a['result'] != 0]",
         "[('ukcoupon', 'accepted', '1234 567 £8.90 ')]"},
        {{"info", "--device", "usbserial-00001234=" + dir.file("gone")},
         1,
         "d['status'], d['error'][:15]",
         "(1, 'no reader found')"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        auto args = rows[i].args;
        if (args[0] != "interpret")
            args.insert(args.end(), {"--calfile", cal});
        args.insert(args.end(), {"--json", "-"});
        run_result r = run_kestrel(args, {"LC_ALL=C"});
        EXPECT_EQ(r.status, rows[i].status) << r.err;
        EXPECT_EQ(json_query(r.out, rows[i].expression), rows[i].expected) << r.out.substr(0, 2000);
    }
    // To a file, with the text on standard output as usual.
    run_result r =
        run_kestrel({"info", "--device", sim.device(), "--calfile", cal, "--json", dir.file("i.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines_of(r.out)[0], "Reader 1A2B");
    EXPECT_EQ(json_query(testsupport::read_file(dir.file("i.json")), "d['reader']['record']['Wavelength']"),
              "660");
}

// ---- Verdicts in the exit status ----

TEST(HostProgram, MinGradeGivesItsStatus) {
    // Bars at 40 and spaces at 110 of 255: symbol contrast 27.5 %, grade D,
    // every other parameter A.
    sim_reader sim({"--low", "40", "--high", "110"});
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    struct row {
        const char *minimum;
        int status;
        const char *error;
    };
    static const row rows[] = {
        {"D", 0, ""},
        {"c", 1, "kestrel scan: scan 1 of 1 grades D (1), below C: Symbol contrast D (1)\n"},
        {"A", 1, "kestrel scan: scan 1 of 1 grades D (1), below A: Symbol contrast D (1)\n"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        run_result r = run_kestrel({"scan", "-q", "--getscan", "--min-grade", rows[i].minimum, "--device",
                                    sim.device(), "--calfile", dir.file("c.txt")});
        EXPECT_EQ(r.status, rows[i].status) << r.err;
        EXPECT_EQ(r.err, rows[i].error);
        EXPECT_NE(r.out.find("  Symbol contrast    27.5 %       D (1)\n"), std::string::npos) << r.out;
    }
}

TEST(HostProgram, InterpretGivesItsStatus) {
    struct row {
        const char *symbol;
        int status;
        const char *plugin_line; // the line of the plug-in that claims it, or nullptr
        const char *text_line;   // its text, in UTF-8
    };
    static const row rows[] = {
        {"]A01234562", 0, "cip39        accepted (1)", "  text: 123456 - 2"},
        {"]A0+H+E+L+L+O", 0, "fullascii39  accepted (1)", "  text: hello"},
        {"]A0$$", 0, "fullascii39  accepted (1)", "  text: \xC3\xA4"},
        {"]E09912345678905", 0, "ukcoupon     accepted (1)",
         "  text: 1234 567 \xC2\xA3"
         "8.90 "},
        {"]A01234567", 1, "cip39        rejected (-1)", "  text: 123456 - 7"},
        {"]Z0ABC", 3, nullptr, nullptr},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        run_result r = run_kestrel({"interpret", rows[i].symbol}, {"LC_ALL=C.UTF-8"});
        EXPECT_EQ(r.status, rows[i].status) << r.err;
        for (const char *name : {"cip39", "fullascii39", "pharma_be", "pharma_it", "ukcoupon"})
            EXPECT_TRUE(has_line_starting(r.out, name)) << name;
        if (!rows[i].plugin_line) {
            EXPECT_NE(r.out.find("No plug-in claims this data.\n"), std::string::npos) << r.out;
            expect_one_error_line(r, "kestrel interpret: ", "no plug-in claims ]Z0ABC");
            continue;
        }
        auto lines = lines_of(r.out);
        size_t at = 0;
        while (at < lines.size() && lines[at] != rows[i].plugin_line)
            at++;
        ASSERT_LT(at + 2, lines.size()) << r.out;
        EXPECT_EQ(lines[at + 1].rfind("  name: ", 0), 0u);
        EXPECT_EQ(lines[at + 2], rows[i].text_line);
        if (rows[i].status == 0) {
            EXPECT_EQ(r.err, "");
        } else {
            expect_one_error_line(r, "kestrel interpret: ", "rejected");
        }
    }
}

TEST(HostProgram, InterpretWithoutModules) {
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("broken.so"), "not a module");
    run_result r = run_kestrel({"interpret", "--plugin-dir", dir.path(), "--verbose", "]A0X"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has_line_starting(r.err, "skipped " + dir.file("broken.so"))) << r.err;
    EXPECT_TRUE(has_line_starting(r.err, "kestrel interpret: no plug-in modules in " + dir.path())) << r.err;
    EXPECT_EQ(r.out, "");
}

// ---- The locale's character set ----

TEST(HostProgram, TextsInTheLocalesCharacterSet) {
    sim_reader sim({"--high", "255"}); // white quiet zones: R = 1 on the raw scale
    ASSERT_FALSE(sim.path.empty());
    testsupport::temp_dir dir;
    // A Latin-1 locale of our own, made from Debian's locale sources.
    std::string latin1_env;
    auto made = testsupport::run_program(
        {"/usr/bin/localedef", "-i", "de_DE", "-f", "ISO-8859-1", dir.file("de_DE.ISO-8859-1")}, 60);
    if (made.status <= 1 && testsupport::file_exists(dir.file("de_DE.ISO-8859-1")))
        latin1_env = "LOCPATH=" + dir.path();
    struct row {
        std::vector<std::string> env;
        const char *pound;    // how the pound sign of ukcoupon's text shows
        const char *full_bar; // the sparkline's character for R = 1
    };
    std::vector<row> rows = {
        {{"LC_ALL=C.UTF-8"}, "\xC2\xA3", "\xE2\x96\x88"},
        {{"LC_ALL=C"}, "?", "#"},
    };
    if (!latin1_env.empty())
        rows.push_back({{latin1_env, "LC_ALL=de_DE.ISO-8859-1"}, "\xA3", "#"});
    for (size_t i = 0; i < rows.size(); i++) {
        SCOPED_TRACE(i);
        run_result r = run_kestrel({"interpret", "]E09912345678905"}, rows[i].env);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("  text: 1234 567 ") + rows[i].pound + "8.90 \n"), std::string::npos)
            << r.out;
        // The quiet zones of a scan read white: the sparkline's last column.
        r = run_kestrel({"scan", "-q", "--getscan", "--device", sim.device(), "--calfile", dir.file("c.txt")},
                        rows[i].env);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string tail = std::string(rows[i].full_bar) + "\n";
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
    }
    if (latin1_env.empty())
        GTEST_SKIP() << "localedef could not make a Latin-1 locale (package locales)";
}

// ---- Calibration ----

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
    EXPECT_NE(before.err.find("Calibration: '" + dir.file("config") + "/kestrel/calibration.txt'"),
              std::string::npos);

    run_result cal = run_kestrel({"calibrate", "--device", device, "--raw-min", "3000", "--raw-max", "50000",
                                  "--true-min", "0.05", "--true-max", "0.85", "--extra", "test card 7"},
                                 env);
    ASSERT_EQ(cal.status, 0) << cal.err;
    EXPECT_EQ(cal.out, "Reader 1A2B: calmin 003E, calmax E5BC\nSaved in " + dir.file("config") +
                           "/kestrel/calibration.txt\n");
    std::string file = testsupport::read_file(dir.file("config/kestrel/calibration.txt"));
    EXPECT_EQ(file.rfind("calib.1a2b:660=003e,e5bc 0.050000,0.850000 ", 0), 0u) << file;
    EXPECT_NE(file.find(" test card 7\n"), std::string::npos) << file;

    run_result after = run_kestrel({"info", "--device", device, "--id", "0x100"}, env);
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_NE(after.out.find("  calmin           003E (62)\n"), std::string::npos) << after.out;
    EXPECT_NE(after.out.find("  calmax           E5BC (58812)\n"), std::string::npos);
    EXPECT_NE(after.out.find("  calibrated       yes\n"), std::string::npos);
}

// The references measured with the reader, or read back from two CSV scans,
// give the calibration the demo computes from the same levels: a dark
// reference at sample 18 (raw 4608, true 0.04) and a light one at 235 (raw
// 60160, true 0.92).
TEST(HostProgram, CalibrateFromMeasuredReferences) {
    readersim::config dark, light;
    dark.samples.assign(readersim::sample_count, 18);
    light.samples.assign(readersim::sample_count, 235);
    const char *expected_line = "calib.1234:660=0822,feb9 0.040000,0.920000 ";
    testsupport::temp_dir dir;

    // Scanned when asked: the reader announces each reference.
    {
        local_reader reader(dark);
        kestrel_child child({"calibrate", "--measure", "--true-min", "0.04", "--true-max", "0.92", "--device",
                             reader.device(), "--calfile", dir.file("measured.txt")},
                            dir);
        ASSERT_TRUE(reader.sim.wait_for('l', 1, 20.0)) << child.err();
        reader.sim.announce();
        // The program asks for the light reference once it has the dark one.
        for (int i = 0; i < 2000 && child.err().find("Scan the light") == std::string::npos; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        reader.sim.set_config(light);
        reader.sim.announce();
        bool exited = false;
        EXPECT_EQ(child.wait(30, exited), 0) << child.err();
        std::string err = child.err();
        EXPECT_NE(err.find("Scan the dark reference (true reflectance 0.04) now"), std::string::npos) << err;
        EXPECT_NE(err.find("Scan the light reference (true reflectance 0.92) now"), std::string::npos) << err;
        EXPECT_NE(child.out().find("raw 4608, true 0.04"), std::string::npos) << child.out();
        EXPECT_NE(child.out().find("raw 60160, true 0.92"), std::string::npos) << child.out();
        EXPECT_EQ(testsupport::read_file(dir.file("measured.txt")).rfind(expected_line, 0), 0u);
    }

    // From two CSV scans saved earlier.
    for (const auto &[cfg, name] : {std::pair{dark, "dark.csv"}, std::pair{light, "light.csv"}}) {
        local_reader reader(cfg);
        run_result r = run_kestrel({"scan", "-q", "--getscan", "--device", reader.device(), "--calfile",
                                    dir.file("none.txt"), "--csv", dir.file(name)});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    local_reader reader;
    run_result r = run_kestrel({"calibrate", "-q", "--black-csv", dir.file("dark.csv"), "--white-csv",
                                dir.file("light.csv"), "--true-min", "0.04", "--true-max", "0.92", "--device",
                                reader.device(), "--calfile", dir.file("from-csv.txt"), "--json", "-"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::read_file(dir.file("from-csv.txt")).rfind(expected_line, 0), 0u);
    if (have_python()) {
        EXPECT_EQ(json_query(r.out, "d['references']"),
                  "{'source': 'csv', 'raw_min': 4608, 'raw_max': 60160, 'true_min': 0.04, 'true_max': 0.92}");
    }
}

TEST(HostProgram, CalibrateReportsADirectoryItCannotCreate) {
    local_reader reader;
    testsupport::temp_dir dir;
    testsupport::write_file(dir.file("plain"), "a file, not a directory");
    run_result r =
        run_kestrel({"calibrate", "-q", "--device", reader.device(), "--calfile", dir.file("plain/cal.txt"),
                     "--raw-min", "4000", "--raw-max", "60000", "--true-min", "0", "--true-max", "1"});
    EXPECT_EQ(r.status, 1);
    expect_one_error_line(r, "kestrel calibrate: ",
                          "cannot create the directory " + dir.file("plain") + ": " + dir.file("plain") +
                              ": Not a directory");
    EXPECT_TRUE(reader.sim.received().empty()); // checked before the reader was opened
}

// A save the system refuses: the library's code with its meaning, and the
// system's reason beside it.
TEST(HostProgram, CalibrateReportsTheSystemsReason) {
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "needs root and setpriv to run kestrel as an unprivileged user";
    local_reader reader;
    ASSERT_EQ(chmod(reader.sim.path().c_str(), 0666), 0);
    testsupport::temp_dir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0); // readable by anyone, writable by root only
    auto r = testsupport::run_program({"/usr/bin/setpriv",
                                       "--reuid=65534",
                                       "--regid=65534",
                                       "--clear-groups",
                                       "--",
                                       kestrel(),
                                       "-q",
                                       "calibrate",
                                       "--device",
                                       reader.device(),
                                       "--calfile",
                                       dir.file("cal.txt"),
                                       "--raw-min",
                                       "4000",
                                       "--raw-max",
                                       "60000",
                                       "--true-min",
                                       "0",
                                       "--true-max",
                                       "1"},
                                      30);
    EXPECT_EQ(r.status, 1) << r.err;
    expect_one_error_line(r, "kestrel calibrate: calibration not kept in " + dir.file("cal.txt") + ": ",
                          ": " + dir.path() + ": Permission denied");
    EXPECT_NE(r.err.find("(-60"), std::string::npos) << r.err; // one of the save's codes
    EXPECT_FALSE(testsupport::file_exists(dir.file("cal.txt")));
}

// ---- The demonstration ----

TEST(HostProgram, DemoRunsTheWholeRoad) {
    testsupport::temp_dir dir;
    std::string out = dir.file("demo");
    run_result r = run_kestrel({"demo", "--out", out}, {"LC_ALL=C.UTF-8"}, 60);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(has_line_starting(r.err, "Reader 1234 activated!")) << r.err;
    EXPECT_TRUE(has_line_starting(r.err, "Wrote scan.csv and scan.svg in " + out)) << r.err;
    for (const char *line :
         {"scan 1 ", "scan 2 ", "scan 3 ", "black reference ", "white reference ", "  calibrated       yes"})
        EXPECT_TRUE(has_line_starting(r.out, line)) << line << "\n" << r.out;
    EXPECT_EQ(lines_of(testsupport::read_file(out + "/scan.csv")).size(), 2049u);
    EXPECT_TRUE(testsupport::file_exists(out + "/calibration.txt"));
    if (!have_python())
        GTEST_SKIP() << "/usr/bin/python3 is not installed; the SVG was not parsed";
    EXPECT_EQ(svg_polyline_points(out + "/scan.svg"), 2048);
}

} // namespace
