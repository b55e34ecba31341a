// The calibration file: a new calibration goes on top of the readers'
// history through a synced temporary file renamed into place, with the
// previous file kept as the backup; loading finds a reader's newest line.
// Saves take turns under a lock on the file's directory; the file's numbers
// are the same in every locale.
#include "calibrat/calibrat.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

const char *const mnames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

constexpr char backup_name[] = "com.korvel.calibration.bak";
// No longer than the backup name, so a path that fits one fits both.
constexpr char temp_name[] = "com.korvel.calib.XXXXXX";
static_assert(sizeof temp_name <= sizeof backup_name, "temporary name longer than the backup name");
// The part of temp_name that each save replaces with a fresh name.
constexpr size_t temp_unique = 6;
// Where a save that cannot write the directory composes the new content.
constexpr char outside_temp_dir[] = "/tmp";

// Lines are read whole; this many characters of each, less one, are examined.
constexpr size_t line_head = 160;

typedef char path_t[cal_path_max + 1];

// The file's numbers have a point for a decimal separator whatever locale the
// host has set, in both directions, so a file moves between processes and
// machines unchanged. Writing and reading happen under the C locale, made once
// and kept for the process's life so that no later call allocates (the C
// library hands out its built-in C locale without allocating at all).
locale_t file_locale(void) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    return c;
}

// The C locale in force on this thread for one scope.
class c_locale_scope {
public:
    c_locale_scope() : saved_(file_locale() ? uselocale(file_locale()) : (locale_t)0) {}
    ~c_locale_scope() {
        if (saved_)
            uselocale(saved_);
    }
    c_locale_scope(const c_locale_scope &) = delete;
    c_locale_scope &operator=(const c_locale_scope &) = delete;

private:
    locale_t saved_;
};

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
    c_locale_scope numbers_with_a_point;
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
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

// Copies `from` to the new file `to`, synced; for file systems without hard
// links. A partial copy is removed.
bool copy_file(const char *from, const char *to, mode_t mode) {
    FILE *in = fopen(from, "rbe");
    if (!in)
        return false;
    int fd = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
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
// old is null when there is no old file to copy.
int compose(FILE *out, FILE *old, reader_time when, float amin, float amax, const char *extra,
            const readerinfo_t *info) {
    if (!write_calib_line(out, when, amin, amax, extra, info))
        return RDR_CAL_WRITE_CALIB;
    bool named = false;
    if (old) {
        bool write_failed = false;
        named = copy_lines(old, out, info->SerialNumber, &write_failed);
        if (ferror(old))
            return RDR_CAL_READ;
        if (write_failed)
            return RDR_CAL_WRITE_READER;
    }
    if (!named && !write_reader_line(out, info))
        return RDR_CAL_WRITE_READER;
    return RDR_OK;
}

// Fills `unique` with characters of the kind mkstemp uses, from the
// system's random source, or from the clock and the process id where that
// has nothing to give.
void fresh_name(char *unique) {
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned long long counter;
    unsigned char bytes[temp_unique];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != (ssize_t)sizeof bytes) {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        unsigned long long v =
            (unsigned long long)ts.tv_nsec ^ ((unsigned long long)getpid() << 32) ^ ++counter;
        for (unsigned char &b : bytes) {
            v = v * 6364136223846793005ULL + 1442695040888963407ULL;
            b = (unsigned char)(v >> 56);
        }
    }
    for (size_t i = 0; i < temp_unique; i++)
        unique[i] = chars[bytes[i] % (sizeof chars - 1)];
}

bool is_temp_name(const char *name) {
    constexpr size_t prefix = sizeof temp_name - 1 - temp_unique;
    if (strlen(name) != sizeof temp_name - 1 || strncmp(name, temp_name, prefix) != 0)
        return false;
    for (const char *p = name + prefix; *p; p++)
        if (!((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9')))
            return false;
    return true;
}

// Creates a temporary file at `path`, whose last characters become a fresh
// name: a new file only, never through a link, with `mode` less the umask
// (which the system applies; 0666 gives what fopen gives a new file).
// A descriptor for reading and writing, or -1 with errno set.
int create_temp(char *path, mode_t mode) {
    char *unique = path + strlen(path) - temp_unique;
    for (int attempt = 0; attempt < 100; attempt++) {
        fresh_name(unique);
        int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Saves take turns. Each holds an exclusive lock on the calibration file's
// directory from its first look at the file to the rename, so no save reads
// a file that another is about to replace, and no two saves meet at the
// backup. The directory carries the lock rather than the file because the
// rename puts a new file in the old one's place, and a lock on the old file
// would not stop a save that opened the new one. Loads take no lock: the
// rename shows them either the old file or the new one, whole. A directory
// that cannot be opened for reading, or that cannot be locked, leaves the
// save unlocked, as saves were before. A descriptor holding the lock, or -1.
int lock_directory(const char *dir) {
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

// A save killed before its rename leaves its temporary file behind. Under
// the lock no other save can be writing one, so every regular file named
// like a temporary file is such a leftover and goes; anything else of that
// name (a link, a directory) is not ours and stays.
void remove_leftovers(int dirfd) {
    alignas(struct dirent64) char entries[4096];
    ssize_t got;
    while ((got = getdents64(dirfd, entries, sizeof entries)) > 0) {
        for (ssize_t pos = 0; pos < got;) {
            const struct dirent64 *e = reinterpret_cast<const struct dirent64 *>(entries + pos);
            pos += e->d_reclen;
            struct stat st;
            if (is_temp_name(e->d_name) && fstatat(dirfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode))
                unlinkat(dirfd, e->d_name, 0);
        }
    }
}

// Makes the old file the backup and renames the finished temporary file
// over it. The backup is a second name for the old file, or a copy where
// links fail, so the calibration file stays in place until the rename.
// Where neither can be made (a file this process may not read cannot be
// copied) the old file itself moves to the backup's name first, and comes
// back should the rename fail.
int replace(const char *filename, const char *temp, const char *backup, bool exists, mode_t mode) {
    if (unlink(backup) != 0 && errno != ENOENT)
        return RDR_CAL_REMOVE_BACKUP;
    if (!exists || link(filename, backup) == 0 || copy_file(filename, backup, mode))
        return rename(temp, filename) == 0 ? RDR_OK : RDR_CAL_REPLACE;
    if (rename(filename, backup) != 0)
        return RDR_CAL_COPY;
    if (rename(temp, filename) != 0) {
        rename(backup, filename);
        return RDR_CAL_REPLACE;
    }
    return RDR_OK;
}

// Writes all of `from` over the start of the open file `fd`, whose size is
// old_size, and cuts the file to the new length. Room for the new length is
// reserved first: without it nothing is written and the file stays as it was.
int write_over(FILE *from, int fd, off_t old_size) {
    off_t size = ftello(from);
    if (size < 0 || fseeko(from, 0, SEEK_SET) != 0)
        return RDR_CAL_CLOSE_TEMP;
    if (size > old_size && posix_fallocate(fd, old_size, size - old_size) != 0) {
        // A reservation that failed part-way may have grown the file; cutting
        // it back is all that can be done, and the save fails either way.
        int cut = ftruncate(fd, old_size);
        (void)cut;
        return RDR_CAL_COPY;
    }
    off_t at = 0;
    size_t got;
    while ((got = fread(copy_block, 1, sizeof copy_block, from)) > 0) {
        for (size_t done = 0; done < got;) {
            ssize_t n = pwrite(fd, copy_block + done, got - done, at);
            if (n <= 0)
                return RDR_CAL_COPY;
            done += (size_t)n;
            at += n;
        }
    }
    if (ferror(from) || at != size)
        return RDR_CAL_CLOSE_TEMP;
    if (ftruncate(fd, size) != 0 || fsync(fd) != 0)
        return RDR_CAL_SYNC_DIR;
    return RDR_OK;
}

// An unnamed temporary file outside the calibration file's directory, gone
// when closed; where the file system cannot make one unnamed, a named one
// removed at once. A descriptor, or -1.
int create_unnamed_temp(void) {
    int fd = open(outside_temp_dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    char path[sizeof outside_temp_dir + sizeof temp_name];
    snprintf(path, sizeof path, "%s/%s", outside_temp_dir, temp_name);
    fd = create_temp(path, 0600);
    if (fd >= 0)
        unlink(path);
    return fd;
}

// A directory this process may not write holds no temporary file and no
// backup, but a calibration file that it may write still takes the new
// content in place, as saves always could: the content is composed in an
// unnamed file outside the directory, then written over the old content,
// synced. Loads during that write, or a save killed in the middle of it, may
// see a mixture of old and new; without the directory there is no other way.
// The atomic save is used wherever the directory is writable. -600 when the
// file cannot be written either.
int rewrite_in_place(const char *filename, FILE *old, reader_time when, float amin, float amax,
                     const char *extra, const readerinfo_t *info) {
    int fd = open(filename, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return RDR_CAL_TEMPFILE;
    struct stat st;
    int tfd = fstat(fd, &st) == 0 ? create_unnamed_temp() : -1;
    FILE *temp = tfd >= 0 ? fdopen(tfd, "w+") : nullptr;
    if (!temp) {
        if (tfd >= 0)
            close(tfd);
        close(fd);
        return RDR_CAL_TEMPFILE;
    }
    int rc = compose(temp, old, when, amin, amax, extra, info);
    if (rc == RDR_OK && fflush(temp) != 0)
        rc = RDR_CAL_CLOSE_TEMP;
    if (rc == RDR_OK)
        rc = write_over(temp, fd, st.st_size);
    fclose(temp);
    if (close(fd) != 0 && rc == RDR_OK)
        rc = RDR_CAL_SYNC_DIR;
    return rc;
}

bool is_permission_error(int err) { return err == EACCES || err == EPERM; }

// The save proper, under the directory's lock when there is one.
int save_locked(const char *filename, char *temp, const char *backup, const char *dir, reader_time when,
                float amin, float amax, const char *extra, const readerinfo_t *info) {
    struct stat st;
    bool exists = stat(filename, &st) == 0;
    if (!exists && errno != ENOENT && errno != ENOTDIR)
        return RDR_CAL_READ;
    // Only a regular file is a calibration file; a directory, a device or a
    // pipe at its name is left alone.
    if (exists && !S_ISREG(st.st_mode))
        return RDR_CAL_READ;
    // A file that this process may not read is no error: the new file starts
    // the history afresh, and the unreadable one becomes the backup.
    FILE *old = exists ? fopen(filename, "re") : nullptr;
    if (exists && !old && !is_permission_error(errno))
        return RDR_CAL_READ;
    const mode_t mode = exists ? st.st_mode & 0777 : 0;

    int fd = create_temp(temp, 0666);
    if (fd < 0) {
        int rc = RDR_CAL_TEMPFILE;
        if (old && is_permission_error(errno))
            rc = rewrite_in_place(filename, old, when, amin, amax, extra, info);
        if (old)
            fclose(old);
        return rc;
    }
    // A file that was read keeps its mode; a new one, or one that replaces a
    // file that could not be read, keeps the mode it was created with.
    FILE *out = !old || fchmod(fd, mode) == 0 ? fdopen(fd, "w") : nullptr;
    if (!out) {
        close(fd);
        unlink(temp);
        if (old)
            fclose(old);
        return RDR_CAL_TEMPFILE;
    }
    int rc = compose(out, old, when, amin, amax, extra, info);
    if (old)
        fclose(old);
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

    int lock = lock_directory(dir);
    if (lock >= 0)
        remove_leftovers(lock);
    int rc = save_locked(filename, temp, backup, dir, when, amin, amax, extra, info);
    if (lock >= 0)
        close(lock);
    return rc;
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
    FILE *in = filename ? fopen(filename, "re") : nullptr;
    if (in) {
        c_locale_scope numbers_with_a_point;
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
