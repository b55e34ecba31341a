// Counted-string helpers: copy, append, prepend and cut at either end.
// The caller's buffer always has room; no size is checked.
#include "countedstr.h"

#include <cstdint>

void moverec(unsigned char *dest, const unsigned char *src) {
    int n = src[0];
    if (reinterpret_cast<uintptr_t>(src) > reinterpret_cast<uintptr_t>(dest)) {
        for (int k = 0; k <= n; k++)
            dest[k] = src[k];
    } else {
        for (int k = n; k >= 0; k--)
            dest[k] = src[k];
    }
}

void appendrec(int c, unsigned char *rec) {
    rec[0]++;
    rec[rec[0]] = (unsigned char)c;
}

void prependrec(int c, unsigned char *rec) {
    int n = rec[0];
    for (int k = n; k >= 1; k--)
        rec[k + 1] = rec[k];
    rec[1] = (unsigned char)c;
    rec[0] = (unsigned char)(n + 1);
}

int truncright(unsigned char *rec) {
    int n = rec[0];
    if (n == 0)
        return 0;
    rec[0] = (unsigned char)(n - 1);
    return (signed char)rec[n];
}

int truncleft(unsigned char *rec) {
    int n = rec[0];
    if (n == 0)
        return 0;
    signed char taken = (signed char)rec[1];
    for (int k = 2; k <= n; k++)
        rec[k - 1] = rec[k];
    rec[0] = (unsigned char)(n - 1);
    return taken;
}
