/* Host API of libkestrel: reader ids, result codes, the reader information
 * record, callbacks and every exported function and data object.
 * Compiles as C99 and as C++. All names have C linkage. */
#ifndef KESTREL_KESTREL_H
#define KESTREL_KESTREL_H

#include <stddef.h>
#include <stdint.h>

#if defined(KESTREL_BUILDING_LIBRARY)
#define KESTREL_API __attribute__((visibility("default")))
#else
#define KESTREL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Field types ------------------------------------------------------ */

typedef uint16_t reader_uint; /* 16-bit unsigned */
typedef int32_t reader_long;  /* 32-bit signed */
/* Seconds since 1970-01-01 UTC, 32-bit signed on every platform; -1 means
 * that no time is known. */
typedef int32_t reader_time;

/* Kind of reader. Stored in 32 bits. */
typedef enum readertype_t {
    rtUnknown = 0,
    rtWand = 1,
    rtCCD = 2,
    rtLaser = 3,
    rtForceIntegerEnum = 0x7FFFFFFF
} readertype_t;

/* What drives the scan. Stored in 32 bits. */
typedef enum motivepower_t {
    mpUnknown = 0,
    mpHand = 1,
    mpHandClocked = 2,
    mpClocked = 3,
    mpMotor = 4,
    mpForceIntegerEnum = 0x7FFFFFFF
} motivepower_t;

/* ---- Reader information record ----------------------------------------
 * The reader's identity and calibration. The host reads it byte for byte,
 * so the layout is fixed: packed on 2-byte boundaries, 302 bytes, the last
 * byte spare. */
#pragma pack(push, 2)
typedef struct readerinfo_t {
    reader_uint SerialNumber;    /*   0 serial number */
    reader_uint FirmwareVers;    /*   2 firmware version */
    reader_uint ProgChecksum;    /*   4 program checksum as reported */
    reader_uint BootCheckSum;    /*   6 boot code checksum as reported */
    reader_uint Resolution;      /*   8 resolution, after firmware corrections */
    reader_uint Wavelength;      /*  10 light wavelength in nm; 65535 after activation with flag 16 */
    reader_long SizeOfSample;    /*  12 sample size (short or long form) */
    reader_uint NumOfSamples;    /*  16 number of samples */
    readertype_t ReaderType;     /*  18 kind of reader, stored as reported */
    motivepower_t MotivePower;   /*  22 scan drive, stored as reported */
    reader_uint calmin;          /*  26 raw reading for true reflectance 0 */
    reader_uint calmax;          /*  28 raw reading for full reflectance 1.0 */
    reader_uint admin;           /*  30 bottom of the uncalibrated raw range */
    reader_uint admax;           /*  32 top of the uncalibrated raw range */
    reader_uint givenz;          /*  34 kept for the host */
    reader_time lastcal;         /*  36 time of the last calibration, -1 if unknown */
    reader_time factorycal_when; /*  40 factory calibration time; never written by the library */
    char factorycal_user[257];   /*  44 who made the factory calibration; never written by the library */
} readerinfo_t;
#pragma pack(pop)

/* Layout checks; the typedef form works in C99 as well as in C++. */
#ifdef __cplusplus
#define KESTREL_LAYOUT_CHECK(cond, name) static_assert(cond, #name)
#else
#define KESTREL_LAYOUT_CHECK(cond, name) typedef char kestrel_check_##name[(cond) ? 1 : -1]
#endif
KESTREL_LAYOUT_CHECK(sizeof(readerinfo_t) == 302, size);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, SerialNumber) == 0, SerialNumber);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, FirmwareVers) == 2, FirmwareVers);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, ProgChecksum) == 4, ProgChecksum);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, BootCheckSum) == 6, BootCheckSum);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, Resolution) == 8, Resolution);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, Wavelength) == 10, Wavelength);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, SizeOfSample) == 12, SizeOfSample);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, NumOfSamples) == 16, NumOfSamples);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, ReaderType) == 18, ReaderType);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, MotivePower) == 22, MotivePower);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, calmin) == 26, calmin);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, calmax) == 28, calmax);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, admin) == 30, admin);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, admax) == 32, admax);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, givenz) == 34, givenz);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, lastcal) == 36, lastcal);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, factorycal_when) == 40, factorycal_when);
KESTREL_LAYOUT_CHECK(offsetof(readerinfo_t, factorycal_user) == 44, factorycal_user);
KESTREL_LAYOUT_CHECK(sizeof(readertype_t) == 4 && sizeof(motivepower_t) == 4, enum_width);
KESTREL_LAYOUT_CHECK(sizeof(reader_time) == 4, time_width);

/* ---- Reader ids ---------------------------------------------------------
 * Bits 8..15 name the connection class, bits 0..7 the reader's index in it.
 * USB serial readers are 0x100..0x103. */
#define READER_NONE (-1)
#define READER_CLASS_USB 0x100
#define READER_CLASS_MASK (~0xFF)
#define READER_INDEX_MASK 0xFF

/* Bit of the activation flags: activate without sending the start command. */
#define READER_FLAG_NOSTART 16

/* ---- Result codes --------------------------------------------------------- */
enum {
    RDR_OK = 0,
    RDR_UNSUPPORTED = -1,     /* not supported on this connection; statprintf without callback */
    RDR_NOT_DRIVEN = -100,    /* activation of a connection class that is not driven */
    RDR_NO_READER = -101,     /* no reader active, or the class has no such operation */
    RDR_NONE_FOUND = -102,    /* reader_find found no reader */
    RDR_NO_RECORD = -103,     /* no current reader, or no record given */
    RDR_BAD_CHECKSUM = -104,  /* information reply checksum mismatch */
    RDR_READ_FAILED = -201,   /* reading the port failed (about a second of silence) */
    RDR_TIMEOUT = -207,       /* deadline of a timed read passed */
    RDR_WRITE_INFOREQ = -401, /* writing the information request failed */
    RDR_WRITE_START = -402,   /* writing the start command failed */
    /* Calibration save: the file is rebuilt in a synced temporary file beside
     * it and renamed over it; on any code but -607 the calibration file keeps
     * its previous complete content and the temporary file is removed. Saves
     * from several processes take turns under a lock on the directory.
     * Where the directory cannot be written but the file can, the file is
     * rewritten in place instead, with no backup; a failure while writing it
     * (-604) may leave it damaged. */
    RDR_CAL_TEMPFILE = -600,      /* no temporary file in the calibration file's directory, and the
                                     file cannot be rewritten in place */
    RDR_CAL_WRITE_CALIB = -601,   /* writing the calibration line failed */
    RDR_CAL_WRITE_READER = -602,  /* writing the reader line or copied lines failed */
    RDR_CAL_REPLACE = -603,       /* no file name, a name or backup path over 1023 characters, the
                                     backup's own name, or the rename over the file failed */
    RDR_CAL_COPY = -604,          /* the backup could be neither linked, copied nor moved; or the
                                     in-place rewrite found no room or could not be written */
    RDR_CAL_CLOSE_TEMP = -605,    /* flushing, syncing or closing the temporary file failed */
    RDR_CAL_READ = -606,          /* the calibration file's name is not a regular file, or reading
                                     it failed (a file the process may not open for reading is no
                                     error: it becomes the backup) */
    RDR_CAL_SYNC_DIR = -607,      /* syncing the directory after the rename, or the file rewritten
                                     in place, failed: the file holds the new content, which may
                                     not survive a power cut */
    RDR_CAL_REMOVE_BACKUP = -608, /* removing the old backup failed */
    /* Earlier names of -606, -607 and -608, kept for hosts written with them. */
    RDR_CAL_OPEN_TEMP = RDR_CAL_READ,
    RDR_CAL_CLOSE = RDR_CAL_SYNC_DIR,
    RDR_CAL_REMOVE_TEMP = RDR_CAL_REMOVE_BACKUP,
    RDR_NO_CALIBRATION = -610, /* no calibration for the reader in the calibration file */
    RDR_NOT_AVAILABLE = -700,  /* operation not available on this connection class */
    RDR_REENTERED = -999,      /* reader_poll re-entered; zero-length information reply */
    RDR_EX_UNAVAILABLE = 69,   /* no device path for the reader's index */
    RDR_EX_IOERR = 74          /* opening or configuring the reader's port failed */
};

/* ---- Callbacks -------------------------------------------------------------- */

/* Status line, indentation included. Its result is passed back by statprintf. */
typedef int (*statfunc_t)(const char *line);
/* A reader found by discovery; pointers are valid only during the call.
 * Nonzero stops the enumeration. */
typedef int (*rdrfound_t)(int id, const char *portname, const readerinfo_t *info);
/* Scan data: count > 0 samples in buf; 0 end of scan; -1 poll read failed
 * (buf null); -2 scan transfer failed. */
typedef int (*callback_t)(unsigned char *buf, int count);

/* ---- Exported data ------------------------------------------------------------
 * usb_info: one record per reader index of the USB serial class, zero at load;
 *   activation decodes the reader's reply into its entry.
 * ser_info: a second table of the same shape, zero at load, never used by the library.
 * current_info: the active reader's record (an entry of usb_info), or null. */
KESTREL_API extern readerinfo_t usb_info[256];
KESTREL_API extern readerinfo_t ser_info[256];
KESTREL_API extern readerinfo_t *current_info;

/* ---- Status text and scan delivery ----------------------------------------------- */

/* Formats a status line (printf-style) behind `level` spaces and hands it to
 * `showstat`. A line longer than 255 characters is cut there. Returns the
 * callback's result, or -1 (RDR_UNSUPPORTED) when `showstat` is null. */
KESTREL_API int statprintf(statfunc_t showstat, int level, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
/* Hands `count` and `buf` to the scan-data callback stored by reader_start.
 * Returns the callback's result, or 0 when none is stored. */
KESTREL_API int reader_digitise(unsigned char *buf, int count);

/* ---- Information record ------------------------------------------------------------ */

/* Copies the current record (302 bytes) into *infoptr. 0, or -103 when no
 * reader is current or infoptr is null; the caller's record is then untouched. */
KESTREL_API int reader_info(readerinfo_t *infoptr);
/* Resets every field but factorycal_when and factorycal_user to the cleared
 * values (checksums 0xFFFF, calmax and admax 0xFF00, lastcal -1, the rest 0).
 * 0, or -103 when info is null. */
KESTREL_API int reader_clear(readerinfo_t *info);
/* Verifies the 32-byte information reply in buf and decodes it into *info
 * (cleared first; firmware rules for the long sample size and resolution).
 * 0; -104 on a checksum mismatch (the record stays cleared); -103 when info
 * or buf is null. */
KESTREL_API int translate_readerinfo(readerinfo_t *info, const unsigned char *buf);

/* ---- Control API ---------------------------------------------------------------------
 * Calling order: reader_enumerate then reader_activate with a reported id,
 * or reader_find; then reader_start; then reader_poll repeatedly; reader_stop
 * at the end. All calls from one thread; callbacks run inside these calls. */

/* Lists readers through discovery, reporting each to rdrfound (may be null).
 * inifile and force are accepted and unused. Returns the number found (0..4). */
KESTREL_API int reader_enumerate(statfunc_t showstat, rdrfound_t rdrfound, const char *inifile, int force);
/* Discovers readers, picks one (the first reported with a record) and
 * activates it. The activation's result, or -102 when no reader was found. */
KESTREL_API int reader_find(statfunc_t showstat, const char *calfile, const char *inifile, int flags);
/* Stops any active reader, activates reader `id` and loads its calibration
 * from calfile (a missing calibration is not an error). flags & 16
 * (READER_FLAG_NOSTART) activates without the start command. 0; -1 (class 0x200), -700 (class 0x300), -100
 * (any other class), or the USB activation's code: 69 no device path, 74 the
 * port cannot be opened or configured, -401, -201, -207, -999, -104, -402. */
KESTREL_API int reader_activate(statfunc_t showstat, const char *calfile, const char *inifile, int id,
                                int flags);
/* Stores the scan-data callback (also with no reader active) and starts the
 * reader. 0, or -101 with no active reader. */
KESTREL_API int reader_start(callback_t callback);
/* Reads at most one byte from the reader and returns at once; a scan
 * announcement fetches the scan and delivers it to the callback (2048 samples,
 * then count 0; -2 for a failed fetch; a null buffer and -1 for a failed read
 * or a hung-up line). 0; -101 with no active reader; -999 when called from
 * inside a callback of another reader_poll. */
KESTREL_API int reader_poll(void);
/* Fetches a scan now, without an announcement, delivered as in reader_poll.
 * 0 (also when the transfer failed), or -101 with no active reader. */
KESTREL_API int reader_getscan(void);
/* Not supported by USB readers: -1; -101 with no active reader. */
KESTREL_API int reader_getscan8bits(void);
/* Not supported by USB readers: -1; -101 with no active reader. */
KESTREL_API int reader_turboboost(int on);
/* Sends the stop command, clears the current record and forgets the reader.
 * 0, or -101 when no reader was active (a leftover record is still cleared). */
KESTREL_API int reader_stop(void);
/* The selection callback reader_find uses: 1 to take the reader (the first
 * reported with a record), 0 to go on. */
KESTREL_API int dummy_readerfound_func(int id, const char *portname, const readerinfo_t *info);

/* ---- Serial transport -----------------------------------------------------------------
 * One channel per process, to the device of a reader index (0..3) that
 * discovery recorded. The line is 115200 bit/s, raw 8-bit, RTS/CTS. While the
 * channel is open the device is this process's alone (an advisory lock on it
 * and TIOCEXCL); the descriptor is not inherited by programs the host starts.
 * Silences and deadlines run on the monotonic clock, so signals do not
 * shorten them. */

/* Closes any open channel, opens the device of slot devnum and drains its
 * input (about a second of quiet; bounded on a line that never stops).
 * 0; 69 when the slot is out of range or empty; 74 when the device cannot be
 * opened or configured, or another process holds it (nothing is sent then
 * and the line's settings are not touched). */
KESTREL_API int reader_usb_open(int devnum);
/* Restores the line settings found at open and closes the channel, which
 * frees the device for other processes. 0. */
KESTREL_API int reader_usb_close(void);
/* Reads exactly num bytes, polling every millisecond. num; or a negative
 * value after about a second without input, when bytes keep trickling in
 * but num are not in after 10 s, or with no open channel. */
KESTREL_API int usb_read(unsigned char *buf, int num);
/* Writes num bytes with one write. The count written, or -1. */
KESTREL_API int usb_write(const unsigned char *buf, int num);
/* Discards input until the line has been quiet for about a second, or for
 * at most 10 s on a line that never pauses. 0. */
KESTREL_API int usb_flush(void);
/* Receives minlen to maxlen bytes; tics (hundredths of a second, elapsed
 * time; 0 or less for none) bounds the time between reads. The count; -201
 * when a read fails (a second of silence); -207 when the deadline passed. */
KESTREL_API int usb_getbytes(unsigned char *bytes, int minlen, int maxlen, int tics);

/* ---- Serial-device listing and discovery -------------------------------------------------- */

/* Replaces the system's serial-device listing with count devices, in order:
 * TTY names (a null entry: no name) and paths to open (a null entry: no
 * path), copied. At most 16 devices, names up to 127 characters, paths up to
 * 1023. count 0 restores the system listing. 0, or -1 for a negative count,
 * a count above 16, null arrays with a positive count or a text too long
 * (nothing changed then). */
KESTREL_API int serial_registry_set(const char *const *ttynames, const char *const *paths, int count);
/* Probes every listed device whose TTY name begins with "usbserial-0000" (or
 * that has no name) with the information request, and reports each reader
 * that answers to rdrfound (may be null; nonzero stops). Readers get ids
 * 0x100 + index. A device that another process holds is skipped with the
 * status line "<path> is in use by another process". Returns the number
 * recorded, 0 to 4. */
KESTREL_API int usb_enumerate(statfunc_t showstat, rdrfound_t rdrfound);

/* ---- USB serial connection --------------------------------------------------------------
 * What reader_activate and the other control calls run for class 0x100. */

/* Opens reader index ind, requests and verifies its record into usb_info[ind],
 * makes it current and sends the start command (not with flag 16, which sets
 * Wavelength to 65535 instead). 0; 69; 74; -401 request not written; -201 or
 * -207 no complete reply; -999 an empty reply; -104 bad checksum
 * (current_info unchanged); -402 start command not written. */
KESTREL_API int usb_activate(statfunc_t showstat, int ind, int flags);
/* Nothing to send: 0. */
KESTREL_API int usb_start(void);
/* One poll step, as reader_poll. 0. */
KESTREL_API int usb_poll(void);
/* Requests and delivers a scan, as reader_getscan. 0. */
KESTREL_API int usb_getscan(void);
/* Sends the stop command; the channel stays open. 0. */
KESTREL_API int usb_stop(void);
/* Not supported: -1, nothing sent. */
KESTREL_API int usb_turboboost(int on);
/* Not supported: -1, nothing sent. */
KESTREL_API int usb_getscan8bits(void);

/* ---- Calibration ----------------------------------------------------------------------------
 * calmin and calmax are the raw readings for true reflectance 0 and 1. A
 * sample s of a scan stands for the raw reading 256*s, so its reflectance is
 * (256*s - calmin) / (calmax - calmin), limited to 0..1. */

/* Fits the line through (rawmin, actualmin) and (rawmax, actualmax) in single
 * precision, stores calmin, calmax (limited to 0..65535) and lastcal = when in
 * *info, then saves the calibration to filename with extra as a comment.
 * The saving's result: 0 or -600..-608; the record keeps the new values. */
KESTREL_API int do_calibrate(unsigned int rawmin, unsigned int rawmax, float actualmin, float actualmax,
                             const char *filename, reader_time when, const char *extra, readerinfo_t *info);
/* Drops the calibration: calmin = admin, calmax = admax; lastcal stays. 0. */
KESTREL_API int clear_calibration(readerinfo_t *info);
/* do_calibrate on the current record; -103 when no reader is current. */
KESTREL_API int reader_calib(unsigned int rmin, unsigned int rmax, float amin, float amax, const char *file,
                             reader_time when, const char *extra);
/* clear_calibration on the current record; the file is not touched. 0, or -103. */
KESTREL_API int reader_uncal(void);
/* Reloads the current reader's calibration from calfile: load_calibration's
 * result, or -103 when no reader is current. */
KESTREL_API int reader_recal(const char *calfile);
/* Finds the newest calibration of the reader (SerialNumber and Wavelength of
 * *info) in the calibration file and stores calmin, calmax and lastcal.
 * 0; -610 when there is none or the file cannot be read (the record is then
 * uncalibrated, lastcal unchanged); -103 when info is null. */
KESTREL_API int load_calibration(const char *filename, readerinfo_t *info);

#ifdef __cplusplus
}
#endif

#endif /* KESTREL_KESTREL_H */
