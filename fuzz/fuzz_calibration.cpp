// Fuzzes the calibration file: load_calibration on arbitrary file contents,
// then save_calib of a fuzzed calibration on top of that file, which must
// load back unchanged, keep the old file as the backup and leave no
// temporary file behind.
//
// Input: serial (2 bytes), wavelength (2), calmin (2), calmax (2), time (4),
// the two true values (4 + 4, floats), a length byte for the extra text, the
// extra text, then the old file's content.
#include <algorithm>
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "calibrat/calibrat.h"

namespace {

constexpr size_t header_len = 21;
constexpr size_t extra_max = 127;

char dir[64];
char cal_path[128];
char backup_path[128];

void check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "calibration file: %s\n", what);
        abort();
    }
}

int entry_count(void) {
    int n = 0;
    DIR *d = opendir(dir);
    check(d != nullptr, "cannot list the directory");
    while (dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            n++;
    closedir(d);
    return n;
}

// The whole content of a file, or false.
bool read_whole(const char *path, std::vector<uint8_t> &out) {
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    out.clear();
    for (int c; (c = getc(f)) != EOF;)
        out.push_back((uint8_t)c);
    fclose(f);
    return true;
}

bool file_is(const char *path, const uint8_t *content, size_t size) {
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    bool same = true;
    for (size_t i = 0; same && i < size; i++)
        same = getc(f) == content[i];
    same = same && getc(f) == EOF;
    fclose(f);
    return same;
}

void write_content(const uint8_t *content, size_t size) {
    FILE *f = fopen(cal_path, "wb");
    check(f != nullptr, "cannot write the old file");
    check(fwrite(content, 1, size, f) == size && fclose(f) == 0, "cannot write the old file");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("TZ", "UTC", 1);
    tzset();
    // A memory file system where there is one: saves sync every file.
    snprintf(dir, sizeof dir, "%s/kestrel-fuzz-XXXXXX", access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    if (!mkdtemp(dir)) {
        perror("mkdtemp");
        exit(1);
    }
    snprintf(cal_path, sizeof cal_path, "%s/cal.txt", dir);
    snprintf(backup_path, sizeof backup_path, "%s/com.korvel.calibration.bak", dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    if (size < header_len)
        return 0;
    readerinfo_t info;
    memset(&info, 0, sizeof info);
    reader_clear(&info);
    info.SerialNumber = (reader_uint)(bytes[0] | bytes[1] << 8);
    info.Wavelength = (reader_uint)(bytes[2] | bytes[3] << 8);
    const reader_uint calmin = (reader_uint)(bytes[4] | bytes[5] << 8);
    const reader_uint calmax = (reader_uint)(bytes[6] | bytes[7] << 8);
    uint32_t when_bits;
    memcpy(&when_bits, bytes + 8, 4);
    const reader_time when = (reader_time)when_bits;
    float amin, amax;
    memcpy(&amin, bytes + 12, 4);
    memcpy(&amax, bytes + 16, 4);
    size_t extra_len = bytes[20] % (extra_max + 1);
    if (extra_len > size - header_len)
        extra_len = size - header_len;
    char extra[extra_max + 1];
    memcpy(extra, bytes + header_len, extra_len);
    extra[extra_len] = '\0';
    const uint8_t *content = bytes + header_len + extra_len;
    const size_t content_len = size - header_len - extra_len;

    unlink(backup_path);
    write_content(content, content_len);

    // Loading arbitrary content: found, or uncalibrated with lastcal kept.
    info.lastcal = 777;
    int r = load_calibration(cal_path, &info);
    check(r == 0 || r == -610, "load result is neither 0 nor -610");
    if (r == -610)
        check(info.calmin == info.admin && info.calmax == info.admax && info.lastcal == 777,
              "not found, but the record is not uncalibrated");

    info.calmin = calmin;
    info.calmax = calmax;
    check(save_calib(cal_path, when, amin, amax, extra, &info) == 0, "save failed");
    check(file_is(backup_path, content, content_len), "the backup is not the old file");
    // The new file is the calibration line, then every line of the old file
    // as it was (a last line without a newline gets one), then perhaps the
    // reader's line.
    std::vector<uint8_t> saved;
    check(read_whole(cal_path, saved), "cannot read the new file");
    auto first_end = std::find(saved.begin(), saved.end(), (uint8_t)'\n');
    check(first_end != saved.end(), "the calibration line has no end");
    const size_t copy_at = (size_t)(first_end - saved.begin()) + 1;
    check(saved.size() - copy_at >= content_len &&
              std::equal(content, content + content_len, saved.begin() + (long)copy_at),
          "the old file's lines are not copied whole and in order");
    size_t after = copy_at + content_len;
    if (content_len > 0 && content[content_len - 1] != '\n') {
        check(after < saved.size() && saved[after] == '\n', "the old file's last line is not ended");
        after++;
    }
    check(after == saved.size() ||
              (saved.size() - after > 7 && memcmp(&saved[after], "reader.", 7) == 0 && saved.back() == '\n' &&
               std::count(saved.begin() + (long)after, saved.end(), '\n') == 1),
          "something other than the reader line follows the copied lines");
    check(entry_count() == 2, "files other than the calibration file and the backup remain");

    readerinfo_t loaded = info;
    loaded.calmin = (reader_uint)~calmin;
    loaded.calmax = (reader_uint)~calmax;
    loaded.lastcal = 777;
    check(load_calibration(cal_path, &loaded) == 0, "the saved calibration does not load");
    check(loaded.calmin == calmin && loaded.calmax == calmax, "the saved calibration loads different values");
    check(loaded.lastcal == when, "the saved time loads differently");
    return 0;
}
