// Cross-checks of the engine against independent peers: zint draws symbols
// of random data, ZXingReader and zbarimg read them, and the engine must
// read what they read, from zint's images and from degraded profiles
// (contrast, blur, noise) written as small greyscale images for the peers.
// Each symbology adds one row to peer_cases.cpp.
#pragma once

#include <kestrel/verify.h>

#include <random>
#include <string>
#include <vector>

namespace verifytest {

struct peer_case {
    const char *name;              // the test's name: letters, digits and underscores
    std::vector<std::string> zint; // zint's options for the symbology, e.g. {"-b", "CODE39"}
    std::string (*random_data)(std::mt19937 &random);
    const char *zxing_format;   // ZXingReader's -format; nullptr when it cannot read the symbology
    const char *zbar_symbology; // zbarimg's -S name; nullptr when it cannot
    // The form in which decoded symbols ("]A0" and the data) are compared:
    // the engine's and each peer's reading pass through it (13-digit UPC,
    // Codabar without start and stop, DataBar without "01"). nullptr: as read.
    std::string (*comparable)(const std::string &symbol);
    // Where no peer reads the symbology: the symbol expected from zint's
    // data and the text zint prints under the symbol. nullptr otherwise.
    std::string (*expected_from_zint)(const std::string &data, const std::string &printed);
    verify_options_t options; // the engine's options (forced symbology, check digits)
};

// Every row (peer_cases.cpp).
const std::vector<peer_case> &peer_cases();

// Symbols drawn per row.
constexpr int peer_symbols = 50;

// Runs the cross-check of one row; reports through GoogleTest. Needs zint,
// and ZXingReader and zbarimg where the row names them.
void cross_check(const peer_case &c);

// Random characters of an alphabet, `min` to `max` of them.
std::string random_text(std::mt19937 &random, const std::string &alphabet, int min, int max);

} // namespace verifytest
