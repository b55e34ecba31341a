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

/* Symbology in which the data was read. */
typedef enum symbology_t {
    syNone = -1,
    syEANUPC = 0,
    syCode39 = 1,
    syI2of5 = 2,
    syCodabar = 3,
    syCode128 = 4,
    syRSS = 5,
    syMSI = 6,
    syCode93 = 7
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
int KorvelVerifierPlugIn(int symbology, const unsigned char *data, unsigned char *name,
                         unsigned char *text, signed char verbose);

typedef int (*plugin_entry_t)(int symbology, const unsigned char *data, unsigned char *name,
                              unsigned char *text, signed char verbose);

#ifdef __cplusplus
}

/* Stands beside the entry in every plug-in; ignores its arguments and
 * returns 1. Its symbol keeps the C++ type decoration. */
int DllEntryPoint(unsigned long, unsigned long, void *);
#endif

#endif
