// Code 39: nine elements per character, three of them wide, characters
// separated by a space; "*" starts and stops the symbol. Read with the
// two-width reference threshold of each character; an optional modulo-43
// check character; quiet zones of 10 X on both sides.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "discrete.h"

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

char read_char(const double *widths, two_width_char &c) {
    if (!read_two_width(widths, elements_per_char, wide_per_char, c))
        return 0;
    for (size_t k = 0; k < patterns.size(); k++)
        if (patterns[k] == c.pattern)
            return alphabet[k];
    return 0;
}

bool is_start_stop(char c) { return c == '*'; }

constexpr discrete_symbology code39 = {"Code 39", elements_per_char, read_char, is_start_stop};

bool decode(const decode_input &in, int start, decode_output &out) {
    discrete_symbol symbol;
    if (!read_discrete(in.widths, start, code39, symbol, out))
        return false;
    out.last = symbol.last;
    std::string text = symbol.chars.substr(1, symbol.chars.size() - 2);
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
    out.decodability = symbol.decodability;
    out.module = symbol.module;
    out.quiet_before = out.quiet_after = quiet_zone * out.module;
    return true;
}

} // namespace

const decoder code39_decoder = {VERIFY_CODE39, decode};

} // namespace verify
