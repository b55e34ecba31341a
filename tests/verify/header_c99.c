/* The engine's header in a strict C99 translation unit: it compiles, and a
 * C program can call the engine through it. */
#include <stdio.h>
#include <stdlib.h>

#include "kestrel/verify.h"

int main(void) {
    static const double flat[4] = {0.5, 0.5, 0.5, 0.5};
    verify_options_t options = {0};
    verify_scan_t *scan = malloc(sizeof *scan);
    int failures = 0;
    if (!scan)
        return 2;
    options.symbologies = VERIFY_MASK(VERIFY_CODE39) | VERIFY_MASK(VERIFY_MSI);
    if (verify_profile(flat, 4, &options, scan) != VERIFY_OK || scan->decoded || scan->grade != 0.0) {
        printf("a flat profile: %s\n", scan->failure);
        failures++;
    }
    if (verify_grade_letter(3.5) != 'A' || verify_symbology_name(VERIFY_MSI)[0] != 'M') {
        printf("names\n");
        failures++;
    }
    free(scan);
    return failures != 0;
}
