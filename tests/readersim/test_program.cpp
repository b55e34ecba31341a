// The kestrel-readersim program as a child process: options, the printed
// path, serving, standard-input control and stopping on SIGTERM.
#include "readersim.h"
#include "support.h"
#include "terminal.h"

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

std::string sim_program() { return testsupport::bin_dir() + "/kestrel-readersim"; }

TEST(Program, HelpAndVersion) {
    for (const char *option : {"--help", "-h"}) {
        auto r = testsupport::run_program({sim_program(), option}, 10);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("usage: kestrel-readersim"), std::string::npos);
        EXPECT_NE(r.out.find("  --frame-cut N           send only the first N bytes"), std::string::npos)
            << r.out;
        EXPECT_EQ(r.err, "");
    }
    for (const char *option : {"--version", "-V"}) {
        auto r = testsupport::run_program({sim_program(), option}, 10);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "kestrel-readersim " KESTREL_VERSION "\n");
    }
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
    // A bad value's error states what the option takes.
    auto r = testsupport::run_program({sim_program(), "--serial", "70000"}, 10);
    EXPECT_EQ(r.err, "kestrel-readersim: bad value for --serial: '70000' (0..0xFFFF)\n");
}

// --link: a symbolic link to the terminal while serving, gone afterwards;
// an old link is replaced, anything else at the path is left alone.
TEST(Program, LinkToTheTerminal) {
    testsupport::temp_dir dir;
    std::string link = dir.file("reader");
    ASSERT_EQ(symlink("/nonexistent/old", link.c_str()), 0);
    {
        testsupport::background_program p({sim_program(), "--link", link});
        std::string path = p.first_line(5);
        ASSERT_FALSE(path.empty());
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), path);
        simtest::terminal t(link);
        ASSERT_TRUE(t.is_open());
        ASSERT_TRUE(t.write("n"));
        EXPECT_EQ(t.read(32, 3), readersim::make_reply(readersim::identity()));
        p.signal(SIGTERM);
        EXPECT_EQ(p.wait(5), 0);
    }
    EXPECT_FALSE(testsupport::file_exists(link));
    testsupport::write_file(link, "a file");
    auto r = testsupport::run_program({sim_program(), "--link", link}, 10);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot make the link " + link + ": File exists"), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::read_file(link), "a file");
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
