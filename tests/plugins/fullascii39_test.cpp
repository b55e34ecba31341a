// The Full ASCII Code 39 plug-in, called in-process through its module.
#include "plugin_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace plugintest;

TEST(FullAscii39, Table) {
    const std::vector<expected> rows = {
        {"ABC", "ABC", 0},
        {"", "", 0},
        {"A$B", "A\x02", 1},
        {"A$BC",
         "A\x02"
         "C",
         1},
        {"$B", "\x02", 1},
        {"+H+E+L+L+O", "hello", 1},
        {"/A/O/Z", "!/:", 1},
        {"%A%F%K%P%T%U%V%W%X%Z", std::string("\x1B;[{\x7F\0@`\x7F\x7F", 10), 1},
        {"%B%C%D%E%G%J%L%O%Q%S", "\x1C\x1D\x1E\x1F<?\\_|~", 1},
        {"$A$Z+A+Z/B/J/L",
         "\x01\x1A"
         "az\"*,",
         1},
        {"$$", "\xE4", 1},
        {"%0", "\xB9", 1},
        {"%\x80", "\x9E", 1},
        {"%a", "\x7F", 1},
        {"+$", "D", 1},
        {"AB$", "AB$", -1},
        {"$", "$", -1},
        {"%", "%", -1},
        {"A+", "A+", -1},
        {"/", "/", -1},
        {"$A$", "\x01$", -1},
        {"$$$", "\xE4$", -1},
        {"A*B", "A*B", 0},
        {std::string(198, 'A') + "+B", std::string(198, 'A') + "b", 1},
        {std::string(253, 'A') + "+B", std::string(253, 'A') + "b", 1},
        {std::string(254, 'A') + "+", std::string(254, 'A') + "+", -1},
    };
    module m("fullascii39");
    expect_answers(m.entry(), syCode39, "Full ASCII C39", rows);
}

TEST(FullAscii39, OtherSymbologiesWriteNothing) {
    module m("fullascii39");
    expect_not_claimed(m.entry(), {{syNone, "+H+I"},
                                   {syEANUPC, "+H+I"},
                                   {syI2of5, "AB$"},
                                   {syCodabar, "ABC"},
                                   {syCode128, "+H+I"},
                                   {syRSS, "$"},
                                   {syMSI, "+H+I"},
                                   {syCode93, "%U"}});
}

TEST(FullAscii39, NameIsWrittenWithItsTerminator) {
    module m("fullascii39");
    std::vector<unsigned char> input = counted("+A");
    countedstr_t name, text;
    memset(name, 0x5A, sizeof name);
    name[0] = 0;
    text[0] = 0;
    EXPECT_EQ(m.entry()(syCode39, input.data(), name, text, 0), 1);
    EXPECT_EQ(name[0], 14);
    EXPECT_EQ(name[15], 0);
    EXPECT_EQ(name[16], 0x5A);
}
