// UK coupon plug-in: "99" EAN/UPC numbers shown as two digit groups, the
// value behind a pound sign (byte 0xA3) and any characters after the 14th.
#include "ukcoupon.h"

#include "../shared/countedstr.h"

#include <kestrel/plugin.h>

#include "../shared/plugin_text.h"

#include <cstring>

static const char display_name[] = "UK Coupon Code";
static const unsigned char pound_sign = 0xA3;
// Longer data would not fit its layout into 255 characters.
static const int longest_coupon = 127;

static int is_UKcoupon(const unsigned char *data) {
    return data[0] >= 13 && data[0] <= longest_coupon && data[1] == '9' && data[2] == '9';
}

// 1 when the value field sorts before "999", which is shown with a '+'.
static int poundvalue(const unsigned char *value) {
    return strncmp(reinterpret_cast<const char *>(value), "999", 3) < 0;
}

// Copies count data characters from position first onward to the end of text.
static void copy_chars(unsigned char *text, const unsigned char *data, int first, int count) {
    memcpy(text + text[0] + 1, data + first, (size_t)count);
    text[0] = (unsigned char)(text[0] + count);
}

int UKform(unsigned char *text, const unsigned char *data) {
    if (!is_UKcoupon(data))
        return 1;
    text[0] = 0;
    copy_chars(text, data, 3, 4);
    appendrec(' ', text);
    copy_chars(text, data, 7, 3);
    appendrec(' ', text);
    appendrec(pound_sign, text);
    copy_chars(text, data, 10, 1);
    appendrec('.', text);
    copy_chars(text, data, 11, 2);
    if (poundvalue(data + 10)) {
        appendrec(' ', text);
    } else {
        text[text[0] + 1] = '+';
        text[text[0] + 2] = ' ';
        text[0] = (unsigned char)(text[0] + 2);
    }

    int n = data[0];
    if (n > 13) {
        appendrec(' ', text);
        copy_chars(text, data, 15, n - 14);
    }
    return 0;
}

extern "C" int KorvelVerifierPlugIn(int symbology, const unsigned char *data, unsigned char *name,
                                    unsigned char *text, signed char) {
    if (symbology != syEANUPC)
        return prNotMine;
    if (UKform(text, data) != 0)
        return prNotMine;
    set_counted(name, display_name);
    return prAccepted;
}
