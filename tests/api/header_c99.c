/* The host header in a strict C99 translation unit: it compiles, and the
 * layout the compiler gives the record is the documented one. */
#include <stddef.h>
#include <stdio.h>

#include "kestrel/kestrel.h"

static int failures;

static void check(const char *what, size_t got, size_t want) {
    if (got != want) {
        printf("%s: %zu, expected %zu\n", what, got, want);
        failures++;
    }
}

static int status_sink(const char *line) { return line != NULL; }

int main(void) {
    readerinfo_t info;
    statfunc_t s = status_sink;
    check("sizeof(readerinfo_t)", sizeof info, 302);
    check("offsetof(lastcal)", offsetof(readerinfo_t, lastcal), 36);
    check("offsetof(factorycal_user)", offsetof(readerinfo_t, factorycal_user), 44);
    check("RDR_BAD_CHECKSUM", (size_t)-RDR_BAD_CHECKSUM, 104);
    /* The save's codes keep their numbers under both names. */
    check("RDR_CAL_READ", (size_t)-RDR_CAL_READ, 606);
    check("RDR_CAL_SYNC_DIR", (size_t)-RDR_CAL_SYNC_DIR, 607);
    check("RDR_CAL_REMOVE_BACKUP", (size_t)-RDR_CAL_REMOVE_BACKUP, 608);
    check("RDR_CAL_OPEN_TEMP", (size_t)-RDR_CAL_OPEN_TEMP, 606);
    check("RDR_CAL_CLOSE", (size_t)-RDR_CAL_CLOSE, 607);
    check("RDR_CAL_REMOVE_TEMP", (size_t)-RDR_CAL_REMOVE_TEMP, 608);
    (void)s;
    return failures != 0;
}
