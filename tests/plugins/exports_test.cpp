// What the plug-in programs and modules export, the headers compiled as C99,
// and in-process calls answering as the programs do.
#include "header_c99.h"
#include "plugin_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>

using namespace plugintest;

// Names of the defined symbols in the dynamic symbol table of a file.
static std::set<std::string> dynamic_symbols(const std::string &path) {
    auto r = testsupport::run_program({"/usr/bin/nm", "-D", "--defined-only", path}, 30.0);
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<std::string> names;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name && (type == "T" || type == "W"))
            names.insert(name);
    }
    return names;
}

TEST(Exports, ProgramsAndModulesExportBothEntries) {
    static const char *const helpers[] = {"moverec", "appendrec", "prependrec", "truncright", "truncleft"};
    for (const auto &plugin : all_plugins) {
        bool carries_helpers = plugin == "fullascii39" || plugin == "ukcoupon";
        for (const std::string suffix : {"", ".so"}) {
            std::string path = testsupport::bin_dir() + "/" + plugin + suffix;
            SCOPED_TRACE(path);
            auto names = dynamic_symbols(path);
            EXPECT_TRUE(names.count("KorvelVerifierPlugIn"));
            // int DllEntryPoint(unsigned long, unsigned long, void *), decorated.
            EXPECT_TRUE(names.count("_Z13DllEntryPointmmPv"));
            EXPECT_FALSE(names.count("DllEntryPoint"));
            for (const char *h : helpers)
                EXPECT_EQ(names.count(h), carries_helpers ? 1u : 0u) << h;
        }
    }
}

TEST(Exports, DllEntryPointReturnsOne) {
    for (const auto &plugin : all_plugins) {
        SCOPED_TRACE(plugin);
        module m(plugin);
        auto dll_entry = m.function<int (*)(unsigned long, unsigned long, void *)>("_Z13DllEntryPointmmPv");
        ASSERT_NE(dll_entry, nullptr);
        EXPECT_EQ(dll_entry(0, 0, nullptr), 1);
        EXPECT_EQ(dll_entry(~0ul, 12345, &m), 1);
    }
}

TEST(Exports, HeadersCompileAsC99WithTheSameConstants) {
    int values[32];
    int n = header_c99_values(values, 32);
    const int expected[] = {256, 255, 256, -1, 0, 1, 2, 3, 4, 5, 6, 7, -1, 0, 1};
    ASSERT_EQ(n, (int)std::size(expected));
    for (int k = 0; k < n; k++)
        EXPECT_EQ(values[k], expected[k]) << k;
    static_assert(sizeof(countedstr_t) == 256);
}

TEST(Exports, InProcessCallsAnswerAsTheProgram) {
    struct row {
        const char *plugin;
        char letter;
        std::string data;
    };
    const row rows[] = {
        {"pharma_it", 'A', "000001"},
        {"pharma_it", 'A', "0A0E0A"},
        {"pharma_it", 'A', "1234567"},
        {"pharma_it", 'A', "ZZZZZZ"},
        {"pharma_it", 'E', "000001"},
        {"fullascii39", 'A', "+H+E+L+L+O"},
        {"fullascii39", 'A', "ABC"},
        {"fullascii39", 'A', "$A$"},
        {"fullascii39", 'A', "%0$$"},
        {"ukcoupon", 'E', "9912345679995"},
        {"ukcoupon", 'E', "9912345678905 12"},
        {"ukcoupon", 'E', "9812345678905"},
        {"pharma_be", 'M', "1234566"},
        {"pharma_be", 'M', "12A4566"},
        {"pharma_be", 'M', "123456"},
        {"cip39", 'A', "1234562"},
        {"cip39", 'A', "123456"},
        {"cip39", 'A', "12345A7"},
        {"cip39", 'E', "1234562"},
    };
    static const char letters[] = "EAIFCeMG";
    for (size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(i);
        module m(rows[i].plugin);
        int symbology = (int)(strchr(letters, rows[i].letter) - letters);
        answer a = call(m.entry(), symbology, rows[i].data);
        auto r = run_plugin(rows[i].plugin, std::string("]") + rows[i].letter + "0" + rows[i].data);
        EXPECT_EQ(r.out, harness_lines(a));
        EXPECT_EQ(r.status, a.result < 0 ? 1 : 0);
    }
}
