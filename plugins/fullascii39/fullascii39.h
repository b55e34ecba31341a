/* Full ASCII Code 39 plug-in: expands the shift pairs of Code 39 data. */
#ifndef KESTREL_FULLASCII39_H
#define KESTREL_FULLASCII39_H

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the expansion of src into dest. Returns 0 when no pair was found,
 * 1 when pairs were expanded, -1 when src ends in an unpaired shift. */
int full_ascii(unsigned char *dest, const unsigned char *src);

#ifdef __cplusplus
}
#endif

#endif
