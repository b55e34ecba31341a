// The UK coupon plug-in, called in-process through its module.
#include "plugin_support.h"

#include <gtest/gtest.h>

using namespace plugintest;

TEST(UKCoupon, Table) {
    struct row {
        std::string data;
        std::string text; // "" when not written
        int result;
    };
    const std::string digits125(125, '7');
    const row rows[] = {
        {"9912345678905", "1234 567 \xA3" "8.90 ", 1},
        {"9912345679995", "1234 567 \xA3" "9.99+ ", 1},
        {"99123456789050", "1234 567 \xA3" "8.90  ", 1},
        {"99123456799950", "1234 567 \xA3" "9.99+  ", 1},
        {"9912345678905 12", "1234 567 \xA3" "8.90  12", 1},
        {"99123456700059", "1234 567 \xA3" "0.00  ", 1},
        // The value field sorts against "999": a letter sorts after it.
        {"9912345679A95", "1234 567 \xA3" "9.A9+ ", 1},
        {"99ABCDEFGHIJKLMN", "ABCD EFG \xA3H.IJ+  MN", 1},
        {"991234567890", "", 0},
        {"9812345678905", "", 0},
        {"8912345678905", "", 0},
        {"", "", 0},
        {"99", "", 0},
        {"99" + digits125, digits125.substr(0, 4) + " " + digits125.substr(4, 3) + " \xA3" + "7.77  " +
                               digits125.substr(12), 1},
        {"99" + digits125 + "7", "", 0},
        {std::string(255, '9'), "", 0},
    };
    module m("ukcoupon");
    for (size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(i);
        answer a = call(m.entry(), syEANUPC, rows[i].data);
        EXPECT_EQ(a.result, rows[i].result);
        EXPECT_EQ(a.text, rows[i].text);
        EXPECT_EQ(a.name, rows[i].result ? "UK Coupon Code" : "");
    }
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
    for (int symbology = syNone; symbology <= syCode93; symbology++) {
        if (symbology == syEANUPC)
            continue;
        SCOPED_TRACE(symbology);
        answer a = call(m.entry(), symbology, "9912345678905");
        EXPECT_EQ(a.result, 0);
        EXPECT_EQ(a.text, "");
        EXPECT_EQ(a.name, "");
    }
}
