// Italian pharmacode plug-in: Code 39 data of six base-32 characters becomes
// nine decimal digits and a check character.
#include "pharma_it.h"

#include <kestrel/plugin.h>

#include "../shared/plugin_text.h"

#include <cstdio>
#include <cstring>

static const char base32_values[] = "0123456789BCDFGHJKLMNPQRSTUVWXYZ";
static_assert(sizeof base32_values == 33, "32 characters and a terminator");

static const char display_name[] = "'Italian' Pharma code";

// Numbers of ten digits cannot be shown in nine and are refused.
static const uint32_t number_limit = 1000000000u;

int lookup32(int c) {
    for (int v = 0; v < 32; v++)
        if (base32_values[v] == c)
            return v;
    return -1;
}

uint32_t from32_to10(const unsigned char *chars, char *illegal) {
    uint32_t number = 0;
    for (int k = 0; k < 6; k++) {
        number <<= 5;
        int v = lookup32(chars[k]);
        if (v >= 0) {
            number += (uint32_t)v;
        } else if (chars[k] != '\0' && !strchr(illegal, chars[k])) {
            size_t used = strlen(illegal);
            illegal[used] = (char)chars[k];
            illegal[used + 1] = '\0';
        }
    }
    return number;
}

int pharma_cd(const unsigned char *text) {
    int total = 0;
    for (int k = 2; k <= 8; k += 2)
        total += text[k] - '0';
    for (int k = 3; k <= 9; k += 2) {
        int doubled = 2 * (text[k] - '0');
        total += doubled / 10 + doubled % 10;
    }
    return '0' + total % 10;
}

void expand_10(unsigned char *text, uint32_t number) {
    number %= number_limit;
    for (int k = 9; k >= 1; k--) {
        text[k] = (unsigned char)('0' + number % 10);
        number /= 10;
    }
    text[10] = (unsigned char)pharma_cd(text);
    text[0] = 10;
}

int pharma(unsigned char *text, const unsigned char *data, char *illegal) {
    if (data[0] != 6)
        return 1;
    uint32_t number = from32_to10(data + 1, illegal);
    // A NUL byte is illegal too, though the list cannot show it.
    if (illegal[0] != '\0' || memchr(data + 1, '\0', 6))
        return 2;
    if (number >= number_limit)
        return 3;
    expand_10(text, number);
    return 0;
}

// Writes a message into a counted string; it always fits in 255 characters.
static void set_message(unsigned char *text, const char *message) {
    size_t n = strlen(message);
    memcpy(text + 1, message, n);
    text[0] = (unsigned char)n;
}

extern "C" int KorvelVerifierPlugIn(int symbology, const unsigned char *data, unsigned char *name,
                                    unsigned char *text, signed char) {
    if (symbology != syCode39)
        return prNotMine;
    set_counted(name, display_name);

    char illegal[PHARMA_ILLEGAL_SIZE] = "";
    char message[64];
    switch (pharma(text, data, illegal)) {
    case 0: return prAccepted;
    case 1: snprintf(message, sizeof message, "Error - invalid length %d", data[0]); break;
    case 2:
        snprintf(message, sizeof message, "Error - illegal character%s %s", strlen(illegal) >= 2 ? "s" : "",
                 illegal);
        break;
    default: snprintf(message, sizeof message, "Error - value out of range"); break;
    }
    set_message(text, message);
    return prRejected;
}
