// A small host of libkestrel for the process tests, run as a child process:
//   process_host fds                      lists the descriptors it inherited
//   process_host save FILE TAG COUNT      saves COUNT calibrations tagged TAG-i
//   process_host [--timer HZ] DEVICE STEP...
// The last form lists DEVICE as the one serial device and runs the steps in
// order: find, enumerate, activate (reader 256), scans:N (polls until N scans
// have ended, 20 s at most). With --timer a SIGALRM handler that does not
// restart interrupted calls runs HZ times a second throughout.
// Each step prints one result line; status lines are printed as "status:...".
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <sys/time.h>
#include <unistd.h>

#include <kestrel/kestrel.h>

namespace {

volatile sig_atomic_t signals_seen;

void on_timer(int) { signals_seen = signals_seen + 1; }

bool start_timer(long hz) {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_timer;
    sigemptyset(&sa.sa_mask);
    if (hz <= 0 || hz > 1000000 || sigaction(SIGALRM, &sa, nullptr) != 0)
        return false;
    struct itimerval it;
    memset(&it, 0, sizeof it);
    it.it_interval.tv_usec = 1000000 / hz;
    it.it_value = it.it_interval;
    return setitimer(ITIMER_REAL, &it, nullptr) == 0;
}

int print_status(const char *line) {
    printf("status:%s\n", line);
    return 0;
}

// One line per open descriptor: its number and what it refers to.
int list_fds() {
    DIR *d = opendir("/proc/self/fd");
    if (!d)
        return 1;
    while (struct dirent *e = readdir(d)) {
        int fd = atoi(e->d_name);
        if (e->d_name[0] == '.' || fd == dirfd(d))
            continue;
        char link[64], target[4096];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = readlink(link, target, sizeof target - 1);
        if (n >= 0) {
            target[n] = '\0';
            printf("%d %s\n", fd, target);
        }
    }
    closedir(d);
    return 0;
}

int save(const char *file, const char *tag, int count) {
    readerinfo_t info;
    reader_clear(&info);
    info.SerialNumber = 0x1a2b;
    info.Wavelength = 660;
    for (int i = 0; i < count; i++) {
        char extra[64];
        snprintf(extra, sizeof extra, "%s-%d", tag, i);
        int r = do_calibrate(1000 + (unsigned)i, 60000, 0.05f, 0.85f, file, 1700000000 + i, extra, &info);
        if (r != 0) {
            printf("save %s failed: %d\n", extra, r);
            return 1;
        }
    }
    printf("saved %d\n", count);
    return 0;
}

int scans_ended, scan_failures;

int on_scan(unsigned char *, int count) {
    if (count == 0)
        scans_ended++;
    else if (count < 0)
        scan_failures++;
    return 0;
}

void take_scans(int wanted) {
    scans_ended = scan_failures = 0;
    reader_start(on_scan);
    time_t end = time(nullptr) + 20;
    struct timespec pause = {0, 1000000};
    while (scans_ended < wanted && time(nullptr) < end) {
        reader_poll();
        nanosleep(&pause, nullptr);
    }
    printf("scans %d failures %d\n", scans_ended, scan_failures);
}

int run_steps(const char *device, char **steps, int count) {
    const char *name = "usbserial-0000host";
    if (serial_registry_set(&name, &device, 1) != 0)
        return 2;
    for (int i = 0; i < count; i++) {
        const char *step = steps[i];
        if (strcmp(step, "find") == 0)
            printf("find %d\n", reader_find(print_status, nullptr, nullptr, 0));
        else if (strcmp(step, "enumerate") == 0)
            printf("enumerate %d\n", reader_enumerate(print_status, nullptr, nullptr, 0));
        else if (strcmp(step, "activate") == 0)
            printf("activate %d\n", reader_activate(print_status, nullptr, nullptr, READER_CLASS_USB, 0));
        else if (strncmp(step, "scans:", 6) == 0)
            take_scans(atoi(step + 6));
        else
            return 2;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 2 && strcmp(argv[1], "fds") == 0)
        return list_fds();
    if (argc == 5 && strcmp(argv[1], "save") == 0)
        return save(argv[2], argv[3], atoi(argv[4]));
    int first = 1;
    bool timer = argc > 3 && strcmp(argv[1], "--timer") == 0;
    if (timer) {
        if (!start_timer(atol(argv[2])))
            return 2;
        first = 3;
    }
    if (argc - first < 2) {
        fprintf(stderr, "usage: process_host fds | save FILE TAG COUNT | [--timer HZ] DEVICE STEP...\n");
        return 2;
    }
    int rc = run_steps(argv[first], argv + first + 1, argc - first - 1);
    if (timer)
        printf("signals %d\n", (int)signals_seen);
    return rc;
}
