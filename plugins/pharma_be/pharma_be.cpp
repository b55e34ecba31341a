// Belgian pharmacode plug-in: MSI data of six digits and a check digit,
// shown as "dddd-ddd" and explained in a diagnostic sentence.
#include "pharma_be.h"

#include <kestrel/plugin.h>

#include "../shared/plugin_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

static const char display_name[] = "'Belgian' Pharma code";

// A character's value is its byte, taken as signed, less '0'.
static int value_of(unsigned char c) { return (signed char)c - '0'; }

int msipharm_mod10(const unsigned char *chars, int count) {
    // The last data character and every second one before it form a number
    // that is doubled; the digits of the double are summed.
    int64_t number = 0;
    for (int k = count % 2; k < count - 1; k += 2)
        number = number * 10 + value_of(chars[k]);
    number *= 2;
    int64_t sum = 0;
    while (number != 0) {
        sum += number % 10;
        number /= 10;
    }
    for (int k = 1 - count % 2; k < count - 1; k += 2)
        sum += value_of(chars[k]);
    int check = 10 - (int)(sum % 10);
    return check == 10 ? 0 : check;
}

extern "C" int KorvelVerifierPlugIn(int symbology, const unsigned char *data, unsigned char *name,
                                    unsigned char *text, signed char verbose) {
    if (symbology != syMSI || data[0] != 7)
        return prNotMine;
    const unsigned char *chars = data + 1;

    set_counted(name, display_name);
    memcpy(text + 1, chars, 4);
    text[5] = '-';
    memcpy(text + 6, chars + 4, 3);
    text[0] = 8;

    char sentence[256];
    size_t used = (size_t)snprintf(sentence, sizeof sentence, "%.8s: ", (const char *)text + 1);
    int verdict = prAccepted;
    for (int k = 0; k < 7; k++) {
        if (!is_digit(chars[k])) {
            used += (size_t)snprintf(sentence + used, sizeof sentence - used, "Illegal character: %c. ",
                                     chars[k]);
            verdict = prRejected;
            break;
        }
    }
    int read = value_of(chars[6]);
    int expected = msipharm_mod10(chars, 7);
    if (read != expected) {
        used += (size_t)snprintf(sentence + used, sizeof sentence - used,
                                 "Check digit error: read %d, expected %d.", read, expected);
        verdict = prRejected;
    }
    if (verdict == prAccepted)
        snprintf(sentence + used, sizeof sentence - used, "OK!");

    if (verbose)
        printf("%s,%s\n", display_name, sentence);
    return verdict;
}
