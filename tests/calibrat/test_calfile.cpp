// The calibration file: line formats, history order, backup, loading, dates,
// and that no failed or killed save loses or damages the file.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "calibrat/calibrat.h"
#include "support.h"

using testsupport::dir_entries;
using testsupport::file_exists;
using testsupport::read_file;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

const char backup_name[] = "com.korvel.calibration.bak";
const reader_time nov14 = 1700000000; // Tue Nov 14 22:13:20 2023 UTC
const char nov14_text[] = "Tue Nov 14 22:13:20 2023";
const char reader_line[] = "reader.1a2b=0105,beef,1234 200,660,-2,2048 2,4 0000,ff00\n";

void set_tz(const char *tz) {
    setenv("TZ", tz, 1);
    tzset();
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

mode_t mode_of(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

class CalFile : public ::testing::Test {
protected:
    void SetUp() override {
        set_tz("UTC0");
        reader_clear(&info);
        info.SerialNumber = 0x1A2B;
        info.FirmwareVers = 0x0105;
        info.ProgChecksum = 0xBEEF;
        info.BootCheckSum = 0x1234;
        info.Resolution = 200;
        info.Wavelength = 660;
        info.SizeOfSample = -2;
        info.NumOfSamples = 2048;
        info.ReaderType = rtCCD;
        info.MotivePower = mpMotor;
        info.calmin = 62;
        info.calmax = 58812;
        path = dir.file("cal.txt");
        backup = dir.file(backup_name);
    }
    int save(reader_time when = nov14, const char *extra = "", const std::string &name = "") {
        return save_calib(name.empty() ? path.c_str() : name.c_str(), when, 0.05f, 0.85f, extra, &info);
    }

    temp_dir dir;
    std::string path, backup;
    readerinfo_t info{};
};

TEST_F(CalFile, FirstSaveWritesCalibrationAndReaderLinesAndNoBackup) {
    write_file(backup, "a backup without a calibration file\n");
    mode_t old_mask = umask(077);
    EXPECT_EQ(save(nov14, "bench A"), 0);
    umask(old_mask);
    EXPECT_EQ(read_file(path), std::string("calib.1a2b:660=003e,e5bc 0.050000,0.850000 ") + nov14_text +
                                   " bench A\n" + reader_line);
    EXPECT_EQ(dir_entries(dir.path()), std::vector<std::string>{"cal.txt"});
    EXPECT_EQ(mode_of(path), 0600u);
}

TEST_F(CalFile, NullExtraEndsLineWithDateAndBlank) {
    EXPECT_EQ(save_calib(path.c_str(), nov14, 0.0f, 1.0f, nullptr, &info), 0);
    EXPECT_EQ(lines_of(read_file(path)).at(0),
              std::string("calib.1a2b:660=003e,e5bc 0.000000,1.000000 ") + nov14_text + " \n");
}

TEST_F(CalFile, SecondSaveGoesOnTopAndKeepsFirstAsBackup) {
    ASSERT_EQ(save(nov14, "first"), 0);
    const std::string after_first = read_file(path);
    info.calmin = 0x100;
    ASSERT_EQ(save(nov14 + 60, "second"), 0);
    const auto lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "calib.1a2b:660=0100,e5bc 0.050000,0.850000 Tue Nov 14 22:14:20 2023 second\n");
    EXPECT_EQ(lines[1], lines_of(after_first)[0]);
    EXPECT_EQ(lines[2], reader_line);
    EXPECT_EQ(read_file(backup), after_first);
    EXPECT_EQ(dir_entries(dir.path()), (std::vector<std::string>{"cal.txt", backup_name}));
}

TEST_F(CalFile, ReaderLineAddedOnlyWhenReaderNotNamed) {
    struct row {
        const char *old_content;
        bool adds_reader_line;
    };
    static const row rows[] = {
        {"calib.1a2b:660=0010,0020\n", false},
        {"calib.1a2b:880=0010,0020\n", false},
        {"calib.1a2b=0010,0020\n", false},
        {"# notes\nreader.1a2b=0105,beef,1234 200,660,-2,2048 2,4 0000,ff00\n", false},
        {"calib.1a2c:660=0010,0020\nreader.1a2c=0105,beef,1234 200,660,-2,2048 2,4 0000,ff00\n", true},
        {"calib.100001a2b:660=0010,0020\n", true}, // a longer number is another reader
        {"# calib.1a2b:660=0010,0020\n", true},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        write_file(path, rows[i].old_content);
        ASSERT_EQ(save(), 0);
        const std::string expected = lines_of(read_file(path)).at(0) + rows[i].old_content +
                                     (rows[i].adds_reader_line ? reader_line : "");
        EXPECT_EQ(read_file(path), expected);
    }
}

TEST_F(CalFile, OtherLinesSurviveWholeAndInOrder) {
    const std::string long_comment = "# " + std::string(298, 'c') + "\n";
    const std::string old_content = "# first comment\n" + long_comment +
                                    "calib.1a2b:880=0010,0020 0.000000,1.000000 Mon Nov 13 10:00:00 2023 x\n"
                                    "some other line\n" +
                                    reader_line + "last line without newline";
    write_file(path, old_content);
    ASSERT_EQ(save(), 0);
    const auto lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].substr(0, 15), "calib.1a2b:660=");
    EXPECT_EQ(read_file(path), lines[0] + old_content + "\n");
    EXPECT_EQ(lines[2], long_comment);
}

TEST_F(CalFile, ExtraTextCannotAddOrForgeLines) {
    ASSERT_EQ(save(nov14, "x\ncalib.1a2b:660=0000,ffff\r\tend\x7f"), 0);
    const auto lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("calib.1a2b:660=003e,e5bc 0.050000,0.850000 ") + nov14_text +
                            " x calib.1a2b:660=0000,ffff  end \n");
    readerinfo_t loaded = info;
    loaded.calmin = loaded.calmax = 0;
    EXPECT_EQ(load_calibration(path.c_str(), &loaded), 0);
    EXPECT_EQ(loaded.calmin, 62);
    EXPECT_EQ(loaded.calmax, 58812);
}

TEST_F(CalFile, KeepsPermissionsOfExistingFile) {
    write_file(path, "# private\n");
    chmod(path.c_str(), 0600);
    ASSERT_EQ(save(), 0);
    EXPECT_EQ(mode_of(path), 0600u);
    EXPECT_EQ(mode_of(backup), 0600u);
}

TEST_F(CalFile, RelativeNameKeepsBackupInCurrentDirectory) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    const int first = save(nov14, "", "cal.txt");
    const int second = save(nov14, "", "cal.txt");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(lines_of(read_file(backup)).size(), 2u);
    EXPECT_EQ(lines_of(read_file(path)).size(), 3u);
}

TEST_F(CalFile, NoFileNameOrBackupNameIsRefused) {
    EXPECT_EQ(save_calib(nullptr, nov14, 0.0f, 1.0f, "", &info), RDR_CAL_REPLACE);
    // The backup's own name would be removed by the backup step.
    write_file(backup, "kept\n");
    EXPECT_EQ(save(nov14, "", backup), RDR_CAL_REPLACE);
    EXPECT_EQ(read_file(backup), "kept\n");
    EXPECT_EQ(dir_entries(dir.path()), std::vector<std::string>{backup_name});
}

// Makes a directory path of exactly `length` characters below `base`.
std::string make_dir_of_length(const std::string &base, size_t length) {
    std::string d = base;
    while (d.size() < length) {
        size_t gap = length - d.size();
        size_t part = std::min<size_t>(200, gap - 1);
        if (gap - (part + 1) == 1)
            part--;
        d += "/" + std::string(part, 'd');
        mkdir(d.c_str(), 0700);
    }
    return d;
}

TEST_F(CalFile, PathsLongerThan1023AreRefusedNotTruncated) {
    // Backup path dir/com.korvel.calibration.bak of exactly 1023 characters.
    const std::string d = make_dir_of_length(dir.path(), cal_path_max - 1 - strlen(backup_name));
    ASSERT_EQ((d + "/" + backup_name).size(), 1023u);
    EXPECT_EQ(save(nov14, "", d + "/c"), 0);
    EXPECT_EQ(save(nov14, "", d + "/c"), 0);
    EXPECT_EQ(dir_entries(d), (std::vector<std::string>{"c", backup_name}));

    // A file name of 1023 characters, and one of 1024.
    const std::string name1023 = d + "/" + std::string(1023 - d.size() - 1, 'n');
    ASSERT_EQ(name1023.size(), 1023u);
    const std::string base1023 = name1023.substr(d.size() + 1);
    EXPECT_EQ(save(nov14, "", name1023), 0);
    EXPECT_EQ(save(nov14, "", name1023), 0);
    EXPECT_EQ(save(nov14, "", name1023 + "m"), RDR_CAL_REPLACE);
    EXPECT_EQ(dir_entries(d), (std::vector<std::string>{"c", backup_name, base1023}));

    // One character more in the directory makes the backup path 1024 long.
    const std::string longer = d + "x";
    ASSERT_EQ(mkdir(longer.c_str(), 0700), 0);
    EXPECT_EQ(save(nov14, "", longer + "/c"), RDR_CAL_REPLACE);
    EXPECT_TRUE(dir_entries(longer).empty());
}

// A save that fails at some step leaves the calibration file and the backup
// as they were and removes its temporary file.
TEST_F(CalFile, FailedSaveLeavesFileAndBackupUntouched) {
    ASSERT_EQ(save(nov14, "first"), 0);
    ASSERT_EQ(save(nov14, "second"), 0);
    const std::string file_before = read_file(path);
    const std::string backup_before = read_file(backup);

    // The old backup cannot be removed: it is a directory that is not empty.
    ASSERT_EQ(rename(backup.c_str(), (backup + ".moved").c_str()), 0);
    ASSERT_EQ(mkdir(backup.c_str(), 0700), 0);
    write_file(backup + "/inside", "x");
    EXPECT_EQ(save(nov14, "third"), RDR_CAL_REMOVE_BACKUP);
    EXPECT_EQ(read_file(path), file_before);
    EXPECT_EQ(read_file(backup + "/inside"), "x");
    EXPECT_EQ(dir_entries(dir.path()),
              (std::vector<std::string>{"cal.txt", backup_name, std::string(backup_name) + ".moved"}));

    // The calibration file's name is a directory: it cannot be read.
    const std::string caldir = dir.file("caldir");
    ASSERT_EQ(mkdir(caldir.c_str(), 0700), 0);
    EXPECT_EQ(save(nov14, "", caldir), RDR_CAL_READ);
    EXPECT_EQ(dir_entries(dir.path()).size(), 4u);

    // The directory part is a plain file: no temporary file can be made there.
    EXPECT_EQ(save(nov14, "", path + "/cal.txt"), RDR_CAL_TEMPFILE);
    EXPECT_EQ(read_file(path), file_before);
    EXPECT_EQ(read_file(backup + ".moved"), backup_before);
}

// A directory that the saving process may not write. Tests run as root,
// whom permissions do not stop, so the save runs in a child that gives up
// root for the unprivileged "nobody" user.
TEST_F(CalFile, UnwritableDirectoryReturnsCodeAndLeavesFiles) {
    ASSERT_EQ(save(nov14, "first"), 0);
    ASSERT_EQ(save(nov14, "second"), 0);
    const std::string file_before = read_file(path);
    const std::string backup_before = read_file(backup);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        int rc = 1;
        if (geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0))
            rc = save(nov14, "third");
        if (write(fds[1], &rc, sizeof rc) != (ssize_t)sizeof rc)
            _exit(2);
        _exit(0);
    }
    close(fds[1]);
    int rc = 0;
    const bool got = read(fds[0], &rc, sizeof rc) == (ssize_t)sizeof rc;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    chmod(dir.path().c_str(), 0700);
    ASSERT_TRUE(got);
    if (rc == 1)
        GTEST_SKIP() << "cannot drop root privileges here, so no directory is unwritable";
    EXPECT_EQ(rc, RDR_CAL_TEMPFILE);
    EXPECT_EQ(read_file(path), file_before);
    EXPECT_EQ(read_file(backup), backup_before);
    EXPECT_EQ(dir_entries(dir.path()), (std::vector<std::string>{"cal.txt", backup_name}));
}

// The history in the file: calibration lines with calmin n, n-1, ..., 0 and
// then the reader line. Returns n, or -1 after reporting what is wrong.
int check_history(const std::string &path) {
    const auto lines = lines_of(read_file(path));
    if (lines.size() < 2 || lines.back() != reader_line) {
        ADD_FAILURE() << "file incomplete: " << lines.size() << " lines";
        return -1;
    }
    const int newest = (int)lines.size() - 2;
    for (int i = 0; i <= newest; i++) {
        unsigned v = 0;
        int used = 0;
        if (sscanf(lines[i].c_str(), "calib.1a2b:660=%x,ff00 %n", &v, &used) != 1 || used == 0 ||
            (int)v != newest - i || lines[i].back() != '\n') {
            ADD_FAILURE() << "line " << i << " wrong: " << lines[i];
            return -1;
        }
    }
    return newest;
}

TEST_F(CalFile, KilledSaveNeverLeavesFileMissingOrDamaged) {
    info.calmin = 0;
    info.calmax = 0xFF00;
    ASSERT_EQ(save(), 0);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> delay_us(0, 20000);
    int newest = 0;
    for (int kill_no = 0; kill_no < 100; kill_no++) {
        SCOPED_TRACE(kill_no);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            readerinfo_t mine = info;
            if (load_calibration(path.c_str(), &mine) != 0)
                _exit(2);
            for (;;) {
                mine.calmin++;
                if (save_calib(path.c_str(), nov14, 0.0f, 1.0f, "loop", &mine) != 0)
                    _exit(3);
            }
        }
        usleep(delay_us(rng));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "child ended with status " << WEXITSTATUS(status);
        const int now = check_history(path);
        ASSERT_GE(now, newest);
        newest = now;
        readerinfo_t loaded = info;
        ASSERT_EQ(load_calibration(path.c_str(), &loaded), 0);
        ASSERT_EQ(loaded.calmin, newest);
    }
    // The children did save, so the kills hit saves in progress.
    EXPECT_GT(newest, 0);
}

struct load_row {
    const char *content;
    reader_uint wavelength;
    int result;
    reader_uint calmin, calmax;
    reader_time lastcal;
};

TEST_F(CalFile, LoadFindsNewestLineOfReaderAtWavelength) {
    const std::string tail_of_long_line = "#" + std::string(158, 'x') + "calib.1a2b:660=0100,f000\n";
    const load_row rows[] = {
        {"calib.1a2b:660=0100,f000 0.000000,1.000000 Tue Nov 14 22:13:20 2023 newest\n"
         "calib.1a2b:660=0200,e000 0.000000,1.000000 Mon Nov 13 22:13:20 2023 older\n",
         660, 0, 0x100, 0xF000, nov14},
        {"calib.1a2b:880=0300,d000 0.000000,1.000000 Mon Nov 13 22:13:20 2023\n"
         "calib.1a2c:660=0300,d000 0.000000,1.000000 Mon Nov 13 22:13:20 2023\n"
         "calib.1a2b:660=0100,f000 0.000000,1.000000 Tue Nov 14 22:13:20 2023\n",
         660, 0, 0x100, 0xF000, nov14},
        {"calib.1a2b:880=0300,d000 0.000000,1.000000 Mon Nov 13 22:13:20 2023\n", 880, 0, 0x300, 0xD000,
         nov14 - 86400},
        // The older form without wavelength stands for 660 nm only.
        {"calib.1a2b=0400,c000 0.050000,0.850000 Tue Nov 14 22:13:20 2023\n", 660, 0, 0x400, 0xC000, nov14},
        {"calib.1a2b=0400,c000 0.050000,0.850000 Tue Nov 14 22:13:20 2023\n", 880, RDR_NO_CALIBRATION, 0,
         0xFF00, 42},
        // No true values, no date, a date with an unknown month: no time known.
        {"calib.1a2b:660=0100,f000\n", 660, 0, 0x100, 0xF000, -1},
        {"calib.1a2b:660=0100,f000 0.000000,1.000000 \n", 660, 0, 0x100, 0xF000, -1},
        {"calib.1a2b:660=0100,f000 0.000000,1.000000 yesterday\n", 660, 0, 0x100, 0xF000, -1},
        {"calib.1a2b:660=0100,f000 0.000000,1.000000 Tue Xyz 14 22:13:20 2023\n", 660, 0, 0x100, 0xF000, -1},
        // Serial numbers above 16 bits never match.
        {"calib.11a2b:660=0100,f000\ncalib.100001a2b:660=0100,f000\n", 660, RDR_NO_CALIBRATION, 0, 0xFF00,
         42},
        // The tail of a long line is not a line of its own.
        {tail_of_long_line.c_str(), 660, RDR_NO_CALIBRATION, 0, 0xFF00, 42},
        {"# comment\nreader.1a2b=0105,beef,1234 200,660,-2,2048 2,4 0000,ff00\ncalib.1a2b:660=0100,f000", 660,
         0, 0x100, 0xF000, -1},
        // Values above 16 bits keep their low 16 bits.
        {"calib.1a2b:660=10100,2f000\n", 660, 0, 0x100, 0xF000, -1},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        const load_row &r = rows[i];
        write_file(path, r.content);
        readerinfo_t loaded = info;
        loaded.Wavelength = r.wavelength;
        loaded.calmin = 1;
        loaded.calmax = 2;
        loaded.lastcal = 42;
        EXPECT_EQ(load_calibration(path.c_str(), &loaded), r.result);
        EXPECT_EQ(loaded.calmin, r.calmin);
        EXPECT_EQ(loaded.calmax, r.calmax);
        EXPECT_EQ((reader_time)loaded.lastcal, r.lastcal);
    }
}

// Lines are read whole, however long: what follows the part of a line that
// is examined is never taken for a line of its own, neither by the loader
// nor by the save when it looks for the reader's line. The lengths step over
// every multiple of the examined part up to a few, and over the save's
// 64 KiB copy block.
TEST_F(CalFile, TailOfALongLineIsNeverALineOfItsOwn) {
    std::vector<size_t> lengths;
    for (size_t k = 1; k <= 4; k++)
        for (size_t n = 159 * k - 3; n <= 160 * k + 3; n++)
            lengths.push_back(n);
    for (size_t n : {1000, 65535, 65536, 65537, 131072})
        lengths.push_back(n);
    for (size_t n : lengths) {
        SCOPED_TRACE("line head of " + std::to_string(n) + " characters");
        const std::string pad = "#" + std::string(n - 1, 'x');
        const std::string old = pad + "calib.1a2b:660=0100,f000\n" + pad + reader_line;
        write_file(path, old);
        readerinfo_t loaded = info;
        EXPECT_EQ(load_calibration(path.c_str(), &loaded), RDR_NO_CALIBRATION);
        // The reader is not named by the old file, so the save adds its line.
        ASSERT_EQ(save(), 0);
        const std::string saved = read_file(path);
        const std::string first = lines_of(saved).at(0);
        EXPECT_EQ(saved, first + old + reader_line);
    }
}

TEST_F(CalFile, LoadWithoutFileGivesUncalibratedRange) {
    info.admin = 5;
    info.admax = 60000;
    info.lastcal = 42;
    EXPECT_EQ(load_calibration(path.c_str(), &info), RDR_NO_CALIBRATION);
    EXPECT_EQ(info.calmin, 5);
    EXPECT_EQ(info.calmax, 60000);
    EXPECT_EQ((reader_time)info.lastcal, 42);
    info.calmin = 7;
    EXPECT_EQ(load_calibration(nullptr, &info), RDR_NO_CALIBRATION);
    EXPECT_EQ(info.calmin, 5);
}

TEST_F(CalFile, SavedCalibrationLoadsBack) {
    ASSERT_EQ(save(nov14, "extra"), 0);
    readerinfo_t loaded = info;
    loaded.calmin = loaded.calmax = 0;
    loaded.lastcal = -1;
    EXPECT_EQ(load_calibration(path.c_str(), &loaded), 0);
    EXPECT_EQ(loaded.calmin, 62);
    EXPECT_EQ(loaded.calmax, 58812);
    EXPECT_EQ((reader_time)loaded.lastcal, nov14);
}

// The date is read back as standard time: written in summer time it comes
// back one hour later; written in winter it comes back as it was.
TEST_F(CalFile, DateWrittenInSummerTimeReadsBackOneHourLater) {
    set_tz("CET-1CEST,M3.5.0,M10.5.0/3");
    const reader_time summer = 1688212800; // 2023-07-01 12:00:00 UTC
    ASSERT_EQ(save(summer), 0);
    EXPECT_NE(read_file(path).find(" Sat Jul  1 14:00:00 2023 \n"), std::string::npos);
    readerinfo_t loaded = info;
    EXPECT_EQ(load_calibration(path.c_str(), &loaded), 0);
    EXPECT_EQ((reader_time)loaded.lastcal, summer + 3600);

    ASSERT_EQ(save(nov14), 0);
    EXPECT_NE(read_file(path).find(" Tue Nov 14 23:13:20 2023 \n"), std::string::npos);
    EXPECT_EQ(load_calibration(path.c_str(), &loaded), 0);
    EXPECT_EQ((reader_time)loaded.lastcal, nov14);
}

TEST(CtimeToTime, ReadsDatesAndPointsBehindThem) {
    set_tz("UTC0");
    struct row {
        const char *text;
        reader_time when;
        int consumed;
    };
    static const row rows[] = {
        {"Tue Nov 14 22:13:20 2023 rest", 1700000000, 25},
        {"Tue Nov 14 22:13:20 2023", 1700000000, 24},
        {"Xyz Feb  1 00:00:00 2023   x", 1675209600, 27}, // weekday not compared
        {"Sun Jan 32 00:00:00 2023", 1675209600, 24},     // normalised to 1 February
        {"Fri Dec 13 20:45:52 1901", INT32_MIN, 24},
        {"Tue Jan 19 03:14:07 2038", INT32_MAX, 24},
        {"Tue Jan 19 03:14:08 2038", -1, 24}, // beyond 32 bits
        {"Tue nov 14 22:13:20 2023", -1, 0},  // month names are case-sensitive
        {"Tue Foo 14 22:13:20 2023", -1, 0},
        {"Tue Nov 14 22:13 2023", -1, 0},
        {"nonsense", -1, 0},
        {"", -1, 0},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        reader_time when = 12345;
        const char *rest = ctime_to_time_t(&when, rows[i].text);
        EXPECT_EQ(when, rows[i].when);
        EXPECT_EQ(rest - rows[i].text, rows[i].consumed);
    }
}

TEST(CtimeToTime, EveryMonthName) {
    set_tz("UTC0");
    // First day of each month of 2023, UTC.
    static const reader_time starts[12] = {1672531200, 1675209600, 1677628800, 1680307200,
                                           1682899200, 1685577600, 1688169600, 1690848000,
                                           1693526400, 1696118400, 1698796800, 1701388800};
    static const char *const names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < 12; m++) {
        SCOPED_TRACE(m);
        const std::string text = std::string("Mon ") + names[m] + "  1 00:00:00 2023";
        reader_time when = 0;
        ctime_to_time_t(&when, text.c_str());
        EXPECT_EQ(when, starts[m]);
    }
}

} // namespace
