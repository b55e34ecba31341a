/* Italian pharmacode plug-in: six base-32 Code 39 characters that spell a
 * nine-digit number, answered as the nine digits and a check character. */
#ifndef KESTREL_PHARMA_IT_H
#define KESTREL_PHARMA_IT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Each distinct illegal character once, in order of first occurrence. */
#define PHARMA_ILLEGAL_SIZE 7

/* 0: text holds the number; 1: length is not 6; 2: illegal characters;
 * 3: the number has ten digits. */
int pharma(unsigned char *text, const unsigned char *data, char *illegal);
/* Value of six base-32 characters, most significant first. */
uint32_t from32_to10(const unsigned char *chars, char *illegal);
/* Value of c in the base-32 alphabet, or -1. */
int lookup32(int c);
/* Writes nine digits and the check character as a counted string. */
void expand_10(unsigned char *text, uint32_t number);
/* Check character over digits 2 to 9 of the result text. */
int pharma_cd(const unsigned char *text);

#ifdef __cplusplus
}
#endif

#endif
