/* Plug-in contract: the counted string, the symbology codes, the plug-in
 * results and the entry that every symbology plug-in exports.
 * Compiles as C99 and as C++. */
#ifndef KESTREL_PLUGIN_H
#define KESTREL_PLUGIN_H

/* A counted string: byte 0 holds the length n (0 to 255), bytes 1 to n the
 * characters (ISO 8859-1). No terminator is counted and none need follow.
 * A buffer that receives one is COUNTEDSTR_SIZE bytes. */
#define COUNTEDSTR_SIZE 256
#define COUNTEDSTR_MAX 255
typedef unsigned char countedstr_t[COUNTEDSTR_SIZE];

/* Symbology in which the data was read, with the symbology identifier
 * letter (ISO/IEC 15424, after "]") that the command line maps to it. */
typedef enum symbology_t {
    syNone = -1,   /* any other letter; no plug-in claims it */
    syEANUPC = 0,  /* E: EAN/UPC (ukcoupon) */
    syCode39 = 1,  /* A: Code 39 (pharma_it, fullascii39, cip39) */
    syI2of5 = 2,   /* I: Interleaved 2 of 5 */
    syCodabar = 3, /* F: Codabar */
    syCode128 = 4, /* C: Code 128 */
    syRSS = 5,     /* e: GS1 DataBar (RSS) */
    syMSI = 6,     /* M: MSI (pharma_be) */
    syCode93 = 7   /* G: Code 93 */
} symbology_t;

/* Answer of the entry. */
typedef enum pluginresult_t {
    prRejected = -1, /* this plug-in's format, but invalid */
    prNotMine = 0,   /* not this plug-in's data */
    prAccepted = 1   /* this plug-in's format and valid */
} pluginresult_t;

#ifdef __cplusplus
extern "C" {
#endif

/* The entry: looks at `data` read in `symbology` and answers through the
 * 256-byte buffers `name` (display name) and `text` (interpretation), whose
 * length bytes the caller has set to 0. A non-zero `verbose` asks for the
 * plug-in's diagnostic line on standard output. Returns a pluginresult_t. */
int KorvelVerifierPlugIn(int symbology, const unsigned char *data, unsigned char *name, unsigned char *text,
                         signed char verbose);

/* Type of the entry, for hosts that look it up with dlsym. */
typedef int (*plugin_entry_t)(int symbology, const unsigned char *data, unsigned char *name,
                              unsigned char *text, signed char verbose);

#ifdef __cplusplus
}

/* Stands beside the entry in every plug-in; ignores its arguments and
 * returns 1. Its symbol keeps the C++ type decoration. */
int DllEntryPoint(unsigned long, unsigned long, void *);
#endif

#endif
