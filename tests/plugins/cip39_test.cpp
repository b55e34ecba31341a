// The CIP39 plug-in, called in-process through its module.
#include "plugin_support.h"

#include <gtest/gtest.h>

using namespace plugintest;

TEST(Cip39, Table) {
    struct row {
        std::string data;
        std::string name;
        std::string text;
        std::string sentence; // "" when nothing is printed
        int result;
    };
    const row rows[] = {
        {"1234562", "CIP39 - OK", "123456 - 2", "CIP39 :123456 - 2. Chiffre de Contr\xF4le 2", 1},
        {"1234567", "CIP39 - Erreur", "123456 - 7", "CIP39 :123456 - 7. Chiffre de Contr\xF4le 7 (pas 2)",
         -1},
        {"123456", "CIP39 - Erreur", "123456", "CIP39 :123456. Chiffre de Contr\xF4le 10", -1},
        {"0000000", "CIP39 - OK", "000000 - 0", "CIP39 :000000 - 0. Chiffre de Contr\xF4le 0", 1},
        {"0000030", "CIP39 - Erreur", "000003 - 0", "CIP39 :000003 - 0. Chiffre de Contr\xF4le 0 (pas 10)",
         -1},
        {"0000039", "CIP39 - Erreur", "000003 - 9", "CIP39 :000003 - 9. Chiffre de Contr\xF4le 9 (pas 10)",
         -1},
        // 9*(2+3+4+5+6+7) = 243, and 243 modulo 11 is 1.
        {"9999991", "CIP39 - OK", "999999 - 1", "CIP39 :999999 - 1. Chiffre de Contr\xF4le 1", 1},
        {"12345A7", "", "", "", -1},
        {"A234562", "", "", "", -1},
        {"123456\xB2", "", "", "", -1},
        {"12345 ", "", "", "", -1},
    };
    module m("cip39");
    for (size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(i);
        for (signed char verbose : {0, 1, -1}) {
            answer a;
            std::string out = capture_stdout([&] { a = call(m.entry(), syCode39, rows[i].data, verbose); });
            EXPECT_EQ(a.result, rows[i].result);
            EXPECT_EQ(a.name, rows[i].name);
            EXPECT_EQ(a.text, rows[i].text);
            bool prints = verbose && !rows[i].sentence.empty();
            EXPECT_EQ(out, prints ? rows[i].name + "," + rows[i].sentence + "\n" : "");
        }
    }
}

TEST(Cip39, EveryCheckDigitAfter000003IsRejected) {
    module m("cip39");
    for (char d = '0'; d <= '9'; d++) {
        SCOPED_TRACE(d);
        EXPECT_EQ(call(m.entry(), syCode39, std::string("000003") + d).result, -1);
    }
}

TEST(Cip39, NonDigitEmptiesNameAndLeavesText) {
    module m("cip39");
    auto input = counted("12345A7");
    countedstr_t name, text;
    name[0] = 5;
    text[0] = 3;
    text[1] = 'x';
    EXPECT_EQ(m.entry()(syCode39, input.data(), name, text, 0), -1);
    EXPECT_EQ(name[0], 0);
    EXPECT_EQ(text[0], 3);
    EXPECT_EQ(text[1], 'x');
}

TEST(Cip39, OnlySixOrSevenCharacterCode39IsClaimed) {
    module m("cip39");
    expect_not_claimed(m.entry(), {{syCode39, "12345"},
                                   {syCode39, "12345678"},
                                   {syCode39, ""},
                                   {syEANUPC, "1234562"},
                                   {syMSI, "123456"},
                                   {syNone, "1234562"},
                                   {syCode128, "1234567"}});
}

TEST(Cip39, SentenceIsIso88591) {
    module m("cip39");
    std::string out = capture_stdout([&] { call(m.entry(), syCode39, "1234562", 1); });
    EXPECT_NE(out.find("Contr\xF4le"), std::string::npos);
    EXPECT_EQ(out.find("\xC3\xB4"), std::string::npos);
}
