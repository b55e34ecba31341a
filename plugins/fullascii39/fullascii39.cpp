// Full ASCII Code 39 plug-in: a shift character ('$', '%', '+', '/') and the
// character after it stand for one ASCII character.
#include "fullascii39.h"

#include <kestrel/plugin.h>

#include "../shared/plugin_text.h"

#include <cstring>

static const char display_name[] = "Full ASCII C39";

static bool is_shift(unsigned char c) { return c == '$' || c == '%' || c == '+' || c == '/'; }

// '%' pairs: A to T in groups of five map onto the ASCII control and
// punctuation columns; U, V and W are NUL, '@' and '`'; the rest DEL.
static unsigned char percent_value(unsigned char d) {
    signed char sd = (signed char)d;
    if (sd <= 'T') {
        signed char t = (signed char)(sd - 65);
        int g = t / 5;
        int r = t - 5 * g;
        return (unsigned char)(32 * (g + 1) + r - 5);
    }
    switch (d) {
    case 'U': return 0x00;
    case 'V': return 0x40;
    case 'W': return 0x60;
    default: return 0x7F;
    }
}

// Value of the pair c, d; byte arithmetic modulo 256.
static unsigned char pair_value(unsigned char c, unsigned char d) {
    switch (c) {
    case '$': return (unsigned char)(d - 64);
    case '+': return (unsigned char)(d + 32);
    case '/': return (unsigned char)(d - 32);
    default: return percent_value(d);
    }
}

int full_ascii(unsigned char *dest, const unsigned char *src) {
    int n = src[0];
    int p = 1;
    int m = 0;
    int result = 0;
    while (p < n) {
        unsigned char c = src[p];
        if (is_shift(c)) {
            dest[++m] = pair_value(c, src[p + 1]);
            result = 1;
            p += 2;
        } else {
            dest[++m] = c;
            p += 1;
        }
    }
    if (p == n) {
        dest[++m] = src[p];
        if (is_shift(src[p]))
            result = -1;
    }
    dest[0] = (unsigned char)m;
    return result;
}

extern "C" int KorvelVerifierPlugIn(int symbology, const unsigned char *data, unsigned char *name,
                                    unsigned char *text, signed char) {
    if (symbology != syCode39)
        return prNotMine;
    int result = full_ascii(text, data);
    if (result == 0)
        return prNotMine;
    set_counted(name, display_name);
    return result;
}
