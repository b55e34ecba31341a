// The calibration file: a new calibration goes on top of the readers'
// history through a synced temporary file renamed into place, with the
// previous file kept as the backup; loading finds a reader's newest line.
#include "calibrat/calibrat.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char *const mnames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

constexpr char backup_name[] = "com.korvel.calibration.bak";
// No longer than the backup name, so a path that fits one fits both.
constexpr char temp_name[] = "com.korvel.calib.XXXXXX";
static_assert(sizeof temp_name <= sizeof backup_name, "temporary name longer than the backup name");

// Lines are read whole; this many characters of each, less one, are examined.
constexpr size_t line_head = 160;

typedef char path_t[cal_path_max + 1];

// Path of `name` in the directory of `filename` (the current directory when
// it holds no '/'); false when it would be longer than cal_path_max.
bool sibling_path(path_t out, const char *filename, const char *name) {
    const char *slash = strrchr(filename, '/');
    size_t dirlen = slash ? (size_t)(slash - filename) + 1 : 0;
    size_t namelen = strlen(name);
    if (dirlen + namelen > cal_path_max)
        return false;
    memcpy(out, filename, dirlen);
    memcpy(out + dirlen, name, namelen + 1);
    return true;
}

// Reads one whole line of `in` and keeps its first line_head - 1 characters,
// terminated, in `head`. Returns false at the end of the file. The stream
// belongs to the one call that opened it, so the per-character stream lock
// is left out: with it, locking cost most of the time of a long load.
bool next_line(FILE *in, char (&head)[line_head]) {
    int c = getc_unlocked(in);
    if (c == EOF)
        return false;
    size_t n = 0;
    for (; c != EOF && c != '\n'; c = getc_unlocked(in))
        if (n < line_head - 1)
            head[n++] = (char)c;
    if (c == '\n' && n < line_head - 1)
        head[n++] = (char)c;
    head[n] = '\0';
    return true;
}

// True when the line begins with "calib." or "reader." and the reader's
// serial number. The number is read as scanf's %lx reads it (strtoul, base
// 16), without scanf's cost on every line of a long file, and as unsigned
// long so that a longer number never matches through truncation.
bool names_reader(const char *line, reader_uint serial) {
    const char *digits = strncmp(line, "calib.", 6) == 0    ? line + 6
                         : strncmp(line, "reader.", 7) == 0 ? line + 7
                                                            : nullptr;
    if (!digits)
        return false;
    char *end;
    unsigned long n = strtoul(digits, &end, 16);
    return end != digits && n == serial;
}

// Blocks of the copy in save_calib: large enough that the streams pass them
// straight to the system, a few calls for a long file instead of thousands.
char copy_block[65536];

// Copies `in` to `out` as it is, in blocks, and ends the copy with a newline
// when the last line has none; a failed write sets *out_failed. True when a
// line names the reader, judged on its first line_head - 1 characters.
bool copy_lines(FILE *in, FILE *out, reader_uint serial, bool *out_failed) {
    char head[line_head];
    size_t n = 0; // characters of the current line's head so far
    bool named = false, line_open = false;
    size_t got;
    while ((got = fread(copy_block, 1, sizeof copy_block, in)) > 0) {
        if (fwrite(copy_block, 1, got, out) != got)
            *out_failed = true;
        for (const char *p = copy_block, *end = copy_block + got; p < end;) {
            const char *nl = (const char *)memchr(p, '\n', (size_t)(end - p));
            const char *stop = nl ? nl + 1 : end;
            size_t take = (size_t)(stop - p);
            if (take > line_head - 1 - n)
                take = line_head - 1 - n;
            memcpy(head + n, p, take);
            n += take;
            line_open = nl == nullptr;
            if (nl) {
                head[n] = '\0';
                named = names_reader(head, serial) || named;
                n = 0;
            }
            p = stop;
        }
    }
    if (line_open) {
        head[n] = '\0';
        named = names_reader(head, serial) || named;
        if (putc('\n', out) == EOF)
            *out_failed = true;
    }
    return named;
}

// The calibration line. The caller's extra text stays on this one line:
// every control character in it is written as a blank.
bool write_calib_line(FILE *out, reader_time when, float amin, float amax, const char *extra,
                      const readerinfo_t *info) {
    time_t t = when;
    char date[64];
    if (!ctime_r(&t, date))
        date[0] = '\0';
    if (fprintf(out, "calib.%04x:%d=%04x,%04x %f,%f %.24s ", (unsigned)info->SerialNumber,
                (int)info->Wavelength, (unsigned)info->calmin, (unsigned)info->calmax, (double)amin,
                (double)amax, date) <= 0)
        return false;
    for (const char *p = extra ? extra : ""; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (putc(c < 0x20 || c == 0x7f ? ' ' : c, out) == EOF)
            return false;
    }
    return putc('\n', out) != EOF;
}

bool write_reader_line(FILE *out, const readerinfo_t *info) {
    return fprintf(out, "reader.%04x=%04x,%04x,%04x %d,%d,%ld,%d %d,%d %04x,%04x\n",
                   (unsigned)info->SerialNumber, (unsigned)info->FirmwareVers, (unsigned)info->ProgChecksum,
                   (unsigned)info->BootCheckSum, (int)info->Resolution, (int)info->Wavelength,
                   (long)info->SizeOfSample, (int)info->NumOfSamples, (int)info->ReaderType,
                   (int)info->MotivePower, (unsigned)info->admin, (unsigned)info->admax) > 0;
}

// Flushes, syncs and closes; false when any of it fails.
bool finish_file(FILE *f) {
    bool ok = fflush(f) == 0 && fsync(fileno(f)) == 0;
    return fclose(f) == 0 && ok;
}

bool sync_dir(const char *dir) {
    int fd = open(dir, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    bool ok = fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

// Copies `from` to the new file `to`, synced; for file systems without hard
// links. A partial copy is removed.
bool copy_file(const char *from, const char *to, mode_t mode) {
    FILE *in = fopen(from, "rb");
    if (!in)
        return false;
    int fd = open(to, O_WRONLY | O_CREAT | O_EXCL, mode);
    FILE *out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    bool ok = out != nullptr;
    char block[line_head];
    size_t got;
    while (ok && (got = fread(block, 1, sizeof block, in)) > 0)
        ok = fwrite(block, 1, got, out) == got;
    ok = ok && !ferror(in);
    if (out)
        ok = finish_file(out) && ok;
    else if (fd >= 0)
        close(fd);
    fclose(in);
    if (!ok && fd >= 0)
        unlink(to);
    return ok;
}

// The new content: the calibration line, the old file's lines whole and in
// order, and the reader line when the old file does not name the reader.
int compose(FILE *out, const char *filename, bool exists, reader_time when, float amin, float amax,
            const char *extra, const readerinfo_t *info) {
    if (!write_calib_line(out, when, amin, amax, extra, info))
        return RDR_CAL_WRITE_CALIB;
    bool named = false;
    if (exists) {
        FILE *in = fopen(filename, "r");
        if (!in)
            return RDR_CAL_READ;
        bool write_failed = false;
        named = copy_lines(in, out, info->SerialNumber, &write_failed);
        bool read_failed = ferror(in) != 0;
        fclose(in);
        if (read_failed)
            return RDR_CAL_READ;
        if (write_failed)
            return RDR_CAL_WRITE_READER;
    }
    if (!named && !write_reader_line(out, info))
        return RDR_CAL_WRITE_READER;
    return RDR_OK;
}

// Moves the current file to the backup (a hard link, or a copy where links
// fail) and renames the finished temporary file over it. Until the rename
// the calibration file is untouched.
int replace(const char *filename, const char *temp, const char *backup, bool exists, mode_t mode) {
    if (unlink(backup) != 0 && errno != ENOENT)
        return RDR_CAL_REMOVE_BACKUP;
    if (exists && link(filename, backup) != 0 && !copy_file(filename, backup, mode))
        return RDR_CAL_COPY;
    if (rename(temp, filename) != 0)
        return RDR_CAL_REPLACE;
    return RDR_OK;
}

} // namespace

int save_calib(const char *filename, reader_time when, float amin, float amax, const char *extra,
               const readerinfo_t *info) {
    path_t backup, temp, dir;
    if (!filename || strnlen(filename, cal_path_max + 1) > cal_path_max ||
        !sibling_path(backup, filename, backup_name) || !sibling_path(temp, filename, temp_name) ||
        !sibling_path(dir, filename, "."))
        return RDR_CAL_REPLACE;
    // A calibration file named like the backup would be removed by the backup step.
    if (strcmp(backup, filename) == 0)
        return RDR_CAL_REPLACE;

    struct stat st;
    bool exists = stat(filename, &st) == 0;
    if (!exists && errno != ENOENT && errno != ENOTDIR)
        return RDR_CAL_READ;
    mode_t mode = exists ? (st.st_mode & 0777) : 0644;

    int fd = mkstemp(temp);
    if (fd < 0)
        return RDR_CAL_TEMPFILE;
    FILE *out = fchmod(fd, mode) == 0 ? fdopen(fd, "w") : nullptr;
    if (!out) {
        close(fd);
        unlink(temp);
        return RDR_CAL_TEMPFILE;
    }
    int rc = compose(out, filename, exists, when, amin, amax, extra, info);
    if (!finish_file(out) && rc == RDR_OK)
        rc = RDR_CAL_CLOSE_TEMP;
    if (rc == RDR_OK)
        rc = replace(filename, temp, backup, exists, mode);
    if (rc != RDR_OK) {
        unlink(temp);
        return rc;
    }
    // The new name must survive a power cut.
    return sync_dir(dir) ? RDR_OK : RDR_CAL_SYNC_DIR;
}

const char *ctime_to_time_t(reader_time *pwhen, const char *ctime_str) {
    *pwhen = -1;
    char wday[4], mon[4];
    int mday, hour, min, sec, year, used = 0;
    if (sscanf(ctime_str, "%3s %3s %d %d:%d:%d %d %n", wday, mon, &mday, &hour, &min, &sec, &year, &used) < 7)
        return ctime_str;
    int month = 0;
    while (month < 12 && strcmp(mnames[month], mon) != 0)
        month++;
    // An unknown month is no date at all.
    if (month == 12 || year < INT_MIN + 1900)
        return ctime_str;

    // Taken as standard time, whatever the season.
    struct tm tm = {};
    tm.tm_sec = sec;
    tm.tm_min = min;
    tm.tm_hour = hour;
    tm.tm_mday = mday;
    tm.tm_mon = month;
    tm.tm_year = year - 1900;
    tm.tm_isdst = 0;
    time_t t = mktime(&tm);
    if (t != (time_t)-1 && t >= INT32_MIN && t <= INT32_MAX)
        *pwhen = (reader_time)t;
    return ctime_str + used;
}

namespace {

// Fills the calibration of `info` from `line` when it is a calibration line
// of that reader at its wavelength; an older line without wavelength stands
// for 660 nm.
bool take_calib_line(const char *line, readerinfo_t *info) {
    unsigned long serial, cmin, cmax;
    long wavelength;
    int used = 0;
    if (sscanf(line, "calib.%lx:%ld=%lx,%lx %n", &serial, &wavelength, &cmin, &cmax, &used) != 4) {
        wavelength = 660;
        used = 0;
        if (sscanf(line, "calib.%lx=%lx,%lx %n", &serial, &cmin, &cmax, &used) != 3)
            return false;
    }
    if (serial != info->SerialNumber || wavelength != info->Wavelength)
        return false;

    const char *rest = line + used;
    float amin, amax;
    int after = 0;
    // Through a local: the record's time field is not 4-byte aligned.
    reader_time when = -1;
    if (sscanf(rest, "%f,%f %n", &amin, &amax, &after) == 2)
        ctime_to_time_t(&when, rest + after);
    info->lastcal = when;
    info->calmin = (reader_uint)(cmin & 0xFFFFu);
    info->calmax = (reader_uint)(cmax & 0xFFFFu);
    return true;
}

} // namespace

int load_calibration(const char *filename, readerinfo_t *info) {
    if (!info)
        return RDR_NO_RECORD;
    FILE *in = filename ? fopen(filename, "r") : nullptr;
    if (in) {
        char line[line_head];
        while (next_line(in, line)) {
            if (take_calib_line(line, info)) {
                fclose(in);
                return RDR_OK;
            }
        }
        fclose(in);
    }
    clear_calibration(info);
    return RDR_NO_CALIBRATION;
}
