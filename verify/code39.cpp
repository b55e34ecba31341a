// Code 39: nine elements per character, three of them wide, characters
// separated by a space; "*" starts and stops the symbol. Read with the
// two-width reference threshold of each character; an optional modulo-43
// check character; quiet zones of 10 X on both sides.
#include <array>
#include <cstdint>
#include <string_view>

#include "decoder.h"
#include "two_width.h"

namespace verify {

namespace {

// The 44 characters and their patterns: a bit per element (bar, space,
// bar... bar), 1 wide, the first element in the highest bit. Their order is
// the order of the check character's values 0 to 42; "*" comes last.
constexpr std::string_view alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
constexpr std::array<uint16_t, 44> patterns = {
    // digits
    0x034, 0x121, 0x061, 0x160, 0x031, 0x130, 0x070, 0x025, 0x124, 0x064,
    // A to J
    0x109, 0x049, 0x148, 0x019, 0x118, 0x058, 0x00D, 0x10C, 0x04C, 0x01C,
    // K to T
    0x103, 0x043, 0x142, 0x013, 0x112, 0x052, 0x007, 0x106, 0x046, 0x016,
    // U to Z, "-", ".", " "
    0x181, 0x0C1, 0x1C0, 0x091, 0x190, 0x0D0, 0x085, 0x184, 0x0C4,
    // "$", "/", "+", "%": three wide spaces
    0x0A8, 0x0A2, 0x08A, 0x02A,
    // "*"
    0x094};
static_assert(alphabet.size() == patterns.size());

constexpr int elements_per_char = 9;
constexpr int wide_per_char = 3;
constexpr int check_modulus = 43;
constexpr double quiet_zone = 10; // X

// The widest inter-character gap accepted, in mean narrow widths of the
// character before it. The standard's exact limit was not at hand; 5.3 is
// the largest gap its public summaries allow for small X-dimensions, and a
// space wider than that ends the symbol.
constexpr double max_gap = 5.3;

// The position of a character in the alphabet, or -1.
int char_index(unsigned pattern) {
    for (size_t k = 0; k < patterns.size(); k++)
        if (patterns[k] == pattern)
            return (int)k;
    return -1;
}

bool decode(const decode_input &in, int start, decode_output &out) {
    auto w = in.widths;
    int n = (int)w.size();
    std::string text;
    double v = 1, narrow_sum = 0;
    int chars = 0;
    for (int i = start;; i += elements_per_char + 1) {
        if (i + elements_per_char > n - 1)
            return decode_failure(out, i, chars ? "no stop character" : "too few elements for a character");
        two_width_char c;
        int k =
            read_two_width(&w[(size_t)i], elements_per_char, wide_per_char, c) ? char_index(c.pattern) : -1;
        if (k < 0)
            return decode_failure(out, i,
                                  "character " + std::to_string(chars + 1) + " is not a Code 39 character");
        char ch = alphabet[(size_t)k];
        if (chars == 0 && ch != '*')
            return decode_failure(out, i, "no start character");
        chars++;
        v = std::min(v, c.decodability);
        narrow_sum += c.narrow;
        double gap = w[(size_t)(i + elements_per_char)];
        bool ends = i + elements_per_char == n - 1 || gap > max_gap * c.narrow;
        if (ch == '*' && chars > 1) {
            if (!ends)
                return decode_failure(out, i, "a start/stop character inside the symbol");
            out.last = i + elements_per_char - 1;
            break;
        }
        if (chars > 1)
            text += ch;
        if (i + elements_per_char == n - 1)
            return decode_failure(out, i + elements_per_char, "no stop character");
        if (ends)
            return decode_failure(out, i + elements_per_char,
                                  "the gap after character " + std::to_string(chars) + " is too wide");
    }

    out.identifier = "]A0";
    if (in.options.check != VERIFY_CHECK_NONE) {
        if (text.empty())
            return decode_failure(out, out.last, "no check character");
        int sum = 0;
        for (size_t k = 0; k + 1 < text.size(); k++)
            sum += (int)alphabet.find(text[k]);
        char expected = alphabet[(size_t)(sum % check_modulus)];
        if (text.back() != expected)
            return decode_failure(out, out.last,
                                  std::string("check character ") + text.back() + ", expected " + expected);
        if (in.options.check == VERIFY_CHECK_STRIP) {
            text.pop_back();
            out.identifier = "]A3";
        } else {
            out.identifier = "]A1";
        }
    }
    out.data = std::move(text);
    out.decodability = v;
    out.module = narrow_sum / chars;
    out.quiet_before = out.quiet_after = quiet_zone * out.module;
    return true;
}

} // namespace

const decoder code39_decoder = {VERIFY_CODE39, decode};

} // namespace verify
