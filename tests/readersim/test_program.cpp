// The kestrel-readersim program as a child process: options, the printed
// path, serving, standard-input control and stopping on SIGTERM.
#include "readersim.h"
#include "support.h"
#include "terminal.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {

std::string sim_program() { return testsupport::bin_dir() + "/kestrel-readersim"; }

TEST(Program, Help) {
    auto r = testsupport::run_program({sim_program(), "--help"}, 10);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: kestrel-readersim"), std::string::npos);
    EXPECT_NE(r.out.find("--frame-cut"), std::string::npos);
}

TEST(Program, BadOptionsExitWithTwo) {
    const std::vector<std::string> rows[] = {
        {"--no-such-option"},     {"--serial"},       {"--serial", "70000"},
        {"--serial", "12x"},      {"--serial", "-1"}, {"--firmware", "0x"},
        {"--reader-type", "256"}, {"--rate", "-5"},   {"--rate", "fast"},
        {"--frame-cut", "5000"},  {"--stray", "\\q"}, {"--ratio", "0.5"},
        {"--low", "300"},         {"--png", ""},      {"--png", "/nonexistent/symbol.png"},
        {"--hangup-after-cut"},   {"stray-argument"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(rows[i][0] + (rows[i].size() > 1 ? " " + rows[i][1] : ""));
        std::vector<std::string> argv = {sim_program()};
        argv.insert(argv.end(), rows[i].begin(), rows[i].end());
        auto r = testsupport::run_program(argv, 10);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("kestrel-readersim: "), std::string::npos);
        EXPECT_NE(r.err.find(rows[i][0]), std::string::npos) << r.err;
    }
}

TEST(Program, ServesUntilSigterm) {
    testsupport::background_program p({sim_program(), "--serial", "0x4321", "--firmware", "0x0105",
                                       "--resolution", "125", "--frame-cut", "100"});
    std::string path = p.first_line(5);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    {
        simtest::terminal t(path);
        ASSERT_TRUE(t.is_open());
        ASSERT_TRUE(t.write("n"));
        auto reply = t.read(32, 3);
        readersim::identity id;
        id.serial = 0x4321;
        id.firmware = 0x0105;
        id.resolution = 125;
        EXPECT_EQ(reply, readersim::make_reply(id));
        ASSERT_TRUE(t.write("s"));
        EXPECT_EQ(t.read_until_quiet(0.5, 3).size(), 100u);
    }
    p.signal(SIGTERM);
    EXPECT_EQ(p.wait(5), 0);
}

TEST(Program, StandardInputControl) {
    testsupport::background_program p({sim_program(), "--stdin-control", "--stray", "\\x0d\\\\"});
    std::string path = p.first_line(5);
    ASSERT_FALSE(path.empty());
    simtest::terminal t(path);
    ASSERT_TRUE(t.is_open());
    p.write_stdin("announce\n");
    auto got = t.read(3, 3);
    EXPECT_EQ(std::string(got.begin(), got.end()), "\r\\!");
    p.write_stdin("hangup\n");
    EXPECT_EQ(t.next_read_result(3), 0);
    p.write_stdin("quit\n");
    EXPECT_EQ(p.wait(5), 0);
}

TEST(Program, EndOfStandardInputQuits) {
    auto r = testsupport::run_program({sim_program(), "--stdin-control"}, 10);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("/dev/pts/", 0), 0u);
}

} // namespace
