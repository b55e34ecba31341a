// The calibration file under faults: saves killed at random moments, a full
// and a read-only file system, a directory where the file should be, and
// symbolic links planted at the names a save writes. Nothing may be lost and
// every failure must come back as a code.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "calibrat/calibrat.h"
#include "support.h"

using testsupport::file_exists;
using testsupport::read_file;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

const char backup_name[] = "com.korvel.calibration.bak";
const char temp_prefix[] = "com.korvel.calib.";
const reader_time when = 1700000000;

int temp_files_in(const std::string &dir) {
    int n = 0;
    for (const std::string &name : testsupport::dir_entries(dir))
        if (name.compare(0, sizeof temp_prefix - 1, temp_prefix) == 0)
            n++;
    return n;
}

bool is_symlink(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A tmpfs mounted over a directory for one test, when the test runs as root
// and may mount; unmounted at the end.
struct tmpfs_mount {
    std::string dir;
    bool mounted = false;
    std::string why_not;
    tmpfs_mount(const std::string &where, const char *options) : dir(where) {
        if (geteuid() != 0)
            why_not = "not root, so no file system can be mounted";
        else if (mount("tmpfs", dir.c_str(), "tmpfs", 0, options) != 0)
            why_not = std::string("cannot mount a tmpfs here: ") + strerror(errno);
        else
            mounted = true;
    }
    bool make_read_only() {
        return mount("tmpfs", dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    ~tmpfs_mount() {
        if (mounted)
            umount2(dir.c_str(), MNT_DETACH);
    }
};

class CalFileFaults : public testing::Test {
protected:
    temp_dir tmp;
    std::string dir, path, backup;
    readerinfo_t info;

    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        dir = tmp.file("cal");
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        set_paths();
        memset(&info, 0, sizeof info);
        reader_clear(&info);
        info.SerialNumber = 0x1a2b;
        info.Wavelength = 660;
    }
    void set_paths() {
        path = dir + "/cal.txt";
        backup = dir + "/" + backup_name;
    }
    int save(reader_uint calmin) {
        info.calmin = calmin;
        return save_calib(path.c_str(), when, 0.0f, 1.0f, "fault", &info);
    }
    // The calmin that the file holds for the reader, or -1 when none loads.
    int loaded_calmin(const std::string &file) {
        readerinfo_t r = info;
        r.calmin = 0xDEAD;
        return load_calibration(file.c_str(), &r) == 0 ? r.calmin : -1;
    }
};

// A save history: calibration lines with calmin newest, newest-1, ..., 1,
// each whole, then the reader line. Returns newest, or -1 when the file is
// not such a history.
int history_newest(const std::string &text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos)
            return -1; // a line without its end
        lines.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    if (lines.size() < 2 || lines.back().compare(0, 12, "reader.1a2b=") != 0)
        return -1;
    const int newest = (int)lines.size() - 1;
    for (int i = 0; i < newest; i++) {
        char expect[64];
        snprintf(expect, sizeof expect, "calib.1a2b:660=%04x,ff00 0.000000,1.000000 ", newest - i);
        if (lines[i].compare(0, strlen(expect), expect) != 0 || lines[i].size() != strlen(expect) + 24 + 6)
            return -1;
    }
    return newest;
}

// At least 500 saves killed at random moments: after each kill the file and
// the backup are whole histories, the file loads its newest calibration, and
// no kill takes back a save that had finished.
TEST_F(CalFileFaults, FiveHundredKilledSavesLoseNothing) {
    // Kills come at random within a few saves' time, measured here: on a
    // loaded machine or a slow disk a save takes longer, and kills that all
    // came before the first save ended would test nothing.
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 1; i <= 3; i++)
        ASSERT_EQ(save(i), 0);
    const double save_us =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() / 3;
    unlink(path.c_str());
    unlink(backup.c_str());
    ASSERT_EQ(save(1), 0);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> delay_us(0, std::max(6000, (int)(3 * save_us)));
    int newest = 1;
    for (int kill_no = 0; kill_no < 500; kill_no++) {
        SCOPED_TRACE("kill " + std::to_string(kill_no));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            reader_uint calmin = (reader_uint)loaded_calmin(path);
            for (;;)
                if (save(++calmin) != 0)
                    _exit(3);
        }
        usleep((useconds_t)delay_us(rng));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself, status " << status;

        const int now = history_newest(read_file(path));
        ASSERT_GE(now, newest) << "the calibration file is damaged or went back";
        newest = now;
        ASSERT_EQ(loaded_calmin(path), newest);
        if (file_exists(backup)) {
            const int older = history_newest(read_file(backup));
            ASSERT_GE(older, 1) << "the backup is damaged";
            ASSERT_LE(older, newest);
        }
    }
    EXPECT_GT(newest, 1) << "no save finished between the kills";
    // A killed save leaves its temporary file; report how many there are.
    std::printf("%d saves finished; %d temporary files left by killed saves\n", newest - 1,
                temp_files_in(dir));
}

// A save that meets a full file system returns a code and leaves the file,
// the backup and the directory as they were.
TEST_F(CalFileFaults, FullDiskFailsWithACodeAndKeepsTheFile) {
    tmpfs_mount fs(dir, "size=64k");
    if (!fs.mounted)
        GTEST_SKIP() << fs.why_not;
    struct row {
        size_t old_lines;  // comment lines in the old file, 100 bytes each
        size_t free_bytes; // left free on the file system
    };
    const row rows[] = {{0, 0}, {120, 4096}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        for (const std::string &name : testsupport::dir_entries(dir))
            unlink((dir + "/" + name).c_str());
        std::string old;
        for (size_t k = 0; k < rows[i].old_lines; k++)
            old += "#" + std::string(98, 'c') + "\n";
        write_file(path, old);
        ASSERT_EQ(save(1), 0);
        ASSERT_EQ(save(2), 0);
        const std::string file_before = read_file(path), backup_before = read_file(backup);

        // Fill the file system, then give back what the row leaves free.
        const std::string filler = dir + "/filler";
        int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        char block[4096] = {};
        while (write(fd, block, sizeof block) > 0) {
        }
        ASSERT_EQ(errno, ENOSPC);
        struct stat st;
        ASSERT_EQ(fstat(fd, &st), 0);
        ASSERT_EQ(ftruncate(fd, st.st_size > (off_t)rows[i].free_bytes
                                    ? st.st_size - (off_t)rows[i].free_bytes
                                    : 0),
                  0);
        close(fd);

        const int r = save(3);
        EXPECT_TRUE(r == RDR_CAL_WRITE_CALIB || r == RDR_CAL_WRITE_READER || r == RDR_CAL_CLOSE_TEMP) << r;
        EXPECT_EQ(read_file(path), file_before);
        EXPECT_EQ(read_file(backup), backup_before);
        EXPECT_EQ(temp_files_in(dir), 0);
        EXPECT_EQ(loaded_calmin(path), 2);

        // With room again the next save goes through.
        unlink(filler.c_str());
        EXPECT_EQ(save(3), 0);
        EXPECT_EQ(loaded_calmin(path), 3);
        EXPECT_EQ(read_file(backup), file_before);
    }
}

TEST_F(CalFileFaults, ReadOnlyDirectoryFailsWithACodeAndStillLoads) {
    tmpfs_mount fs(dir, "size=64k");
    if (!fs.mounted)
        GTEST_SKIP() << fs.why_not;
    ASSERT_EQ(save(1), 0);
    ASSERT_EQ(save(2), 0);
    const std::string file_before = read_file(path), backup_before = read_file(backup);
    ASSERT_TRUE(fs.make_read_only()) << strerror(errno);

    EXPECT_EQ(save(3), RDR_CAL_TEMPFILE);
    EXPECT_EQ(read_file(path), file_before);
    EXPECT_EQ(read_file(backup), backup_before);
    EXPECT_EQ(testsupport::dir_entries(dir).size(), 2u);
    EXPECT_EQ(loaded_calmin(path), 2);
}

// A directory named like the calibration file is neither replaced nor
// entered; the save reports that the file cannot be read, the load finds
// no calibration.
TEST_F(CalFileFaults, CalibrationFileThatIsADirectory) {
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    write_file(path + "/inside", "kept\n");

    EXPECT_EQ(save(1), RDR_CAL_READ);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(read_file(path + "/inside"), "kept\n");
    EXPECT_EQ(testsupport::dir_entries(dir), std::vector<std::string>{"cal.txt"});

    readerinfo_t r = info;
    r.calmin = 0x1234;
    EXPECT_EQ(load_calibration(path.c_str(), &r), RDR_NO_CALIBRATION);
    EXPECT_EQ(r.calmin, r.admin);
    EXPECT_EQ(r.calmax, r.admax);
}

// Links planted at the backup's name and at names of the temporary files'
// form, pointing at files elsewhere: the save writes through none of them.
// The backup's link is replaced by the backup itself; the temporary file is
// created exclusively under a fresh name, so a link there is never opened.
TEST_F(CalFileFaults, SymlinksPlantedAtTheSavesNamesAreNotFollowed) {
    const std::string victim = tmp.file("victim");
    write_file(victim, "not yours\n");
    ASSERT_EQ(symlink(victim.c_str(), backup.c_str()), 0);
    std::vector<std::string> planted = {std::string(temp_prefix) + "XXXXXX"};
    std::mt19937 rng(7);
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int k = 0; k < 200; k++) {
        std::string name = temp_prefix;
        for (int c = 0; c < 6; c++)
            name += alphabet[rng() % (sizeof alphabet - 1)];
        planted.push_back(name);
    }
    for (const std::string &name : planted)
        ASSERT_EQ(symlink(victim.c_str(), (dir + "/" + name).c_str()), 0);

    ASSERT_EQ(save(1), 0);
    const std::string first = read_file(path);
    ASSERT_EQ(save(2), 0);

    EXPECT_EQ(read_file(victim), "not yours\n");
    EXPECT_FALSE(is_symlink(path));
    EXPECT_FALSE(is_symlink(backup));
    EXPECT_EQ(read_file(backup), first);
    EXPECT_EQ(loaded_calmin(path), 2);
    for (const std::string &name : planted)
        EXPECT_TRUE(is_symlink(dir + "/" + name)) << name;
    EXPECT_EQ(testsupport::dir_entries(dir).size(), planted.size() + 2);
}

} // namespace
