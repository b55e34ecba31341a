/* Belgian pharmacode plug-in: seven-digit MSI codes with an MSI modulo-10
 * check digit. */
#ifndef KESTREL_PHARMA_BE_H
#define KESTREL_PHARMA_BE_H

#ifdef __cplusplus
extern "C" {
#endif

/* MSI modulo-10 check digit for the count characters of chars, the last of
 * which is the check digit's place and is not read. Exact for counts up to
 * 35 characters of any value (37 when all are digits). */
int msipharm_mod10(const unsigned char *chars, int count);

#ifdef __cplusplus
}
#endif

#endif
