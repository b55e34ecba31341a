// The UK coupon plug-in, called in-process through its module.
#include "plugin_support.h"

#include <gtest/gtest.h>

using namespace plugintest;

TEST(UKCoupon, Table) {
    const std::string digits125(125, '7');
    const std::vector<expected> rows = {
        {"9912345678905",
         "1234 567 \xA3"
         "8.90 ",
         1},
        {"9912345679995",
         "1234 567 \xA3"
         "9.99+ ",
         1},
        {"99123456789050",
         "1234 567 \xA3"
         "8.90  ",
         1},
        {"99123456799950",
         "1234 567 \xA3"
         "9.99+  ",
         1},
        {"9912345678905 12",
         "1234 567 \xA3"
         "8.90  12",
         1},
        {"99123456700059",
         "1234 567 \xA3"
         "0.00  ",
         1},
        // The value field sorts against "999": a letter sorts after it.
        {"9912345679A95",
         "1234 567 \xA3"
         "9.A9+ ",
         1},
        {"99ABCDEFGHIJKLMN", "ABCD EFG \xA3H.IJ+  MN", 1},
        {"991234567890", "", 0},
        {"9812345678905", "", 0},
        {"8912345678905", "", 0},
        {"", "", 0},
        {"99", "", 0},
        {"99" + digits125,
         digits125.substr(0, 4) + " " + digits125.substr(4, 3) + " \xA3" + "7.77  " + digits125.substr(12),
         1},
        {"99" + digits125 + "7", "", 0},
        {std::string(255, '9'), "", 0},
    };
    module m("ukcoupon");
    expect_answers(m.entry(), syEANUPC, "UK Coupon Code", rows);
}

TEST(UKCoupon, LongestCouponsGive129Or130Characters) {
    module m("ukcoupon");
    answer below = call(m.entry(), syEANUPC, "99" + std::string(125, '1'));
    EXPECT_EQ(below.result, 1);
    EXPECT_EQ(below.text.size(), 129u);
    answer above = call(m.entry(), syEANUPC, "99" + std::string(125, '9'));
    EXPECT_EQ(above.result, 1);
    EXPECT_EQ(above.text.size(), 130u);
}

TEST(UKCoupon, OtherSymbologiesWriteNothing) {
    module m("ukcoupon");
    expect_not_claimed(m.entry(), {{syNone, "9912345678905"},
                                   {syCode39, "9912345678905"},
                                   {syI2of5, "9912345678905"},
                                   {syCodabar, "99123456789050"},
                                   {syCode128, "9912345679995"},
                                   {syRSS, "9912345678905"},
                                   {syMSI, "9912345678905"},
                                   {syCode93, "9912345678905"}});
}
