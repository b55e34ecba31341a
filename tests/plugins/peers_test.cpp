// Cross-checks against independent peers: zint encodes, ZXingReader decodes,
// the plug-in programs interpret; python3-stdnum's Luhn digit against the
// MSI modulo-10 digit.
#include "plugin_support.h"

#include <pharma_be/pharma_be.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace plugintest;
using testsupport::run_program;

namespace {

const char debian_python[] = "/usr/bin/python3";

bool have_imaging_peers() {
    return testsupport::have_program("zint") && testsupport::have_program("ZXingReader");
}

#define REQUIRE_IMAGING_PEERS() REQUIRE_PEER(have_imaging_peers(), "zint or ZXingReader")

// Runs zint into a file of the given name; true on success.
bool encode(const std::string &type, const std::string &data, const std::string &file) {
    auto r = run_program({"/usr/bin/env", "zint", "-b", type, "-d", data, "-o", file}, 30.0);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0;
}

// ZXingReader's symbology identifier and raw bytes for an image, as one
// string ("]A0" and the data).
std::string decode(const std::string &png) {
    auto r = run_program({"/usr/bin/env", "ZXingReader", png}, 30.0);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string identifier, bytes, line;
    std::istringstream lines(r.out);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "Identifier:") {
            fields >> identifier;
        } else if (key == "Bytes:") {
            unsigned value;
            while (fields >> std::hex >> value)
                bytes += (char)value;
        }
    }
    EXPECT_FALSE(identifier.empty()) << r.out;
    return identifier + bytes;
}

// The first line of a program's answer and its last (the result).
struct program_answer {
    std::string text;
    std::string result;
};

program_answer answer_of(const std::string &plugin, const std::string &arg) {
    auto r = run_plugin(plugin, arg);
    program_answer a;
    size_t first = r.out.find('\n');
    size_t last = r.out.rfind('\n', r.out.size() - 2);
    if (first == std::string::npos || last == std::string::npos) {
        ADD_FAILURE() << "no answer for " << arg << ": " << r.out;
        return a;
    }
    a.text = r.out.substr(0, first);
    a.result = r.out.substr(last + 1, r.out.size() - last - 2);
    return a;
}

} // namespace

TEST(Peers, Code32FromZintGivesZintsNineDigits) {
    REQUIRE_IMAGING_PEERS();
    testsupport::temp_dir dir;
    std::mt19937 random(32);
    std::vector<std::string> numbers = {"00000000", "12345678", "99999999", "00000001", "31415926"};
    for (int k = 0; k < 5; k++)
        numbers.push_back(std::to_string(10000000 + random() % 90000000));
    for (const auto &number : numbers) {
        SCOPED_TRACE(number);
        ASSERT_TRUE(encode("CODE32", number, dir.file("c32.png")));
        ASSERT_TRUE(encode("CODE32", number, dir.file("c32.svg")));
        std::string svg = testsupport::read_file(dir.file("c32.svg"));
        // The human-readable text: "A" and nine digits.
        size_t at = svg.find('>', svg.find("<text"));
        ASSERT_NE(at, std::string::npos);
        size_t a = svg.find('A', at);
        ASSERT_NE(a, std::string::npos);
        std::string human = svg.substr(a + 1, 9);
        EXPECT_EQ(human.substr(0, 8), number);

        std::string decoded = decode(dir.file("c32.png"));
        ASSERT_EQ(decoded.substr(0, 3), "]A0");
        auto answer = answer_of("pharma_it", decoded);
        EXPECT_EQ(answer.result, "1");
        EXPECT_EQ(answer.text.substr(0, 9), human);
    }
}

TEST(Peers, ExtendedCode39FromZintExpandsToTheOriginal) {
    REQUIRE_IMAGING_PEERS();
    testsupport::temp_dir dir;
    static const char *const texts[] = {"Hello, World!", "kestrel@plug-in #39", "a.b/c+d$e%f",
                                        "(x) [y] {z} ~^_`|", "Mixed Case; 100% sure?"};
    for (const char *text : texts) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(encode("EXCODE39", text, dir.file("e39.png")));
        std::string decoded = decode(dir.file("e39.png"));
        ASSERT_EQ(decoded.substr(0, 3), "]A0");
        auto answer = answer_of("fullascii39", decoded);
        EXPECT_EQ(answer.result, "1");
        EXPECT_EQ(answer.text, text);
    }
}

TEST(Peers, Ean13CouponFromZintIsLaidOut) {
    REQUIRE_IMAGING_PEERS();
    testsupport::temp_dir dir;
    struct row {
        const char *number; // twelve digits; zint adds the check digit
        std::string text;
    };
    const row rows[] = {
        {"991234567890", "1234 567 \xA3"
                         "8.90 "},
        {"990001112999", "0001 112 \xA3"
                         "9.99+ "},
        {"995555500500", "5555 500 \xA3"
                         "5.00 "},
        {"998765432000", "8765 432 \xA3"
                         "0.00 "},
    };
    for (size_t i = 0; i < std::size(rows); i++) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(encode("EANX", rows[i].number, dir.file("ean.png")));
        std::string decoded = decode(dir.file("ean.png"));
        ASSERT_EQ(decoded.substr(0, 3), "]E0");
        ASSERT_EQ(decoded.size(), 16u);
        EXPECT_EQ(decoded.substr(3, 12), rows[i].number);
        auto answer = answer_of("ukcoupon", decoded);
        EXPECT_EQ(answer.result, "1");
        EXPECT_EQ(answer.text, rows[i].text);
    }
}

TEST(Peers, MsiMod10EqualsStdnumLuhn) {
    REQUIRE_PEER(testsupport::file_exists(debian_python) &&
                     run_program({debian_python, "-c", "import stdnum.luhn"}, 30.0).status == 0,
                 "python3-stdnum");
    module m("pharma_be");
    auto mod10 = m.function<decltype(&msipharm_mod10)>("msipharm_mod10");
    ASSERT_NE(mod10, nullptr);

    // Random digit strings of 1 to 36 digits, each followed by the check
    // digit's place.
    std::mt19937 random(10);
    std::vector<std::string> strings;
    std::string lines;
    for (int k = 0; k < 2000; k++) {
        std::string s;
        for (size_t n = 1 + random() % 36; s.size() < n;)
            s += (char)('0' + random() % 10);
        strings.push_back(s);
        lines += s + "\n";
    }
    auto r = run_program({debian_python, "-c",
                          "import sys\nfrom stdnum import luhn\n"
                          "for line in sys.stdin: print(luhn.calc_check_digit(line.strip()))"},
                         60.0, lines);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream luhn(r.out);
    for (const auto &s : strings) {
        SCOPED_TRACE(s);
        std::string expected;
        ASSERT_TRUE(std::getline(luhn, expected));
        std::string with_place = s + "?";
        int check = mod10(reinterpret_cast<const unsigned char *>(with_place.data()), (int)with_place.size());
        EXPECT_EQ(std::to_string(check), expected);
    }
}
