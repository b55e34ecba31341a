// Fuzzes ctime_to_time_t, the date reader of calibration lines, in a zone
// with daylight saving time so that mktime's rules are used. Arbitrary text
// must never be read past its end; a well-formed date, built from the input
// as ctime writes it and followed by arbitrary text, must read as a
// reference computes it.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "calibrat/calibrat.h"

namespace {

const char *const day_names[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
// The zone's standard time is one hour ahead of UTC; dates are read as
// standard time whatever the season.
constexpr long standard_offset_s = 3600;

[[noreturn]] void fail(const char *what, const char *text) {
    fprintf(stderr, "ctime_to_time_t: %s: \"%s\"\n", what, text);
    abort();
}

// Arbitrary text: the result points into it, and nothing read means no time.
void check_any_text(const uint8_t *bytes, size_t size) {
    // An exact-size copy, so reading past the terminator is caught.
    char *text = (char *)malloc(size + 1);
    memcpy(text, bytes, size);
    text[size] = '\0';
    const size_t len = strlen(text);
    reader_time when = 12345;
    const char *rest = ctime_to_time_t(&when, text);
    if (rest < text || rest > text + len)
        fail("result points outside the text", text);
    if (rest == text && when != -1)
        fail("a time with nothing read", text);
    free(text);
}

// A well-formed date from the first nine bytes, then a blank and the rest
// as arbitrary text. The reference is timegm of the fields less the zone's
// standard offset (both normalise a day past the month's end alike), and
// -1 outside the 32-bit time range.
void check_well_formed(const uint8_t *bytes, size_t size) {
    struct tm tm = {};
    tm.tm_mon = bytes[2] % 12;
    tm.tm_mday = 1 + bytes[3] % 31;
    tm.tm_hour = bytes[4] % 24;
    tm.tm_min = bytes[5] % 60;
    tm.tm_sec = bytes[6] % 60;
    int year = 1902 + (bytes[7] | bytes[8] << 8) % 200; // 1902 to 2101
    tm.tm_year = year - 1900;

    char text[400];
    int date_len = snprintf(text, sizeof text, "%s %s%3d %.2d:%.2d:%.2d %d ", day_names[bytes[1] % 7],
                            mnames[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, year) -
                   1;
    size_t tail = size - 9 < 200 ? size - 9 : 200;
    memcpy(text + date_len + 1, bytes + 9, tail);
    text[date_len + 1 + tail] = '\0';

    const char *expected_rest = text + date_len;
    while (*expected_rest != '\0' && isspace((unsigned char)*expected_rest))
        expected_rest++;
    long long reference = (long long)timegm(&tm) - standard_offset_s;
    reader_time expected = reference >= INT32_MIN && reference <= INT32_MAX ? (reader_time)reference : -1;

    reader_time when = 12345;
    const char *rest = ctime_to_time_t(&when, text);
    if (rest != expected_rest)
        fail("the date and its blanks were not all read", text);
    if (when != expected) {
        fprintf(stderr, "read %d, reference %d\n", (int)when, (int)expected);
        fail("the date reads differently from the reference", text);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    if (size >= 9 && (bytes[0] & 1))
        check_well_formed(bytes, size);
    else
        check_any_text(bytes, size);
    return 0;
}
