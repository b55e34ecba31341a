// Saves that the atomic way cannot make but that still succeed: a file the
// saving process may write in a directory it may not, an existing file it may
// not read, and the mode a new file gets. Tests run as root, whom permissions
// do not stop, so each save that meets permissions runs in a child process
// that has become the unprivileged "nobody" user.
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "calibrat/calibrat.h"
#include "support.h"

using testsupport::dir_entries;
using testsupport::read_file;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

const char backup_name[] = "com.korvel.calibration.bak";
const reader_time nov14 = 1700000000; // Tue Nov 14 22:13:20 2023 UTC
const uid_t nobody = 65534;
const gid_t nogroup = 65534;

struct file_state {
    mode_t mode = 0;
    uid_t owner = 0;
    ino_t inode = 0;
};

file_state state_of(const std::string &path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return {st.st_mode & 0777, st.st_uid, st.st_ino};
}

class CalFileFallbacks : public ::testing::Test {
protected:
    temp_dir tmp;
    std::string dir, path, backup;
    readerinfo_t info{};

    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to hand the files to another user";
        setenv("TZ", "UTC0", 1);
        tzset();
        // nobody may pass through the temporary directory to its own.
        ASSERT_EQ(chmod(tmp.path().c_str(), 0711), 0);
        dir = tmp.file("cal");
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        path = dir + "/cal.txt";
        backup = dir + "/" + backup_name;
        reader_clear(&info);
        info.SerialNumber = 0x1a2b;
        info.Wavelength = 660;
        info.calmin = 62;
        info.calmax = 58812;
    }
    int save(const char *extra) { return save_calib(path.c_str(), nov14, 0.05f, 0.85f, extra, &info); }
    // The save in a child that has given up root for nobody, with umask 022.
    // Its result, or 1 when the child could not become nobody.
    int save_as_nobody(const char *extra) {
        int fds[2];
        if (pipe(fds) != 0)
            return 1;
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            int rc = 1;
            umask(022);
            if (setgid(nogroup) == 0 && setuid(nobody) == 0 && geteuid() == nobody)
                rc = save(extra);
            _exit(write(fds[1], &rc, sizeof rc) == (ssize_t)sizeof rc ? 0 : 2);
        }
        close(fds[1]);
        int rc = 1;
        if (read(fds[0], &rc, sizeof rc) != (ssize_t)sizeof rc)
            rc = 1;
        close(fds[0]);
        waitpid(pid, nullptr, 0);
        return rc;
    }
    std::string first_line() {
        const std::string text = read_file(path);
        return text.substr(0, text.find('\n'));
    }
};

// A calibration file that nobody may write, in a directory nobody may not
// write: the new calibration is written in place on top of the old content
// (the same file, mode and owner), and the backup stays as it was. A file
// that nobody may not write, or may not read (its history could not be kept
// and no backup can be made there), is left alone with -600.
TEST_F(CalFileFallbacks, WritableFileInAnUnwritableDirectoryIsRewrittenInPlace) {
    struct row {
        mode_t mode;
        int result;
    };
    const row rows[] = {{0644, RDR_OK}, {0444, RDR_CAL_TEMPFILE}, {0200, RDR_CAL_TEMPFILE}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE("row " + std::to_string(i));
        ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
        for (const std::string &name : dir_entries(dir))
            unlink((dir + "/" + name).c_str());
        ASSERT_EQ(save("first"), 0);
        ASSERT_EQ(save("second"), 0);
        ASSERT_EQ(chown(path.c_str(), nobody, nogroup), 0);
        ASSERT_EQ(chmod(path.c_str(), rows[i].mode), 0);
        const std::string file_before = read_file(path), backup_before = read_file(backup);
        const file_state before = state_of(path);
        ASSERT_EQ(chmod(dir.c_str(), 0555), 0);

        const int rc = save_as_nobody("third");
        ASSERT_NE(rc, 1) << "cannot become nobody here";
        EXPECT_EQ(rc, rows[i].result);
        const std::string file_after = read_file(path);
        if (rows[i].result == RDR_OK) {
            EXPECT_EQ(first_line(),
                      "calib.1a2b:660=003e,e5bc 0.050000,0.850000 Tue Nov 14 22:13:20 2023 third");
            EXPECT_EQ(file_after.substr(first_line().size() + 1), file_before);
            readerinfo_t loaded = info;
            loaded.calmin = 0;
            EXPECT_EQ(load_calibration(path.c_str(), &loaded), 0);
            EXPECT_EQ(loaded.calmin, 62);
        } else {
            EXPECT_EQ(file_after, file_before);
        }
        const file_state after = state_of(path);
        EXPECT_EQ(after.inode, before.inode);
        EXPECT_EQ(after.mode, rows[i].mode);
        EXPECT_EQ(after.owner, nobody);
        EXPECT_EQ(read_file(backup), backup_before);
        EXPECT_EQ(dir_entries(dir), (std::vector<std::string>{"cal.txt", backup_name}));
    }
}

// An existing file that nobody may not read, in nobody's own directory:
// the save succeeds, the new file starts the history afresh with the mode a
// new file gets, and the unreadable file becomes the backup as it was.
TEST_F(CalFileFallbacks, UnreadableFileBecomesTheBackup) {
    const std::string old =
        "calib.1a2b:660=0010,0020 0.050000,0.850000 Tue Nov 14 22:13:20 2023 old\n# notes\n";
    write_file(path, old);
    write_file(backup, "an older backup\n");
    ASSERT_EQ(chown(dir.c_str(), nobody, nogroup), 0);
    ASSERT_EQ(chown(path.c_str(), nobody, nogroup), 0);
    ASSERT_EQ(chmod(path.c_str(), 0200), 0);

    const int rc = save_as_nobody("new");
    ASSERT_NE(rc, 1) << "cannot become nobody here";
    EXPECT_EQ(rc, RDR_OK);
    EXPECT_EQ(read_file(path), "calib.1a2b:660=003e,e5bc 0.050000,0.850000 Tue Nov 14 22:13:20 2023 new\n"
                               "reader.1a2b=0000,ffff,ffff 0,660,0,0 0,0 0000,ff00\n");
    const file_state now = state_of(path);
    EXPECT_EQ(now.mode, 0644u);
    EXPECT_EQ(now.owner, nobody);
    EXPECT_EQ(read_file(backup), old);
    EXPECT_EQ(state_of(backup).mode, 0200u);
    EXPECT_EQ(dir_entries(dir), (std::vector<std::string>{"cal.txt", backup_name}));
}

// A new calibration file gets 0666 less the umask, as fopen gives it; an
// existing one keeps its mode whatever the umask.
TEST_F(CalFileFallbacks, NewFileFollowsTheUmaskAndAnExistingOneKeepsItsMode) {
    struct row {
        mode_t umask;
        int old_mode; // -1: no file yet
        mode_t mode;
    };
    const row rows[] = {
        {0, -1, 0666}, {027, -1, 0640}, {077, -1, 0600}, {022, 0600, 0600}, {077, 0664, 0664}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE("row " + std::to_string(i));
        unlink(path.c_str());
        if (rows[i].old_mode >= 0) {
            write_file(path, "# old\n");
            ASSERT_EQ(chmod(path.c_str(), (mode_t)rows[i].old_mode), 0);
        }
        const mode_t saved_mask = umask(rows[i].umask);
        const int rc = save("mode");
        umask(saved_mask);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(state_of(path).mode, rows[i].mode);
    }
}

} // namespace
