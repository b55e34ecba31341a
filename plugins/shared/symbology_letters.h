// Symbology identifier letters (the letter after "]" in a decoded symbol)
// and the symbology codes they stand for; shared by the plug-in command line
// and the host program. Internal linkage only: no plug-in may export more
// than its entries.
#pragma once

#include <kestrel/plugin.h>

namespace {

struct symbology_letter {
    char letter; // case matters: 'e' is GS1 DataBar, 'E' EAN/UPC
    int code;
    const char *name;
};

constexpr symbology_letter symbology_letters[] = {
    {'E', syEANUPC, "EAN/UPC"},  {'A', syCode39, "Code 39"},   {'I', syI2of5, "Interleaved 2 of 5"},
    {'F', syCodabar, "Codabar"}, {'C', syCode128, "Code 128"}, {'e', syRSS, "GS1 DataBar"},
    {'M', syMSI, "MSI"},         {'G', syCode93, "Code 93"},
};
static_assert(sizeof symbology_letters / sizeof symbology_letters[0] == syCode93 + 1,
              "one letter per symbology code");

// The symbology code of an identifier letter; syNone for any other letter.
inline int symbology_of_letter(char letter) {
    for (const auto &l : symbology_letters)
        if (l.letter == letter)
            return l.code;
    return syNone;
}

} // namespace
