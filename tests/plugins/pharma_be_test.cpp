// The Belgian pharmacode plug-in, called in-process through its module.
#include "plugin_support.h"

#include <pharma_be/pharma_be.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace plugintest;

static const std::string belgian = "'Belgian' Pharma code";

TEST(PharmaBe, Table) {
    struct row {
        std::string data;
        std::string text;
        std::string sentence; // after "<text>: "
        int result;
    };
    const row rows[] = {
        {"1234566", "1234-566", "OK!", 1},
        {"1234567", "1234-567", "Check digit error: read 7, expected 6.", -1},
        {"12A4566", "12A4-566", "Illegal character: A. Check digit error: read 6, expected 2.", -1},
        {"0000000", "0000-000", "OK!", 1},
        {"0000010", "0000-010", "Check digit error: read 0, expected 8.", -1},
        {"0000018", "0000-018", "OK!", 1},
        // The letter is the check digit: it is both illegal and wrong.
        {"123456A", "1234-56A", "Illegal character: A. Check digit error: read 17, expected 6.", -1},
        // Only the first illegal character is named.
        {"1B3C566", "1B3C-566", "Illegal character: B. Check digit error: read 6, expected 8.", -1},
        // A high byte is no digit; taken as signed it counts -23 - 48, and the
        // negative sum gives an expected value above 9.
        {"\xE9"
         "234566",
         "\xE9"
         "234-566",
         "Illegal character: \xE9. Check digit error: read 6, expected 18.", -1},
    };
    module m("pharma_be");
    for (size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(i);
        for (signed char verbose : {0, 1, -128}) {
            answer a;
            std::string out = capture_stdout([&] { a = call(m.entry(), syMSI, rows[i].data, verbose); });
            EXPECT_EQ(a.result, rows[i].result);
            EXPECT_EQ(a.text, rows[i].text);
            EXPECT_EQ(a.name, belgian);
            EXPECT_EQ(out, verbose ? belgian + "," + rows[i].text + ": " + rows[i].sentence + "\n" : "");
        }
    }
}

TEST(PharmaBe, OnlySevenCharacterMsiDataIsClaimed) {
    module m("pharma_be");
    expect_not_claimed(m.entry(), {{syMSI, "123456"},
                                   {syMSI, "12345666"},
                                   {syMSI, ""},
                                   {syMSI, "1"},
                                   {syCode39, "1234566"},
                                   {syEANUPC, "1234566"},
                                   {syNone, "1234566"},
                                   {syCode93, "1234567"}});
}

TEST(PharmaBe, Mod10OfOtherLengths) {
    module m("pharma_be");
    auto mod10 = m.function<decltype(&msipharm_mod10)>("msipharm_mod10");
    ASSERT_NE(mod10, nullptr);
    struct row {
        const char *chars; // the last is the check digit's place
        int check;
    };
    static const row rows[] = {
        {"0", 0},
        {"5?", 9},
        {"1?", 8},
        {"12?", 5},
        {"1234?", 4},
        {"80523?", 4},
        {"1234567890123456789?", 4},
        {"A?", 3},
        // 37 characters, the longest count whose digits fit.
        {"999999999999999999999999999999999999?", 6},
    };
    for (size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(i);
        const char *c = rows[i].chars;
        EXPECT_EQ(mod10(reinterpret_cast<const unsigned char *>(c), (int)strlen(c)), rows[i].check);
    }
}
