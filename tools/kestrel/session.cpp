// Shared parts of the host program's commands: output, options, devices,
// activation and bounded waits for scans.
#include "session.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

#include "kestrel/kestrel.h"

namespace host {

namespace {

bool quiet_mode = false;
bool verbose_mode = false;

// What the scan-data callback has seen of the scan being waited for.
struct capture_state {
    std::vector<uint8_t> samples;
    bool complete = false;
    int failure = 0; // -1 poll read failed, -2 transfer failed
};
capture_state capture;

int on_scan_data(unsigned char *buf, int count) {
    if (count > 0 && buf)
        capture.samples.assign(buf, buf + count);
    else if (count == 0)
        capture.complete = true;
    else if (capture.failure == 0)
        capture.failure = count;
    return 0;
}

// A reader that keeps talking during a broken frame holds reader_poll until
// the library's own bound on a read (10 s) runs out, far past a short
// --timeout. The watchdog keeps the user's bound from outside: when it fires
// it stops the reader, puts the line settings back, writes its line and ends
// the process, since the library call cannot be interrupted and resumed.
// Stopping and closing only write to and reset the descriptor, which a
// signal handler may do; the interrupted call never runs on.
char watchdog_line[512];
size_t watchdog_length;

void on_watchdog(int) {
    reader_stop();
    reader_usb_close();
    ssize_t ignored = write(2, watchdog_line, watchdog_length);
    (void)ignored;
    _exit(1);
}

void watchdog_arm(double seconds, const std::string &line) {
    snprintf(watchdog_line, sizeof watchdog_line, "%s\n", line.c_str());
    watchdog_length = strlen(watchdog_line);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_watchdog;
    sigaction(SIGALRM, &sa, nullptr);
    struct itimerval t;
    memset(&t, 0, sizeof t);
    t.it_value.tv_sec = (time_t)seconds;
    t.it_value.tv_usec = (suseconds_t)((seconds - (double)t.it_value.tv_sec) * 1e6);
    fflush(stdout);
    setitimer(ITIMER_REAL, &t, nullptr);
}

void watchdog_disarm() {
    struct itimerval t;
    memset(&t, 0, sizeof t);
    setitimer(ITIMER_REAL, &t, nullptr);
}

// Time a fetch that began just before the deadline may still take: the
// frame on the line plus the transport's silence limit, with room to spare.
constexpr double fetch_grace_s = 3.0;

} // namespace

std::vector<option_spec> common_specs() {
    return {
        {"calfile", "PATH",
         "calibration file (default $XDG_CONFIG_HOME/kestrel/calibration.txt,"
         " else ~/.config/kestrel/calibration.txt)"},
        {"settings", "PATH", "settings file handed to the library (default beside the calibration file)"},
        {"quiet", nullptr, "no status lines and no progress"},
        {"verbose", nullptr, "status lines and details"},
        {"help", nullptr, "show this help"},
    };
}

std::vector<option_spec> reader_specs() {
    return {
        {"device", "NAME=PATH",
         "use this serial device instead of the system's (repeatable); NAME must"
         " begin with usbserial-0000 to be probed; a PATH alone is probed too"},
        {"id", "N", "activate reader id N (256 is the first reader) instead of the one found first"},
    };
}

bool take_common(const parsed_args &args, common_options &out, std::string &error,
                 const std::string &calfile_default) {
    out.quiet = args.has("quiet");
    out.verbose = args.has("verbose");
    if (out.quiet && out.verbose) {
        error = "--quiet and --verbose exclude each other";
        return false;
    }
    out.calfile =
        args.last("calfile", calfile_default.empty() ? config_file("calibration.txt") : calfile_default);
    out.settings = args.last("settings", dir_of(out.calfile) + "/settings.ini");
    if (out.calfile.empty()) {
        error = "--calfile needs a file name";
        return false;
    }
    quiet_mode = out.quiet;
    verbose_mode = out.verbose;
    return true;
}

bool take_reader(const parsed_args &args, reader_options &out, std::string &error) {
    out.devices = args.all("device");
    out.has_id = args.has("id");
    if (out.has_id) {
        long id = 0;
        if (!parse_int(args.last("id"), -1, 0xFFFF, id)) {
            error = "bad reader id '" + args.last("id") + "' (a number such as 256 or 0x100)";
            return false;
        }
        out.id = (int)id;
    }
    return true;
}

int status_line(const char *line) {
    if (quiet_mode)
        return 0;
    printf("%s\n", line);
    fflush(stdout);
    return 0;
}

void progress(const std::string &line) { status_line(line.c_str()); }

void detail(const std::string &line) {
    if (verbose_mode)
        status_line(line.c_str());
}

std::string error_prefix(const std::string &command) {
    return command.empty() ? "kestrel: " : "kestrel " + command + ": ";
}

int fail(const std::string &command, const std::string &message, int status) {
    fflush(stdout);
    fprintf(stderr, "%s%s\n", error_prefix(command).c_str(), message.c_str());
    return status;
}

bool apply_devices(const std::vector<std::string> &devices, std::string &error) {
    if (devices.empty())
        return true;
    std::vector<std::string> names, paths;
    for (const auto &d : devices) {
        size_t eq = d.find('=');
        names.push_back(eq == std::string::npos ? "" : d.substr(0, eq));
        paths.push_back(eq == std::string::npos ? d : d.substr(eq + 1));
        if (paths.back().empty()) {
            error = "--device '" + d + "' has no path";
            return false;
        }
    }
    std::vector<const char *> name_ptrs, path_ptrs;
    for (size_t i = 0; i < devices.size(); i++) {
        name_ptrs.push_back(names[i].empty() ? nullptr : names[i].c_str());
        path_ptrs.push_back(paths[i].c_str());
        detail("device " + std::to_string(i) + ": " + (names[i].empty() ? "(no name)" : names[i]) + " at " +
               paths[i]);
    }
    if (serial_registry_set(name_ptrs.data(), path_ptrs.data(), (int)devices.size()) != 0) {
        error = "the library refused the device list (too many devices, or a name or path too long)";
        return false;
    }
    return true;
}

int activate_reader(const common_options &common, const reader_options &reader, int flags) {
    detail("calibration file: " + common.calfile);
    detail("settings file: " + common.settings);
    if (!reader.has_id)
        return reader_find(status_line, common.calfile.c_str(), common.settings.c_str(), flags);
    // Discovery fills the library's device paths; activation opens them.
    reader_enumerate(status_line, nullptr, common.settings.c_str(), 0);
    return reader_activate(status_line, common.calfile.c_str(), common.settings.c_str(), reader.id, flags);
}

int start_capture() { return reader_start(on_scan_data); }

scan_wait wait_for_scan(double timeout_s, bool getscan, const std::string &failure_prefix) {
    using clock = std::chrono::steady_clock;
    char seconds[32];
    snprintf(seconds, sizeof seconds, "%g", timeout_s);
    watchdog_arm(timeout_s + fetch_grace_s, failure_prefix + "no complete scan within " + seconds +
                                                " s (the reader keeps the line busy)");
    capture = capture_state();
    auto deadline = clock::now() + std::chrono::duration<double>(timeout_s);
    if (getscan)
        reader_getscan();
    while (!capture.complete && capture.failure == 0 && clock::now() < deadline) {
        if (getscan)
            break;
        reader_poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    watchdog_disarm();
    scan_wait w;
    if (capture.failure == -1)
        w.result = scan_wait::read_failed;
    else if (capture.failure != 0 || (getscan && !capture.complete))
        w.result = scan_wait::transfer_failed;
    else if (capture.complete)
        w.result = scan_wait::got_scan;
    w.samples = capture.samples;
    return w;
}

const char *scan_outcome_text(scan_wait::outcome o) {
    switch (o) {
    case scan_wait::got_scan: return "scan received";
    case scan_wait::timed_out: return "no scan arrived in time";
    case scan_wait::read_failed: return "reading the reader's port failed";
    case scan_wait::transfer_failed: return "the scan transfer failed";
    }
    return "";
}

bool write_text_file(const std::string &path, const std::string &content, std::string &error) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    bool ok = fwrite(content.data(), 1, content.size(), f) == content.size();
    ok = fclose(f) == 0 && ok;
    if (!ok)
        error = "cannot write " + path + ": " + strerror(errno);
    return ok;
}

} // namespace host
