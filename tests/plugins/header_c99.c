/* The plug-in headers compile as strict C99: this file includes them and
 * hands their constants to the C++ tests. */
#include <kestrel/plugin.h>
#include <shared/countedstr.h>

#include "header_c99.h"

int header_c99_values(int *values, int count) {
    const int all[] = {COUNTEDSTR_SIZE, COUNTEDSTR_MAX, (int)sizeof(countedstr_t),
                       syNone,          syEANUPC,       syCode39,
                       syI2of5,         syCodabar,      syCode128,
                       syRSS,           syMSI,          syCode93,
                       prRejected,      prNotMine,      prAccepted};
    plugin_entry_t entry = 0;
    int n = (int)(sizeof all / sizeof all[0]);
    int k;
    for (k = 0; k < n && k < count; k++)
        values[k] = all[k];
    return entry == 0 ? n : -1;
}
