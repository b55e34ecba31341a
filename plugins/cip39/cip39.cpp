// CIP39 plug-in: Code 39 data of six digits and a modulo-11 check digit,
// answered with the verdict in the display name and a French diagnostic
// sentence (ISO 8859-1).
#include <kestrel/plugin.h>

#include "../shared/plugin_text.h"

#include <cstdio>
#include <cstring>

static const char name_ok[] = "CIP39 - OK";
static const char name_error[] = "CIP39 - Erreur";

extern "C" int KorvelVerifierPlugIn(int symbology, const unsigned char *data, unsigned char *name,
                                    unsigned char *text, signed char verbose) {
    int n = data[0];
    if (symbology != syCode39 || (n != 6 && n != 7))
        return prNotMine;
    const unsigned char *chars = data + 1;
    for (int k = 0; k < n; k++) {
        if (!is_digit(chars[k])) {
            name[0] = 0;
            return prRejected;
        }
    }

    int sum = 0;
    for (int k = 0; k < 6; k++)
        sum += (k + 2) * (chars[k] - '0');
    int expected = sum % 11;

    memcpy(text + 1, chars, 6);
    text[0] = 6;
    if (n == 7) {
        memcpy(text + 7, " - ", 3);
        text[10] = chars[6];
        text[0] = 10;
    }
    int read = n == 7 ? chars[6] - '0' : 10;

    // The sentence is ISO 8859-1: "Contr\xF4le" is "Contrôle". A check
    // value that differs from the one expected is followed by the latter.
    char sentence[256];
    int used = snprintf(sentence, sizeof sentence, "CIP39 :%.*s. Chiffre de Contr\xF4le %d", text[0],
                        (const char *)text + 1, read);
    bool valid = n == 7 && read == expected;
    if (n == 7 && !valid)
        snprintf(sentence + used, sizeof sentence - (size_t)used, " (pas %d)", expected);
    const char *display = valid ? name_ok : name_error;

    if (verbose)
        printf("%s,%s\n", display, sentence);
    set_counted(name, display);
    return valid ? prAccepted : prRejected;
}
