// libkestrel inside a host's process: the host's comma-decimal locale, the
// programs the host starts, a second process on the same reader, saves from
// several processes at once, and a fast timer signal. The second process, the
// saving processes and the host under the timer are process_host, a small
// host of the shared library, run as real child processes.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <poll.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "calibrat/calibrat.h"
#include "kestrel/kestrel.h"
#include "readersim.h"
#include "support.h"
#include "usb/transport.h"

using testsupport::background_program;
using testsupport::read_file;
using testsupport::run_program;
using testsupport::run_result;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

const char temp_prefix[] = "com.korvel.calib.";
const reader_time nov14 = 1700000000; // Tue Nov 14 22:13:20 2023 UTC

std::string host_program() { return testsupport::bin_dir() + "/process_host"; }

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos)
            nl = text.size();
        out.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return out;
}

bool has_line(const std::string &text, const std::string &line) {
    for (const std::string &l : lines_of(text))
        if (l == line)
            return true;
    return false;
}

// What a child started now inherits: the target of each descriptor that
// process_host finds open, apart from its standard streams.
std::vector<std::string> inherited_targets() {
    run_result r = run_program({host_program(), "fds"}, 30);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> targets;
    for (const std::string &l : lines_of(r.out)) {
        size_t sp = l.find(' ');
        if (sp != std::string::npos && std::atoi(l.c_str()) > 2)
            targets.push_back(l.substr(sp + 1));
    }
    return targets;
}

// Regular files named like the save's temporary file: the prefix and six
// letters or digits.
int temp_files_in(const std::string &dir) {
    int n = 0;
    for (const std::string &name : testsupport::dir_entries(dir)) {
        const size_t prefix = sizeof temp_prefix - 1;
        struct stat st;
        if (name.size() == prefix + 6 && name.compare(0, prefix, temp_prefix) == 0 &&
            std::all_of(name.begin() + prefix, name.end(),
                        [](char c) { return std::isalnum((unsigned char)c); }) &&
            lstat((dir + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            n++;
    }
    return n;
}

readerinfo_t reader_1a2b() {
    readerinfo_t info;
    reader_clear(&info);
    info.SerialNumber = 0x1a2b;
    info.Wavelength = 660;
    info.calmin = 62;
    info.calmax = 58812;
    return info;
}

// ---- The host's locale ----

// A comma-decimal locale, made with localedef when the system lacks it. It
// is made before this process looks for it: the C library would keep its
// first view of the locale archive. Outside CI a machine that cannot make it
// skips; under CI that fails.
bool have_comma_locale(std::string *why) {
    run_result made = run_program(
        {"/bin/sh", "-c", "locale -a | grep -qix de_DE.utf8 || localedef -i de_DE -f UTF-8 de_DE.UTF-8"},
        120);
    locale_t loc = newlocale(LC_ALL_MASK, "de_DE.UTF-8", (locale_t)0);
    if (!loc) {
        *why = "de_DE.UTF-8 cannot be made (localedef needs root and Debian's locales package): status " +
               std::to_string(made.status) + " " + made.err;
        return false;
    }
    freelocale(loc);
    return true;
}

class HostLocale : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!have_comma_locale(&why)) {
            if (testsupport::under_ci())
                FAIL() << "no comma-decimal locale under CI: " << why;
            GTEST_SKIP() << "no comma-decimal locale: " << why;
        }
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override { setlocale(LC_ALL, "C"); }
    // Sets the process's whole locale as a host does, and checks that
    // printf now writes a decimal comma there.
    static void use_locale(const char *name) {
        ASSERT_NE(setlocale(LC_ALL, name), nullptr) << name;
        char text[16];
        snprintf(text, sizeof text, "%.1f", 0.5);
        ASSERT_STREQ(text, strcmp(name, "C") == 0 ? "0.5" : "0,5") << name;
    }
};

// The file is the same whatever the locale of the saving process, and loads
// whole (calibration and date) whatever the locale of the loading one.
TEST_F(HostLocale, CalibrationFileIsTheSameInEveryLocale) {
    struct row {
        const char *save_in, *load_in;
    };
    const row rows[] = {{"de_DE.UTF-8", "de_DE.UTF-8"}, {"de_DE.UTF-8", "C"}, {"C", "de_DE.UTF-8"}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE("row " + std::to_string(i) + ": saved in " + rows[i].save_in + ", loaded in " +
                     rows[i].load_in);
        temp_dir dir;
        const std::string path = dir.file("cal.txt");
        readerinfo_t info = reader_1a2b();
        use_locale(rows[i].save_in);
        ASSERT_EQ(save_calib(path.c_str(), nov14, 0.05f, 0.85f, "Prüfung", &info), 0);
        EXPECT_EQ(lines_of(read_file(path)).at(0),
                  "calib.1a2b:660=003e,e5bc 0.050000,0.850000 Tue Nov 14 22:13:20 2023 Prüfung");

        use_locale(rows[i].load_in);
        readerinfo_t loaded = reader_1a2b();
        loaded.calmin = loaded.calmax = 0;
        loaded.lastcal = -1;
        EXPECT_EQ(load_calibration(path.c_str(), &loaded), 0);
        EXPECT_EQ(loaded.calmin, 62);
        EXPECT_EQ(loaded.calmax, 58812);
        EXPECT_EQ(loaded.lastcal, nov14);
    }
}

// ---- The reader held by this process ----

// A simulated reader activated by this process through slot 0.
class HeldReader : public testing::Test {
protected:
    readersim::simulator sim;
    readersim::config cfg;

    void SetUp() override {
        ASSERT_TRUE(sim.start(cfg)) << "cannot start the reader simulator";
        memset(bsdPaths, 0, sizeof bsdPaths);
        snprintf(bsdPaths[0], sizeof bsdPaths[0], "%s", sim.path().c_str());
        ASSERT_EQ(reader_activate(nullptr, nullptr, nullptr, READER_CLASS_USB, 0), 0);
        ASSERT_TRUE(sim.wait_for('l'));
    }
    void TearDown() override {
        reader_stop();
        reader_usb_close();
        serial_registry_set(nullptr, nullptr, 0);
    }
};

int scans_ended, scan_samples, scan_failures;

int count_scan(unsigned char *, int count) {
    if (count == 0)
        scans_ended++;
    else if (count > 0)
        scan_samples += count;
    else
        scan_failures++;
    return 0;
}

// Announces one scan and polls until it has ended (10 s at most); true when
// it arrived whole and nothing failed.
bool one_scan(readersim::simulator &sim) {
    scans_ended = scan_samples = scan_failures = 0;
    reader_start(count_scan);
    sim.announce();
    for (int i = 0; i < 10000 && scans_ended == 0 && scan_failures == 0; i++) {
        reader_poll();
        usleep(1000);
    }
    return scans_ended == 1 && scan_samples == readersim::sample_count && scan_failures == 0;
}

// A second process that looks for readers while this one holds the reader
// skips it with a line that says why, fails to activate it with 74, and
// sends it nothing: neither a byte nor new line settings. This process's
// scans go on untouched. Once this process closes the device, the other
// one finds, activates and scans it.
TEST_F(HeldReader, ASecondProcessFindsItInUseAndLeavesItAlone) {
    struct termios before, after;
    ASSERT_EQ(tcgetattr(fileDescriptor, &before), 0);
    readersim::config announcing = cfg;
    announcing.announce_every = 0.3;
    run_result r = run_program({host_program(), sim.path(), "enumerate", "activate"}, 60);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "status:" + sim.path() + " is in use by another process")) << r.out;
    EXPECT_TRUE(has_line(r.out, "enumerate 0")) << r.out;
    EXPECT_TRUE(has_line(r.out, "activate 74")) << r.out;
    EXPECT_EQ(sim.received_text(), "nl");
    ASSERT_EQ(tcgetattr(fileDescriptor, &after), 0);
    EXPECT_TRUE(before.c_iflag == after.c_iflag && before.c_oflag == after.c_oflag &&
                before.c_cflag == after.c_cflag && before.c_lflag == after.c_lflag &&
                memcmp(before.c_cc, after.c_cc, sizeof before.c_cc) == 0 &&
                cfgetispeed(&before) == cfgetispeed(&after))
        << "the line settings changed";

    EXPECT_TRUE(one_scan(sim));
    EXPECT_EQ(sim.received_text(), "nls");

    reader_stop();
    reader_usb_close();
    sim.set_config(announcing);
    r = run_program({host_program(), sim.path(), "find", "scans:1"}, 60);
    EXPECT_TRUE(has_line(r.out, "find 0")) << r.out;
    EXPECT_TRUE(has_line(r.out, "scans 1 failures 0")) << r.out;
}

// Discovery inside the process that holds the reader works as before: it
// takes the device over from the active channel, finds the reader and
// closes it again.
TEST_F(HeldReader, DiscoveryInTheSameProcessStillFindsIt) {
    static std::vector<std::string> lines;
    lines.clear();
    auto keep = [](const char *line) {
        lines.push_back(line);
        return 0;
    };
    const char *name = "usbserial-0000self";
    const char *path = sim.path().c_str();
    ASSERT_EQ(serial_registry_set(&name, &path, 1), 0);
    EXPECT_EQ(reader_enumerate(keep, nullptr, nullptr, 0), 1);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Got info for reader 1234"), lines.end());
    for (const std::string &l : lines)
        EXPECT_EQ(l.find("in use"), std::string::npos) << l;
    EXPECT_EQ(fileDescriptor, -1);
}

// ---- What the programs the host starts inherit ----

// The reader's descriptor would keep its number in the child. (The
// simulator keeps a descriptor of the same terminal that children inherit;
// that one is not the library's.)
TEST_F(HeldReader, AProgramTheHostStartsInheritsNoReader) {
    const std::string held = std::to_string(fileDescriptor) + " " + sim.path();
    run_result r = run_program({host_program(), "fds"}, 30);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(has_line(r.out, held)) << r.out;
}

// While a save runs, each fsync of the library first starts process_host fds
// and keeps what it lists; nothing of the save's directory may be in it.
std::vector<std::vector<std::string>> *children_during_save = nullptr;

} // namespace

extern "C" int fsync(int fd) {
    if (children_during_save)
        children_during_save->push_back(inherited_targets());
    return (int)syscall(SYS_fsync, fd);
}

namespace {

TEST(ChildProcesses, AProgramStartedDuringASaveInheritsNothingOfIt) {
    temp_dir dir;
    const std::string path = dir.file("cal.txt");
    readerinfo_t info = reader_1a2b();
    std::vector<std::vector<std::string>> seen;
    children_during_save = &seen;
    const int first = save_calib(path.c_str(), nov14, 0.05f, 0.85f, "first", &info);
    const int second = save_calib(path.c_str(), nov14, 0.05f, 0.85f, "second", &info);
    children_during_save = nullptr;
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    // The temporary file's sync and the directory's, in each save.
    EXPECT_GE(seen.size(), 4u);
    for (size_t i = 0; i < seen.size(); i++)
        for (const std::string &t : seen[i])
            EXPECT_NE(t.compare(0, dir.path().size(), dir.path()), 0) << "child " << i << " holds " << t;
}

// ---- Saves from several processes ----

// Three processes save 120 calibrations each into one file at the same
// time, while this process loads it over and over: every save returns 0,
// every calibration is in the final file once, every load after the first
// finds a calibration, and no temporary file is left.
TEST(ConcurrentSaves, ThreeProcessesSavingAtOnceLoseNothing) {
    temp_dir dir;
    const std::string path = dir.file("cal.txt");
    const int processes = 3, saves = 120;
    std::vector<std::unique_ptr<background_program>> savers;
    for (int p = 0; p < processes; p++)
        savers.push_back(std::make_unique<background_program>(std::vector<std::string>{
            host_program(), "save", path, "p" + std::to_string(p), std::to_string(saves)}));

    int loads = 0, failed_loads = 0;
    bool loaded_once = false;
    const time_t end = time(nullptr) + 200;
    for (bool running = true; running && time(nullptr) < end;) {
        running = false;
        for (auto &s : savers)
            running = s->wait(0) == -1 || running;
        readerinfo_t info = reader_1a2b();
        const int r = load_calibration(path.c_str(), &info);
        loaded_once = loaded_once || r == 0;
        loads++;
        failed_loads += loaded_once && r != 0;
        usleep(2000);
    }
    for (int p = 0; p < processes; p++) {
        EXPECT_EQ(savers[p]->first_line(5), "saved " + std::to_string(saves)) << "process " << p;
        EXPECT_EQ(savers[p]->wait(5), 0) << "process " << p;
    }
    EXPECT_EQ(failed_loads, 0) << "of " << loads << " loads";
    std::printf("%d loads while the saves ran\n", loads);

    std::map<std::string, int> tags;
    int reader_lines = 0;
    for (const std::string &l : lines_of(read_file(path))) {
        if (l.compare(0, 15, "calib.1a2b:660=") == 0)
            tags[l.substr(l.rfind(' ') + 1)]++;
        else if (l.compare(0, 12, "reader.1a2b=") == 0)
            reader_lines++;
        else
            ADD_FAILURE() << "unexpected line: " << l;
    }
    EXPECT_EQ(reader_lines, 1);
    EXPECT_EQ(tags.size(), (size_t)(processes * saves));
    for (int p = 0; p < processes; p++)
        for (int i = 0; i < saves; i++) {
            const std::string tag = "p" + std::to_string(p) + "-" + std::to_string(i);
            EXPECT_EQ(tags[tag], 1) << tag;
        }
    EXPECT_EQ(temp_files_in(dir.path()), 0);
}

// Killed saves leave their temporary files; the next save removes every
// regular file of that name form and nothing else: names of another length,
// a link and a directory of that form, other files.
TEST(ConcurrentSaves, ASaveRemovesWhatKilledSavesLeftBehind) {
    temp_dir dir;
    const std::string path = dir.file("cal.txt");
    readerinfo_t info = reader_1a2b();
    ASSERT_EQ(save_calib(path.c_str(), nov14, 0.05f, 0.85f, "first", &info), 0);

    const std::string victim = dir.file("victim");
    write_file(victim, "not a leftover\n");
    const std::vector<std::string> leftovers = {"com.korvel.calib.AbC123", "com.korvel.calib.zzzzzz",
                                                "com.korvel.calib.000000"};
    const std::vector<std::string> kept = {"com.korvel.calib.AbC12",  "com.korvel.calib.AbC1234",
                                           "com.korvel.calib.AbC-12", "com.korvel.calib.Link12",
                                           "com.korvel.calib.Dir123", "notes.txt"};
    for (const std::string &name : leftovers)
        write_file(dir.file(name), "calib.1a2b:660=0001,0002 half a save");
    for (const std::string &name : kept) {
        if (name.find("Link") != std::string::npos)
            ASSERT_EQ(symlink(victim.c_str(), dir.file(name).c_str()), 0);
        else if (name.find("Dir") != std::string::npos)
            ASSERT_EQ(mkdir(dir.file(name).c_str(), 0700), 0);
        else
            write_file(dir.file(name), "kept\n");
    }

    // Real saves killed at random moments add their own leftovers.
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    for (int k = 0; k < 30; k++) {
        background_program saver({host_program(), "save", path, "k" + std::to_string(k), "100000"});
        usleep(std::uniform_int_distribution<useconds_t>(5000, 40000)(rng));
        saver.signal(SIGKILL);
        EXPECT_NE(saver.wait(10), 0);
    }
    std::printf("%d temporary files before the last save\n", temp_files_in(dir.path()));

    ASSERT_EQ(save_calib(path.c_str(), nov14, 0.05f, 0.85f, "last", &info), 0);
    EXPECT_EQ(temp_files_in(dir.path()), 0);
    std::vector<std::string> entries = testsupport::dir_entries(dir.path());
    for (const std::string &name : kept)
        EXPECT_NE(std::find(entries.begin(), entries.end(), name), entries.end()) << name;
    EXPECT_EQ(read_file(victim), "not a leftover\n");
    const std::string newest = lines_of(read_file(path)).at(0);
    EXPECT_EQ(newest.substr(newest.rfind(' ') + 1), "last");
}

// ---- A fast timer signal ----

// Installs a SIGALRM handler without SA_RESTART and a timer that fires
// every 200 us (5 kHz) for this process; stopped and restored on scope exit.
class fast_timer {
public:
    fast_timer() {
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_handler = [](int) { fired.fetch_add(1, std::memory_order_relaxed); };
        sigemptyset(&sa.sa_mask);
        sigaction(SIGALRM, &sa, &old_);
        struct itimerval it = {{0, 200}, {0, 200}};
        setitimer(ITIMER_REAL, &it, nullptr);
    }
    ~fast_timer() {
        struct itimerval off = {{0, 0}, {0, 0}};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &old_, nullptr);
    }
    static std::atomic<long> fired;

private:
    struct sigaction old_;
};
std::atomic<long> fast_timer::fired;

// Threads started inside this scope never take SIGALRM, so only the thread
// that runs the library is interrupted.
struct alarm_blocked {
    sigset_t set, old;
    alarm_blocked() {
        sigemptyset(&set);
        sigaddset(&set, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &set, &old);
    }
    ~alarm_blocked() { pthread_sigmask(SIG_SETMASK, &old, nullptr); }
};

// A host under a 5 kHz timer signal finds and activates a reader that
// answers each information request half a second late.
TEST(TimerSignals, AHostUnderAFastTimerWaitsForALateReply) {
    readersim::simulator sim;
    readersim::config cfg;
    cfg.silent = true;
    ASSERT_TRUE(sim.start(cfg));
    std::atomic<bool> done{false};
    std::thread answer([&] {
        for (int n = 1; n <= 2 && !done; n++) {
            while (!done && !sim.wait_for('n', n, 0.2)) {
            }
            usleep(500000);
            if (!done)
                sim.send(readersim::make_reply(cfg.id));
        }
    });
    run_result r = run_program({host_program(), "--timer", "5000", sim.path(), "find"}, 60);
    done = true;
    answer.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has_line(r.out, "find 0")) << r.out;
    // The timer really ran: at 5 kHz over two drains and two late replies.
    const std::string last = lines_of(r.out).empty() ? "" : lines_of(r.out).back();
    ASSERT_EQ(last.compare(0, 8, "signals "), 0) << r.out;
    EXPECT_GT(std::atol(last.c_str() + 8), 1000L) << r.out;
}

// Opening the channel drains the line until it has been quiet for a second,
// timer signals or not: a byte that comes 0.9 s into the drain is drained,
// and nothing is left to read afterwards.
TEST(TimerSignals, TheOpenDrainsAByteThatComesLateInTheDrain) {
    readersim::simulator sim;
    std::thread stray;
    {
        alarm_blocked blocked;
        ASSERT_TRUE(sim.start({}));
        stray = std::thread([&] {
            usleep(900000);
            sim.send({'x'});
        });
    }
    memset(bsdPaths, 0, sizeof bsdPaths);
    snprintf(bsdPaths[0], sizeof bsdPaths[0], "%s", sim.path().c_str());
    long fired_before = fast_timer::fired;
    int opened;
    {
        fast_timer timer;
        opened = reader_usb_open(0);
        stray.join();
    }
    EXPECT_GT(fast_timer::fired - fired_before, 100L) << "the timer did not run";
    ASSERT_EQ(opened, 0);
    struct pollfd p = {fileDescriptor, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 500), 0) << "the stray byte was left for the next read";
    reader_usb_close();
}

} // namespace
