// The Italian pharmacode plug-in, called in-process through its module.
#include "plugin_support.h"

#include <gtest/gtest.h>

using namespace plugintest;

static const std::string italian = "'Italian' Pharma code";

TEST(PharmaIt, Table) {
    const std::vector<expected> rows = {
        {"000001", "0000000012", 1},
        // 12345676: the check character covers the last eight digits.
        {"0CSSBD", "0123456764", 1},
        {"000000", "0000000000", 1},
        // 123456788 as zint encodes it.
        {"3PRM8N", "1234567889", 1},
        // 999,999,999, the largest number of nine digits.
        {"XTPLHZ", "9999999992", 1},
        // 1,000,000,000 and 1,073,741,823 have ten digits and are refused.
        {"XTPLJ0", "Error - value out of range", -1},
        {"ZZZZZZ", "Error - value out of range", -1},
        {"0A0E0A", "Error - illegal characters AE", -1},
        {"0cssbd", "Error - illegal characters csbd", -1},
        {"00000A", "Error - illegal character A", -1},
        {"AAAAAA", "Error - illegal character A", -1},
        {"-.$/+%", "Error - illegal characters -.$/+%", -1},
        {" IOUEA", "Error - illegal characters  IOEA", -1},
        {std::string("00\0"
                     "001",
                     6),
         "Error - illegal character ", -1},
        {"", "Error - invalid length 0", -1},
        {"1234567", "Error - invalid length 7", -1},
        {"A", "Error - invalid length 1", -1},
        {std::string(200, 'A'), "Error - invalid length 200", -1},
        {std::string(255, '0'), "Error - invalid length 255", -1},
    };
    module m("pharma_it");
    expect_answers(m.entry(), syCode39, italian, rows);
}

TEST(PharmaIt, OnlyCode39IsClaimed) {
    module m("pharma_it");
    expect_not_claimed(m.entry(), {{syNone, "000001"},
                                   {syEANUPC, "000001"},
                                   {syI2of5, ""},
                                   {syCodabar, "ZZZZZZ"},
                                   {syCode128, "1234567"},
                                   {syRSS, "0A0E0A"},
                                   {syMSI, "000001"},
                                   {syCode93, "000001"}});
}

TEST(PharmaIt, NumbersOfNineDigitsRoundTrip) {
    static const char alphabet[] = "0123456789BCDFGHJKLMNPQRSTUVWXYZ";
    module m("pharma_it");
    for (uint32_t number : {0u, 1u, 31u, 32u, 999999u, 500000000u, 987654321u, 999999999u}) {
        SCOPED_TRACE(number);
        std::string data(6, '0');
        for (int k = 5, n = (int)number; k >= 0; k--, n >>= 5)
            data[k] = alphabet[n & 31];
        answer a = call(m.entry(), syCode39, data);
        ASSERT_EQ(a.result, 1);
        char digits[10];
        snprintf(digits, sizeof digits, "%09u", number);
        EXPECT_EQ(a.text.substr(0, 9), digits);
        EXPECT_EQ(a.text.size(), 10u);
    }
}
