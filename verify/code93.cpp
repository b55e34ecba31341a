// Code 93: (9,3) characters of three bars and three spaces read by their
// four similar-edge sums; a start and a stop character (the same one), a
// termination bar, two modulo-47 check characters C and K that are
// verified and not sent, and four shift characters that give the whole of
// ASCII. Sent as ]G0; quiet zones of 10 X. The symbology standard's text
// was not at hand: the reference decode here is Code 128's without its
// bar-sum check (Code 93's characters have no bar parity), the sums alone
// telling all 48 characters apart, with the double modulo-47 check.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decoder.h"
#include "marginal.h"
#include "six_element.h"

namespace verify {

namespace {

// Module widths of the character values 0 to 46 from the first bar, and of
// the start/stop character as 47.
constexpr std::array<uint32_t, 48> patterns = {
    // 0 to 9
    131112, 111213, 111312, 111411, 121113, 121212, 121311, 111114, 131211, 141111,
    // A to J
    211113, 211212, 211311, 221112, 221211, 231111, 112113, 112212, 112311, 122112,
    // K to T
    132111, 111123, 111222, 111321, 121122, 131121, 212112, 212211, 211122, 211221,
    // U to Z, "-", ".", " "
    221121, 222111, 112122, 112221, 122121, 123111, 121131, 311112, 311211,
    // "$", "/", "+", "%"
    321111, 112131, 113121, 211131,
    // the shifts ($), (%), (/), (+)
    121221, 312111, 311121, 122211,
    // start/stop
    111141};
static_assert(distinct_sums(patterns), "every character has sums of its own");
constexpr edge_index index = make_edge_index(patterns);

// The characters of the values 0 to 42.
constexpr std::string_view alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
static_assert(alphabet.size() == 43);

constexpr int char_modules = 9;
constexpr int termination_modules = 1;
constexpr int shift_dollar = 43, shift_plus = 46, start_stop = 47;
constexpr int check_modulus = 47;
constexpr int c_weights = 20, k_weights = 15; // weights run 1 to this from the right, then again
constexpr double quiet_zone = 10;             // X

constexpr six_element_symbology code93 = {.name = "Code 93",
                                          .modules = char_modules,
                                          .termination_modules = termination_modules,
                                          .index = &index,
                                          .start_min = start_stop,
                                          .start_max = start_stop,
                                          .stop = start_stop,
                                          .self_check = nullptr};

// The modulo-47 check of values[0..count): weights 1, 2... from the right,
// back to 1 after `cycle`.
int check_value(const std::vector<uint8_t> &values, size_t count, int cycle) {
    int sum = 0;
    for (size_t k = 0; k < count; k++)
        sum += values[k] * (int)((count - 1 - k) % (size_t)cycle + 1);
    return sum % check_modulus;
}

// The ASCII character of a shift (43 to 46) followed by a letter A to Z:
// ($) A-Z: 1-26; (%) A-E: 27-31, F-J: 59-63, K-O: 91-95, P-T: 123-127,
// U: 0, V: "@", W: "`", X-Z: 127; (/) A-O: 33-47, Z: ":"; (+) A-Z: a-z.
// -1 for a pair that stands for nothing.
int shifted(int shift, char letter) {
    int l = letter - 'A';
    switch (shift - shift_dollar) {
    case 0: return l + 1;
    case 1:
        if (l < 5)
            return 27 + l;
        if (l < 10)
            return 59 + l - 5;
        if (l < 15)
            return 91 + l - 10;
        if (l < 20)
            return 123 + l - 15;
        return l == 20 ? 0 : l == 21 ? '@' : l == 22 ? '`' : 127;
    case 2: return l < 15 ? 33 + l : l == 25 ? ':' : -1;
    default: return 'a' + l;
    }
}

bool decode(const decode_input &in, int start, decode_output &out) {
    six_element_symbol symbol;
    if (!read_six_element_symbol(code93, in.widths, start, symbol, out))
        return false;
    const std::vector<uint8_t> &values = symbol.values;
    int end = out.last;
    if (values.size() < 3)
        return decode_failure(out, end, "no data");

    size_t data_count = values.size() - 2;
    int c_check = check_value(values, data_count, c_weights);
    if (values[data_count] != c_check)
        return decode_failure(out, end,
                              "check character C " + std::to_string(values[data_count]) + ", expected " +
                                  std::to_string(c_check));
    int k_check = check_value(values, data_count + 1, k_weights);
    if (values[data_count + 1] != k_check)
        return decode_failure(out, end,
                              "check character K " + std::to_string(values[data_count + 1]) + ", expected " +
                                  std::to_string(k_check));

    if (too_marginal(out, out.last, symbol.decodability))
        return false;
    std::string data;
    for (size_t k = 0; k < data_count; k++) {
        int value = values[k];
        if (value < shift_dollar) {
            data += alphabet[(size_t)value];
            continue;
        }
        // A shift and a letter make one character.
        int letter = k + 1 < data_count ? values[k + 1] : -1;
        int ascii = letter >= 10 && letter <= 35 ? shifted(value, alphabet[(size_t)letter]) : -1;
        if (ascii < 0)
            return decode_failure(out, end, "a shift character and a letter that stand for no character");
        data += (char)ascii;
        k++;
    }

    out.identifier = "]G0";
    out.data = std::move(data);
    out.decodability = symbol.decodability;
    out.module = symbol.module;
    out.quiet_before = out.quiet_after = quiet_zone * out.module;
    return true;
}

} // namespace

const decoder code93_decoder = {VERIFY_CODE93, decode};

} // namespace verify
