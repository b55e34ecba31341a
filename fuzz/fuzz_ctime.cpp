// Fuzzes ctime_to_time_t, the date reader of calibration lines, on arbitrary
// text, in a zone with daylight saving time so that mktime's rules are used.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "calibrat/calibrat.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    // An exact-size copy, so reading past the terminator is caught.
    char *text = (char *)malloc(size + 1);
    memcpy(text, bytes, size);
    text[size] = '\0';
    const size_t len = strlen(text);

    reader_time when = 12345;
    const char *rest = ctime_to_time_t(&when, text);
    if (rest < text || rest > text + len) {
        fprintf(stderr, "ctime_to_time_t: result points outside the text\n");
        abort();
    }
    // No date read means no time.
    if (rest == text && when != -1) {
        fprintf(stderr, "ctime_to_time_t: time %d with nothing consumed\n", (int)when);
        abort();
    }
    free(text);
    return 0;
}
