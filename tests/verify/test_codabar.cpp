// Codabar on hand-made widths: the character table, start and stop
// characters kept in the data, decodability, the gap limit.
#include <gtest/gtest.h>

#include <iterator>

#include "verify_test.h"

using namespace verifytest;

namespace {

// The published table: bar, space, bar, space, bar, space, bar.
struct codabar_char {
    char c;
    const char *elements;
};
const codabar_char codabar_table[] = {
    {'0', "nnnnnww"}, {'1', "nnnnwwn"}, {'2', "nnnwnnw"}, {'3', "wwnnnnn"}, {'4', "nnwnnwn"},
    {'5', "wnnnnwn"}, {'6', "nwnnnnw"}, {'7', "nwnnwnn"}, {'8', "nwwnnnn"}, {'9', "wnnwnnn"},
    {'-', "nnnwwnn"}, {'$', "nnwwnnn"}, {':', "wnnnwnw"}, {'/', "wnwnnnw"}, {'.', "wnwnwnn"},
    {'+', "nnwnwnw"}, {'A', "nnwwnwn"}, {'B', "nwnwnnw"}, {'C', "nnnwnww"}, {'D', "nnnwwwn"},
};
static_assert(std::size(codabar_table) == 20);

std::vector<int> codabar(const std::string &text, int quiet = 40) {
    std::vector<std::string> chars;
    for (char c : text)
        for (const auto &e : codabar_table)
            if (e.c == c)
                chars.push_back(e.elements);
    EXPECT_EQ(chars.size(), text.size()) << text;
    return two_width_widths(chars, 4, 10, 4, quiet);
}

verify_options_t codabar_only() {
    verify_options_t o{};
    o.symbologies = VERIFY_MASK(VERIFY_CODABAR);
    return o;
}

TEST(VerifyCodabar, EveryCharacterOfTheTable) {
    verify_options_t o = codabar_only();
    for (const auto &e : codabar_table) {
        std::string text = e.c >= 'A' ? std::string(1, e.c) + "7" + e.c : std::string("A") + e.c + "D";
        auto scan = grade(draw(codabar(text)), &o);
        EXPECT_EQ(symbol_of(*scan), "]F0" + text) << "character " << e.c << ": " << scan->failure;
    }
}

TEST(VerifyCodabar, KnownAnswers) {
    struct row {
        const char *what;
        std::vector<int> widths;
        std::string symbol;
        double decodability;
        const char *failure;
    };
    // "1" (nnnnwwn) with its first bar 5 wide: narrow mean 21/5, RT 7.1,
    // K 2.1 over a half distance of 2.9: V 21/29. (Read with three wide
    // elements it would be "wnnnwwn", no character.)
    // X grows to (4 + 4.2 + 4)/3: quiet zones of 45.
    std::vector<int> slack = codabar("A1B", 45);
    slack[9] = 5;
    // The gap limit: 5.3 times the narrow mean 4 is 21.2.
    std::vector<int> gap_21 = codabar("A12B"), gap_22 = codabar("A12B");
    gap_21[16] = 21;
    gap_22[16] = 22;
    static const row rows[] = {
        {"clean", codabar("A1B"), "]F0A1B", 1, ""},
        {"three wide elements", codabar("C:/.+D"), "]F0C:/.+D", 1, ""},
        {"one slack bar", slack, "]F0A1B", 21.0 / 29, ""},
        {"gap of 21", gap_21, "]F0A12B", 1, ""},
        {"gap of 22", gap_22, "", 0, "the gap after character 2 is too wide"},
        {"stop inside", codabar("A1B2B"), "", 0, "a start/stop character inside the symbol"},
        {"no start", codabar("12B"), "", 0, "no start"},
    };
    for (size_t k = 0; k < std::size(rows); k++) {
        const row &r = rows[k];
        SCOPED_TRACE("row " + std::to_string(k) + ": " + r.what);
        verify_options_t o = codabar_only();
        auto scan = grade(draw(r.widths), &o);
        expect_read(*scan, VERIFY_CODABAR, r.symbol, r.decodability, 4.0, r.failure);
    }
}

} // namespace
