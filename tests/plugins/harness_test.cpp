// The command line of the plug-in programs, run as child processes.
#include "plugin_support.h"

#include <gtest/gtest.h>

using namespace plugintest;
using testsupport::run_program;

TEST(Harness, ArgumentErrorsGiveTheirStatusAndNoOutput) {
    struct row {
        std::vector<std::string> args;
        int status;
    };
    static const row rows[] = {
        {{}, 1}, {{""}, 2}, {{"A0data"}, 2}, {{"]"}, 3}, {{"]A"}, 3}, {{"]E"}, 3},
    };
    for (const auto &program : all_plugins) {
        for (size_t i = 0; i < std::size(rows); i++) {
            SCOPED_TRACE(program + " row " + std::to_string(i));
            std::vector<std::string> argv = {testsupport::bin_dir() + "/" + program};
            argv.insert(argv.end(), rows[i].args.begin(), rows[i].args.end());
            auto r = run_program(argv, 10.0);
            EXPECT_EQ(r.status, rows[i].status);
            EXPECT_EQ(r.out, "");
        }
    }
}

TEST(Harness, FurtherArgumentsAreIgnored) {
    auto r = run_program({testsupport::bin_dir() + "/pharma_it", "]A0000001", "extra", "]A0ZZZZZZ"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0000000012\n'Italian' Pharma code\n1\n");
}

TEST(Harness, UnknownAndLowerCaseLettersAreClaimedByNone) {
    // Data each plug-in would claim under its own letter.
    static const char *const data[] = {"0000001", "0+A", "09912345678905", "01234566", "01234562"};
    for (const char *letter : {"Z", "a", "m", "1"}) {
        for (const auto &program : all_plugins) {
            for (const char *d : data) {
                SCOPED_TRACE(program + " ]" + letter + d);
                auto r = run_plugin(program, std::string("]") + letter + d);
                EXPECT_EQ(r.status, 0);
                EXPECT_EQ(r.out, "\n\n0\n");
            }
        }
    }
}

TEST(Harness, EachLetterReachesTheEntryAsItsCode) {
    // Every letter of the table, with data that the claiming plug-in takes.
    struct row {
        const char *program;
        const char *arg;
        const char *out;
    };
    static const row rows[] = {
        {"ukcoupon", "]E09912345678905",
         "1234 567 \xA3"
         "8.90 \nUK Coupon Code\n1\n"},
        {"pharma_it", "]A0000001", "0000000012\n'Italian' Pharma code\n1\n"},
        {"pharma_be", "]M01234566", "1234-566\n'Belgian' Pharma code\n1\n"},
        {"cip39", "]A01234562", "123456 - 2\nCIP39 - OK\n1\n"},
    };
    static const char other_letters[] = "EAIFCeMG";
    for (size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(i);
        auto r = run_plugin(rows[i].program, rows[i].arg);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, rows[i].out);
        // The same data under every other letter is not claimed.
        for (const char *l = other_letters; *l; l++) {
            if (*l == rows[i].arg[1])
                continue;
            std::string arg = rows[i].arg;
            arg[1] = *l;
            SCOPED_TRACE(arg);
            auto other = run_plugin(rows[i].program, arg);
            EXPECT_EQ(other.status, 0);
            EXPECT_EQ(other.out, "\n\n0\n");
        }
    }
}

TEST(Harness, ModifierPlaysNoPart) {
    for (const char *modifier : {"0", "1", "X", "]", " "}) {
        SCOPED_TRACE(modifier);
        auto r = run_plugin("cip39", std::string("]A") + modifier + "1234567");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "123456 - 7\nCIP39 - Erreur\n-1\n");
    }
}

TEST(Harness, EmptyDataReachesTheEntryAsLengthZero) {
    auto r = run_plugin("pharma_it", "]A0");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error - invalid length 0\n'Italian' Pharma code\n-1\n");
}

TEST(Harness, LongDataIsCutTo255Characters) {
    // The pair at characters 254 and 255 is expanded; what follows is cut.
    std::string data = std::string(253, 'A') + "+B" + std::string(45, '+');
    auto r = run_plugin("fullascii39", "]A0" + data);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(253, 'A') + "b\nFull ASCII C39\n1\n");

    auto it = run_plugin("pharma_it", "]A0" + std::string(300, '0'));
    EXPECT_EQ(it.out, "Error - invalid length 255\n'Italian' Pharma code\n-1\n");
}

TEST(Harness, LongTextsPrintWhole) {
    std::string data = std::string(198, 'A') + "+BC";
    auto r = run_plugin("fullascii39", "]A0" + data);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(198, 'A') + "bC\nFull ASCII C39\n1\n");

    // A coupon of 127 characters whose value field is "999" lays out into 130.
    std::string coupon = "99" + std::string(125, '9');
    auto u = run_plugin("ukcoupon", "]E0" + coupon);
    EXPECT_EQ(u.status, 0);
    EXPECT_EQ(u.out.find('\n'), 130u);
    EXPECT_EQ(u.out.substr(0, 20), "9999 999 \xA3"
                                   "9.99+  999");
}

TEST(Harness, RejectionGivesStatusOneAfterThreeLines) {
    auto r = run_plugin("fullascii39", "]A0AB$");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "AB$\nFull ASCII C39\n-1\n");
}

TEST(Harness, TextsPassThroughByteForByte) {
    struct row {
        const char *program;
        std::string arg;
        std::string out;
        int status;
    };
    const row rows[] = {
        // ISO 8859-1 bytes from the data and from the plug-in itself.
        {"fullascii39", "]A0\xE9+A\xFF",
         "\xE9"
         "a\xFF\nFull ASCII C39\n1\n",
         0},
        {"ukcoupon", "]E09912345678905 \xA3\xE9",
         "1234 567 \xA3"
         "8.90  \xA3\xE9\nUK Coupon Code\n1\n",
         0},
        // A pair that stands for NUL prints as a NUL byte, not as the end of the text.
        {"fullascii39", "]A0A%UB", std::string("A\0B\nFull ASCII C39\n1\n", 21), 0},
        {"pharma_be",
         "]M0123\xE9"
         "566",
         "123\xE9-566\n'Belgian' Pharma code\n-1\n", 1},
    };
    for (size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(i);
        auto r = run_plugin(rows[i].program, rows[i].arg);
        EXPECT_EQ(r.status, rows[i].status);
        EXPECT_EQ(r.out, rows[i].out);
    }
}
