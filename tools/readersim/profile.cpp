// Synthetic scan profiles: a Code 39 symbol drawn as reflectance samples
// with edge blur and noise, and the scan frame that carries them.
#include "readersim.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>

namespace readersim {

namespace {

// Code 39: each character is nine elements, bar first, bars and spaces
// alternating; three of them are wide. Bit 8 is the first element, a set
// bit marks a wide one. '*' is the start/stop character.
struct code39_char {
    char c;
    uint16_t wide;
};

constexpr std::array<code39_char, 44> code39_table = {{
    // digits
    {'0', 0x034},
    {'1', 0x121},
    {'2', 0x061},
    {'3', 0x160},
    {'4', 0x031},
    {'5', 0x130},
    {'6', 0x070},
    {'7', 0x025},
    {'8', 0x124},
    {'9', 0x064},
    // letters
    {'A', 0x109},
    {'B', 0x049},
    {'C', 0x148},
    {'D', 0x019},
    {'E', 0x118},
    {'F', 0x058},
    {'G', 0x00D},
    {'H', 0x10C},
    {'I', 0x04C},
    {'J', 0x01C},
    {'K', 0x103},
    {'L', 0x043},
    {'M', 0x142},
    {'N', 0x013},
    {'O', 0x112},
    {'P', 0x052},
    {'Q', 0x007},
    {'R', 0x106},
    {'S', 0x046},
    {'T', 0x016},
    {'U', 0x181},
    {'V', 0x0C1},
    {'W', 0x1C0},
    {'X', 0x091},
    {'Y', 0x190},
    {'Z', 0x0D0},
    // symbols, then start/stop
    {'-', 0x085},
    {'.', 0x184},
    {' ', 0x0C4},
    {'$', 0x0A8},
    {'/', 0x0A2},
    {'+', 0x08A},
    {'%', 0x02A},
    {'*', 0x094},
}};
static_assert(code39_table.size() == 44, "43 data characters and start/stop");

constexpr int quiet_modules = 10;

const code39_char *find_char(char c) {
    for (const auto &e : code39_table)
        if (e.c == c)
            return &e;
    return nullptr;
}

// Width of the symbol between its quiet zones, in narrow modules.
double symbol_modules(const std::string &chars, double ratio) {
    double n = (double)chars.size();
    return n * (6 + 3 * ratio) + (n - 1);
}

// Bars as [start, end) intervals in samples, from x0.
std::vector<std::pair<double, double>> bars_of(const std::string &chars, double x0, double narrow,
                                               double wide) {
    std::vector<std::pair<double, double>> bars;
    double x = x0;
    for (size_t k = 0; k < chars.size(); k++) {
        uint16_t w = find_char(chars[k])->wide;
        for (int e = 0; e < 9; e++) {
            double len = (w >> (8 - e)) & 1 ? wide : narrow;
            if (e % 2 == 0)
                bars.push_back({x, x + len});
            x += len;
        }
        x += narrow; // inter-character gap
    }
    return bars;
}

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// Fraction of bar seen at position x through a Gaussian spread of sigma.
double bar_cover(const std::vector<std::pair<double, double>> &bars, double x, double sigma) {
    double reach = 6 * sigma + 1;
    double cover = 0;
    for (const auto &b : bars) {
        if (b.second < x - reach || b.first > x + reach)
            continue;
        if (sigma <= 0)
            cover += (x >= b.first && x < b.second) ? 1 : 0;
        else
            cover += normal_cdf((x - b.first) / sigma) - normal_cdf((x - b.second) / sigma);
    }
    return std::min(cover, 1.0);
}

// Standard normal deviates from the standardised mt19937, so a seed gives
// the same noise with every standard library.
struct gauss {
    std::mt19937 gen;
    explicit gauss(uint32_t seed) : gen(seed) {}
    double uniform() { return (gen() + 0.5) / 4294967296.0; }
    double next() { return std::sqrt(-2 * std::log(uniform())) * std::cos(2 * std::numbers::pi * uniform()); }
};

} // namespace

std::string code39_symbol(const std::string &text) {
    std::string chars = "*";
    for (char c : text) {
        char u = (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
        if (u != '*' && find_char(u))
            chars += u;
    }
    return chars + "*";
}

double fitted_narrow(const profile &p) {
    double ratio = std::max(p.ratio, 1.0);
    double fit = sample_count / (symbol_modules(code39_symbol(p.text), ratio) + 2 * quiet_modules);
    return p.narrow > 0 ? std::min((double)p.narrow, fit) : fit;
}

std::vector<uint8_t> make_samples(const profile &p) {
    std::string chars = code39_symbol(p.text);
    double ratio = std::max(p.ratio, 1.0);
    double narrow = fitted_narrow(p);
    double width = symbol_modules(chars, ratio) * narrow;
    // Centred: the space left on each side is the quiet zone, never less
    // than ten narrow modules.
    auto bars = bars_of(chars, (sample_count - width) / 2, narrow, narrow * ratio);

    gauss noise(p.seed);
    std::vector<uint8_t> out(sample_count);
    constexpr int sub = 4; // each sample averages four points across its width
    for (int i = 0; i < sample_count; i++) {
        double cover = 0;
        for (int k = 0; k < sub; k++)
            cover += bar_cover(bars, i + (k + 0.5) / sub, p.blur);
        double v = p.high - (p.high - p.low) * cover / sub;
        if (p.noise > 0)
            v += p.noise * noise.next();
        out[i] = (uint8_t)std::lround(std::clamp(v, 0.0, 255.0));
    }
    return out;
}

std::vector<uint8_t> make_frame(const std::vector<uint8_t> &samples) {
    std::vector<uint8_t> frame(frame_bytes);
    for (int i = 0; i < sample_count; i++) {
        uint8_t s = i < (int)samples.size() ? samples[i] : 0;
        frame[2 * i] = (uint8_t)~s;
        frame[2 * i + 1] = s;
    }
    return frame;
}

} // namespace readersim
