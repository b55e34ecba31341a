/* Verifier engine (libkestrel-verify): decodes a scan reflectance profile
 * and grades it by ISO/IEC 15416, and grades a symbol over several scans.
 * It knows no reader: it takes reflectances (0..1) or 8-bit samples with
 * their calibration. Compiles as C99 and as C++; all names have C linkage.
 * Results are plain structures with fixed-size arrays that the caller owns;
 * the engine keeps nothing between calls and may be called from any number
 * of threads at once. */
#ifndef KESTREL_VERIFY_H
#define KESTREL_VERIFY_H

#include <stddef.h>
#include <stdint.h>

#if defined(KESTREL_VERIFY_BUILDING)
#define VERIFY_API __attribute__((visibility("default")))
#else
#define VERIFY_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Result codes -------------------------------------------------------- */

#define VERIFY_OK 0
#define VERIFY_ERR_ARGUMENT (-1) /* a null pointer where a result or data is needed, or a count below 1 */
#define VERIFY_ERR_PROFILE (-2)  /* a reflectance that is not a finite number */
#define VERIFY_ERR_INTERNAL (-3) /* the engine ran out of memory */

/* ---- Symbologies --------------------------------------------------------
 * The numbers are the plug-ins' symbology codes (kestrel/plugin.h), so a
 * decoded symbol's symbology goes to a plug-in unchanged. */
typedef enum verify_symbology_t {
    VERIFY_NONE = -1,
    VERIFY_EAN_UPC = 0, /* EAN-13, UPC-A, UPC-E as 13 digits ]E0, with an add-on ]E3; EAN-8 ]E4 */
    VERIFY_CODE39 = 1,  /* ]A0, ]A1 check verified, ]A3 check verified and stripped */
    VERIFY_ITF = 2,     /* Interleaved 2 of 5, ITF-14 included: ]I0, ]I1 check verified, ]I3 stripped */
    VERIFY_CODABAR = 3, /* ]F0, start and stop characters kept in the data */
    VERIFY_CODE128 = 4, /* ]C0, ]C1 GS1-128 (FNC1 first), ]C2 FNC1 second */
    VERIFY_DATABAR = 5, /* GS1 DataBar Omnidirectional: ]e0 */
    VERIFY_MSI = 6,     /* ]M0 check digits in the data, ]M1 check digits verified and stripped */
    VERIFY_CODE93 = 7,  /* ]G0 */
    VERIFY_SYMBOLOGIES = 8
} verify_symbology_t;

/* Bit of a symbology in verify_options_t.symbologies. */
#define VERIFY_MASK(symbology) (1u << (symbology))

/* What to do with the optional check character of Code 39, Interleaved 2 of
 * 5 and MSI. */
typedef enum verify_check_t {
    VERIFY_CHECK_NONE = 0,     /* not verified; everything read is data */
    VERIFY_CHECK_TRANSMIT = 1, /* verified (a symbol without a right one fails) and kept in the data */
    VERIFY_CHECK_STRIP = 2     /* verified and taken out of the data */
} verify_check_t;

/* MSI check-digit schemes, used when check is not VERIFY_CHECK_NONE. A
 * modulo-11 check of 10 is written as the two digits "10". */
typedef enum verify_msi_check_t {
    VERIFY_MSI_MOD10 = 0,       /* modulo 10 (Luhn) */
    VERIFY_MSI_MOD10_MOD10 = 1, /* modulo 10, then modulo 10 over data and first check */
    VERIFY_MSI_MOD11 = 2,       /* modulo 11, weights 2 to 7 from the right */
    VERIFY_MSI_MOD11_MOD10 = 3, /* modulo 11 (2 to 7), then modulo 10 */
    VERIFY_MSI_MOD11_NCR = 4,   /* modulo 11, weights 2 to 9 from the right */
    VERIFY_MSI_MOD11_NCR_MOD10 = 5
} verify_msi_check_t;

#define VERIFY_WHITE_LIGHT (-1)

/* Options. All zeros (or a null pointer) are the defaults: every
 * symbology, no check character verified, the aperture chosen from the
 * X-dimension, the wavelength unknown. */
typedef struct verify_options_t {
    unsigned symbologies; /* VERIFY_MASK bits of the symbologies tried; 0 = all of them */
    int check;            /* verify_check_t */
    int msi_check;        /* verify_msi_check_t */
    /* For the symbol grade's notation grade/aperture/wavelength: */
    int aperture;         /* aperture reference number (its diameter in mils: 3, 5, 6, 10, 20...); 0 = by X */
    double mm_per_sample; /* distance between two samples on the symbol in mm (from the reader's
                           * resolution, where the host knows its unit); 0 = unknown */
    int wavelength; /* light in nm (the reader's record); VERIFY_WHITE_LIGHT "W"; 0 or 65535 unknown "?" */
} verify_options_t;

/* ---- Parameters and grades ----------------------------------------------
 * Grades run from 0.0 to 4.0 with one decimal. SC, MOD, Defects and
 * Decodability are interpolated between their thresholds; Decode, Rmin,
 * ECmin and the quiet zones are 4.0 or 0.0. Letters: A from 3.5, B from 2.5,
 * C from 1.5, D from 0.5, else F. */
typedef enum verify_parameter_t {
    VERIFY_P_DECODE = 0,       /* value 1 decoded, 0 not */
    VERIFY_P_RMIN = 1,         /* lowest reflectance; passes at or below half of Rmax */
    VERIFY_P_SC = 2,           /* symbol contrast Rmax - Rmin */
    VERIFY_P_ECMIN = 3,        /* smallest Rs - Rb of adjoining elements, quiet zones included */
    VERIFY_P_MOD = 4,          /* modulation ECmin / SC */
    VERIFY_P_DEFECTS = 5,      /* ERNmax / SC */
    VERIFY_P_DECODABILITY = 6, /* V of the symbology's reference decode; 0 when it does not decode */
    VERIFY_P_QUIET_ZONE = 7,   /* smaller of measured/required quiet zone of the two sides; 0 undecoded */
    VERIFY_PARAMETERS = 8
} verify_parameter_t;

typedef struct verify_param_t {
    double value;
    double grade; /* 0.0 to 4.0, one decimal */
    char letter;  /* 'A' to 'F' */
} verify_param_t;

/* ---- One scan ----------------------------------------------------------- */

#define VERIFY_MAX_ELEMENTS 2048 /* elements kept in a scan's result */
#define VERIFY_SYMBOL_SIZE 512   /* identifier, data and a terminating NUL */
#define VERIFY_TEXT_SIZE 160     /* failure reasons */

/* A bar or a space. Positions are in samples, sample i centred on i; an
 * edge lies where the profile crosses the midpoint between the adjoining
 * space's and bar's reflectance. The outer elements reach the profile's
 * ends (-0.5 and count - 0.5). */
typedef struct verify_element_t {
    double start, end;
    double reflectance; /* Rs of a space (its highest), Rb of a bar (its lowest) */
    double ern;         /* element reflectance non-uniformity */
    int bar;            /* 1 bar, 0 space */
} verify_element_t;

typedef struct verify_scan_t {
    double grade; /* scan grade: the lowest parameter grade */
    char letter;
    verify_param_t param[VERIFY_PARAMETERS];
    double rmax;
    double gt; /* global threshold Rmin + SC/2, which tells bars from spaces */

    int decoded;
    int symbology; /* verify_symbology_t; VERIFY_NONE when nothing decoded */
    int reversed;  /* 1 when the symbol was read from the profile's end to its start */
    /* The decoded symbol as the plug-ins take it: "]", the identifier
     * letter, the modifier and the data, NUL-terminated; data may hold NUL
     * bytes (Code 128), so symbol_length counts the bytes. */
    char symbol[VERIFY_SYMBOL_SIZE];
    int symbol_length;
    double module; /* X-dimension in samples; 0 when nothing decoded */
    /* Indices in element[] of the symbol's first and last bar (in profile
     * order), -1 when nothing decoded. The quiet zones are the spaces just
     * outside them: their extents (profile order, 0 left, 1 right) and the
     * least widths the symbology asks there, in samples. */
    int symbol_first, symbol_last;
    double quiet_start[2], quiet_end[2], quiet_required[2];

    int element_total; /* elements in the profile */
    int element_count; /* of which the first element_count are kept here */
    verify_element_t element[VERIFY_MAX_ELEMENTS];

    char failure[VERIFY_TEXT_SIZE]; /* why it did not decode; "" when it did */
} verify_scan_t;

/* Grades a profile of reflectances (values limited to 0..1). Fills *scan
 * and returns VERIFY_OK, also for a profile without a symbol (grade 0 and a
 * failure reason); an error code for bad arguments (with *scan, when given,
 * graded 0 with the reason). */
VERIFY_API int verify_profile(const double *reflectance, size_t count, const verify_options_t *options,
                              verify_scan_t *scan);

/* The same on 8-bit samples through a calibration: sample s stands for the
 * raw reading 256*s, its reflectance is (256*s - calmin) / (calmax - calmin)
 * limited to 0..1 (as kestrel.h documents for the reader's record); with
 * calmax equal to calmin a reading at or above it is 1, below it 0. */
VERIFY_API int verify_samples(const uint8_t *samples, size_t count, unsigned calmin, unsigned calmax,
                              const verify_options_t *options, verify_scan_t *scan);

/* ---- A symbol over several scans ----------------------------------------- */

#define VERIFY_NOTATION_SIZE 32

typedef struct verify_symbol_t {
    int scans;         /* scans graded */
    int decoded_scans; /* of which decoded */
    int consistent;    /* 1 when every decoded scan gave the same symbol */
    double grade;      /* mean of the scan grades to one decimal; 0 when the scans disagree */
    char letter;
    verify_param_t mean[VERIFY_PARAMETERS]; /* each parameter's mean value and mean grade */
    int symbology;                          /* of the first decoded scan, VERIFY_NONE without one */
    char symbol[VERIFY_SYMBOL_SIZE];        /* the first decoded scan's symbol */
    int symbol_length;
    double module; /* mean X-dimension of the decoded scans, in samples */
    double x_mm;   /* the same in mm; 0 when mm_per_sample is unknown */
    int aperture;  /* aperture reference number used in the notation */
    /* grade/aperture/wavelength, e.g. "2.8/06/660" */
    char notation[VERIFY_NOTATION_SIZE];
    char failure[VERIFY_TEXT_SIZE]; /* why the symbol fails as a whole; "" otherwise */
} verify_symbol_t;

/* The overall symbol grade of `count` graded scans of one symbol: the mean
 * of their scan grades with its letter, each parameter's mean, and the
 * notation. Scans that decode to different data fail the symbol (grade 0).
 * VERIFY_OK, or VERIFY_ERR_ARGUMENT for a null pointer or a count below 1
 * (with *symbol, when given, graded 0 with the reason). */
VERIFY_API int verify_symbol(const verify_scan_t *scans, int count, const verify_options_t *options,
                             verify_symbol_t *symbol);

/* ---- Names ----------------------------------------------------------------- */

/* "Code 39", "EAN/UPC"...; "none" for VERIFY_NONE and unknown numbers. */
VERIFY_API const char *verify_symbology_name(int symbology);
/* "Decode", "Rmin", "Symbol contrast"...; "" for unknown numbers. */
VERIFY_API const char *verify_parameter_name(int parameter);
/* The letter of a grade (0.0 to 4.0). */
VERIFY_API char verify_grade_letter(double grade);
/* The engine's version, e.g. "1.0.0". */
VERIFY_API const char *verify_version(void);

#ifdef __cplusplus
}
#endif

#endif
