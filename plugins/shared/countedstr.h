/* Helpers that change a counted string in place, in a buffer the caller
 * owns. Characters handed back are bytes read as signed 8-bit values. */
#ifndef KESTREL_COUNTEDSTR_H
#define KESTREL_COUNTEDSTR_H

#ifdef __cplusplus
extern "C" {
#endif

/* Copies the source's length byte and characters to dest; overlap is fine. */
void moverec(unsigned char *dest, const unsigned char *src);
/* Adds c as the last character. */
void appendrec(int c, unsigned char *rec);
/* Adds c as the first character. */
void prependrec(int c, unsigned char *rec);
/* Take off the last or the first character; 0 for an empty string. */
int truncright(unsigned char *rec);
int truncleft(unsigned char *rec);

#ifdef __cplusplus
}
#endif

#endif
