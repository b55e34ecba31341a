// The counted-string helpers as exported by the plug-ins that carry them.
#include "plugin_support.h"

#include <shared/countedstr.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace plugintest;

namespace {

struct helpers {
    decltype(&moverec) move;
    decltype(&appendrec) append;
    decltype(&prependrec) prepend;
    decltype(&truncright) right;
    decltype(&truncleft) left;
};

// Runs check once with the helpers of each plug-in that carries them.
template <typename Check> void for_each_carrier(Check check) {
    for (const auto &plugin : helper_plugins) {
        SCOPED_TRACE(plugin);
        module m(plugin);
        helpers h = {m.function<decltype(&moverec)>("moverec"), m.function<decltype(&appendrec)>("appendrec"),
                     m.function<decltype(&prependrec)>("prependrec"),
                     m.function<decltype(&truncright)>("truncright"),
                     m.function<decltype(&truncleft)>("truncleft")};
        ASSERT_TRUE(h.move && h.append && h.prepend && h.right && h.left);
        check(h);
    }
}

std::string pattern(size_t n) {
    std::string s;
    for (size_t k = 0; k < n; k++)
        s += (char)(k * 37 + 11);
    return s;
}

} // namespace

TEST(CountedStrings, MoverecCopiesLengthAndCharactersOnly) {
    for_each_carrier([](const helpers &h) {
        for (size_t n : {0u, 1u, 200u, 255u}) {
            SCOPED_TRACE(n);
            auto src = counted(pattern(n));
            unsigned char dest[COUNTEDSTR_SIZE + 1];
            memset(dest, 0x5A, sizeof dest);
            h.move(dest, src.data());
            EXPECT_EQ(chars_of(dest), pattern(n));
            // Exactly n + 1 bytes are written.
            for (size_t k = n + 1; k < sizeof dest; k++)
                ASSERT_EQ(dest[k], 0x5A) << k;
        }
    });
}

TEST(CountedStrings, MoverecHandlesOverlapInBothDirections) {
    for_each_carrier([](const helpers &h) {
        for (int shift : {1, -1, 7, -7, 0}) {
            for (size_t n : {0u, 3u, 255u}) {
                SCOPED_TRACE("shift " + std::to_string(shift) + " length " + std::to_string(n));
                unsigned char area[COUNTEDSTR_SIZE + 16] = {};
                unsigned char *src = area + 8;
                auto rec = counted(pattern(n));
                memcpy(src, rec.data(), n + 1);
                h.move(src + shift, src);
                EXPECT_EQ(chars_of(src + shift), pattern(n));
            }
        }
    });
}

TEST(CountedStrings, AppendAndPrepend) {
    for_each_carrier([](const helpers &h) {
        auto s = counted("");
        h.append('A', s.data());
        EXPECT_EQ(chars_of(s.data()), "A");

        s = counted("BC");
        h.prepend('A', s.data());
        EXPECT_EQ(chars_of(s.data()), "ABC");
        h.prepend(0xA3, s.data());
        h.append(0xE9, s.data());
        EXPECT_EQ(chars_of(s.data()), "\xA3"
                                      "ABC\xE9");

        s = counted(pattern(254));
        h.append('Z', s.data());
        EXPECT_EQ(s[0], 255);
        EXPECT_EQ(s[255], 'Z');
        EXPECT_EQ(chars_of(s.data()), pattern(254) + "Z");

        s = counted(pattern(254));
        h.prepend('Z', s.data());
        EXPECT_EQ(chars_of(s.data()), "Z" + pattern(254));
    });
}

TEST(CountedStrings, TruncationReturnsTheSignedByteAndLeavesItInTheBuffer) {
    for_each_carrier([](const helpers &h) {
        auto s = counted("AB");
        EXPECT_EQ(h.right(s.data()), 'B');
        EXPECT_EQ(chars_of(s.data()), "A");
        EXPECT_EQ(s[2], 'B');

        s = counted("ABC");
        EXPECT_EQ(h.left(s.data()), 'A');
        EXPECT_EQ(chars_of(s.data()), "BC");

        s = counted(pattern(200));
        EXPECT_EQ(h.left(s.data()), (signed char)pattern(200)[0]);
        EXPECT_EQ(chars_of(s.data()), pattern(200).substr(1));

        s = counted("12\xA3");
        EXPECT_EQ(h.right(s.data()), -93);
        s = counted("\xFF"
                    "12");
        EXPECT_EQ(h.left(s.data()), -1);
        s = counted(std::string("\0x", 2));
        EXPECT_EQ(h.left(s.data()), 0);
        EXPECT_EQ(chars_of(s.data()), "x");
    });
}

TEST(CountedStrings, TruncatingAnEmptyStringGivesZero) {
    for_each_carrier([](const helpers &h) {
        auto s = counted("");
        s[1] = 'Q';
        EXPECT_EQ(h.right(s.data()), 0);
        EXPECT_EQ(s[0], 0);
        EXPECT_EQ(h.left(s.data()), 0);
        EXPECT_EQ(s[0], 0);
        EXPECT_EQ(s[1], 'Q');
    });
}
