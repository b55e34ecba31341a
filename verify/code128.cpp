// Code 128: (11,3) characters of three bars and three spaces, read by their
// four similar-edge sums with the sum of the three bars as each
// character's self-check; a start character A, B or C, a modulo-103 check
// character, and a stop character with its termination bar. Code sets A, B
// and C, shifts, FNC4 for bytes 128 to 255, and FNC1 first (GS1-128, ]C1)
// or second (]C2); quiet zones of 10 X.
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder.h"
#include "marginal.h"
#include "six_element.h"

namespace verify {

namespace {

// Module widths of the character values 0 to 106 from the first bar; 106
// is the stop character, whose termination bar of 2 modules follows it.
constexpr std::array<uint32_t, 107> patterns = {
    // 0 to 9
    212222, 222122, 222221, 121223, 121322, 131222, 122213, 122312, 132212, 221213,
    // 10 to 19
    221312, 231212, 112232, 122132, 122231, 113222, 123122, 123221, 223211, 221132,
    // 20 to 29
    221231, 213212, 223112, 312131, 311222, 321122, 321221, 312212, 322112, 322211,
    // 30 to 39
    212123, 212321, 232121, 111323, 131123, 131321, 112313, 132113, 132311, 211313,
    // 40 to 49
    231113, 231311, 112133, 112331, 132131, 113123, 113321, 133121, 313121, 211331,
    // 50 to 59
    231131, 213113, 213311, 213131, 311123, 311321, 331121, 312113, 312311, 332111,
    // 60 to 69
    314111, 221411, 431111, 111224, 111422, 121124, 121421, 141122, 141221, 112214,
    // 70 to 79
    112412, 122114, 122411, 142112, 142211, 241211, 221114, 413111, 241112, 134111,
    // 80 to 89
    111242, 121142, 121241, 114212, 124112, 124211, 411212, 421112, 421211, 212141,
    // 90 to 99
    214121, 412121, 111143, 111341, 131141, 114113, 114311, 411113, 411311, 113141,
    // 100 to 102: functions and code sets; 103 to 105: start A, B, C; 106: stop
    114131, 311141, 411131, 211412, 211214, 211232, 233111};
static_assert(distinct_sums(patterns), "every character has sums of its own");
constexpr edge_index index = make_edge_index(patterns);

constexpr int char_modules = 11;
constexpr int termination_modules = 2;
constexpr int start_a = 103, start_c = 105, stop = 106;
constexpr int check_modulus = 103;
constexpr double quiet_zone = 10; // X

// Special values in code sets A and B, and in code set C (where 100 and
// 101 change the code set).
constexpr int fnc3 = 96, fnc2 = 97, shift = 98, code_c = 99, code_b = 100, code_a = 101, fnc1 = 102;
constexpr int fnc4_a = 101, fnc4_b = 100;

// The self-check: the bars' sum, in the character's modules, lies within
// 1.75 modules of the character's own (which is always even), so that no
// single edge misplaced by a module reads as another character.
constexpr double bar_sum_tolerance = 1.75;

int bar_sum(int value) {
    return element_width(patterns[(size_t)value], 0) + element_width(patterns[(size_t)value], 2) +
           element_width(patterns[(size_t)value], 4);
}

const char *bar_sum_check(const double *w, const similar_edge_char &c, int value) {
    double bars = (w[0] + w[2] + w[4]) / c.module;
    return std::abs(bars - bar_sum(value)) < bar_sum_tolerance ? nullptr : "fails the bar-sum check";
}

constexpr six_element_symbology code128 = {.name = "Code 128",
                                           .modules = char_modules,
                                           .termination_modules = termination_modules,
                                           .index = &index,
                                           .start_min = start_a,
                                           .start_max = start_c,
                                           .stop = stop,
                                           .self_check = bar_sum_check};

// The data of the symbol characters between the start and the check
// character. FNC4 adds 128 to the next data character; two FNC4 in a row
// do so for all that follow until the next two. FNC1 in the first place
// makes the symbol GS1-128 (]C1); after a single letter or two digits it
// marks an application (]C2) and is not sent; anywhere else it is sent as
// GS (29), the field separator. FNC2 and FNC3 instruct the reader and are
// not sent.
std::string interpret(const std::vector<uint8_t> &values, int start, std::string &identifier) {
    enum { A, B, C } set = start == start_a ? A : start == start_c ? C : B;
    std::string data;
    identifier = "]C0";
    bool shifted = false;      // the character after SHIFT is read in the other of sets A and B
    bool latched = false;      // two FNC4 in a row: every data character +128
    bool high_next = false;    // one FNC4: the next data character +128 (or not, when latched)
    bool pair_started = false; // the last character was an FNC4 that a second one makes a pair
    int produced = 0;          // data characters so far (a set C pair counts once)
    for (uint8_t v : values) {
        auto current = shifted ? (set == A ? B : A) : set;
        shifted = false;
        bool fnc4 = current != C && v == (current == A ? fnc4_a : fnc4_b);
        if (v == fnc1) {
            bool letter = data.size() == 1 && std::isalpha((unsigned char)data[0]);
            bool pair = data.size() == 2 && produced == 1 && std::isdigit((unsigned char)data[0]);
            if (produced == 0 && identifier == "]C0")
                identifier = "]C1";
            else if (produced == 1 && identifier == "]C0" && (letter || pair))
                identifier = "]C2";
            else
                data += '\x1d';
        } else if (current == C) {
            if (v < 100) {
                data += (char)('0' + v / 10);
                data += (char)('0' + v % 10);
                produced++;
            } else {
                set = v == code_a ? A : B;
            }
        } else if (v < fnc3) {
            int byte = current == A ? (v < 64 ? v + 32 : v - 64) : v + 32;
            data += (char)(latched != high_next ? byte + 128 : byte);
            high_next = false;
            produced++;
        } else if (fnc4) {
            if (pair_started) {
                latched = !latched;
                high_next = false;
            } else {
                high_next = true;
            }
        } else if (v == shift) {
            shifted = true;
        } else if (v == code_c) {
            set = C;
        } else if (v == code_a || v == code_b) {
            set = v == code_a ? A : B;
        }
        pair_started = fnc4 && !pair_started;
    }
    return data;
}

bool decode(const decode_input &in, int start, decode_output &out) {
    six_element_symbol symbol;
    if (!read_six_element_symbol(code128, in.widths, start, symbol, out))
        return false;
    std::vector<uint8_t> &values = symbol.values;
    if (values.size() < 2)
        return decode_failure(out, out.last, "no data");
    int sum = symbol.start;
    for (size_t k = 0; k + 1 < values.size(); k++)
        sum += (int)(k + 1) * values[k];
    int check = values.back();
    values.pop_back();
    if (sum % check_modulus != check)
        return decode_failure(out, out.last,
                              "check character " + std::to_string(check) + ", expected " +
                                  std::to_string(sum % check_modulus));
    if (too_marginal(out, out.last, symbol.decodability))
        return false;
    out.data = interpret(values, symbol.start, out.identifier);
    out.decodability = symbol.decodability;
    out.module = symbol.module;
    out.quiet_before = out.quiet_after = quiet_zone * out.module;
    return true;
}

} // namespace

const decoder code128_decoder = {VERIFY_CODE128, decode};

} // namespace verify
