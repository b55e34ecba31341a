// Codabar: seven elements per character (four bars, three spaces), two or
// three of them wide, characters separated by a space; A, B, C or D start
// and stop the symbol and stay in the data. Each character is read with its
// own reference threshold; quiet zones of 10 X.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "discrete.h"

namespace verify {

namespace {

// The characters and their patterns (bar, space... bar; 1 wide, the first
// element in the highest of seven bits).
constexpr std::string_view alphabet = "0123456789-$:/.+ABCD";
constexpr std::array<uint8_t, 20> patterns = {
    // digits, "-" and "$": one wide bar and one wide space
    0b0000011, 0b0000110, 0b0001001, 0b1100000, 0b0010010, 0b1000010, 0b0100001, 0b0100100, 0b0110000,
    0b1001000, 0b0001100, 0b0011000,
    // ":", "/", ".", "+": three wide elements
    0b1000101, 0b1010001, 0b1010100, 0b0010101,
    // start and stop characters A, B, C, D: three wide elements
    0b0011010, 0b0101001, 0b0001011, 0b0001110};
static_assert(alphabet.size() == patterns.size());

constexpr int elements_per_char = 7;
constexpr double quiet_zone = 10; // X
bool is_start_stop(char c) { return c >= 'A' && c <= 'D'; }

// The character of seven widths: read with two and with three wide
// elements, the reading that gives a character and the better
// decodability wins. '\0' when neither does.
char read_char(const double *w, two_width_char &best) {
    char found = 0;
    for (int wide = 2; wide <= 3; wide++) {
        two_width_char c;
        if (!read_two_width(w, elements_per_char, wide, c))
            continue;
        for (size_t k = 0; k < patterns.size(); k++)
            if (patterns[k] == c.pattern && (!found || c.decodability > best.decodability)) {
                found = alphabet[k];
                best = c;
            }
    }
    return found;
}

constexpr discrete_symbology codabar = {"Codabar", elements_per_char, read_char, is_start_stop};

bool decode(const decode_input &in, int start, decode_output &out) {
    discrete_symbol symbol;
    if (!read_discrete(in.widths, start, codabar, symbol, out))
        return false;
    out.last = symbol.last;
    out.identifier = "]F0";
    out.data = std::move(symbol.chars);
    out.decodability = symbol.decodability;
    out.module = symbol.module;
    out.quiet_before = out.quiet_after = quiet_zone * out.module;
    return true;
}

} // namespace

const decoder codabar_decoder = {VERIFY_CODABAR, decode};

} // namespace verify
