// Small helpers every plug-in uses. They have internal linkage, so a plug-in
// that includes this header exports nothing more than its entry.
#pragma once

#include <kestrel/plugin.h>

#include <cstring>

// Makes the 256-byte counted string `out` hold `text` (its first 255
// characters), followed by a terminator where one fits, so that a host that
// reads the name as a C string after the length byte finds its end.
static inline void set_counted(unsigned char *out, const char *text) {
    size_t length = strlen(text);
    if (length > COUNTEDSTR_MAX)
        length = COUNTEDSTR_MAX;
    memcpy(out + 1, text, length);
    if (length < COUNTEDSTR_MAX)
        out[length + 1] = '\0';
    out[0] = (unsigned char)length;
}

static inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
