// Stop signals, the watchdog of a wait, and releasing the reader.
#include "interrupt.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

#include "kestrel/kestrel.h"
#include "output.h"

namespace host {

namespace {

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

volatile sig_atomic_t caught = 0;

// What the emergency exit writes and returns; prepared outside the handler.
char exit_line[512];
volatile sig_atomic_t exit_line_length = 0;
volatile sig_atomic_t exit_status = 1;

void set_timer(double seconds) {
    struct itimerval t;
    memset(&t, 0, sizeof t);
    t.it_value.tv_sec = (time_t)seconds;
    t.it_value.tv_usec = (suseconds_t)((seconds - (double)t.it_value.tv_sec) * 1e6);
    setitimer(ITIMER_REAL, &t, nullptr);
}

// The interrupted library call never runs on, so releasing the reader here
// is safe: it only writes a byte, restores the line's settings and closes
// the descriptor, which a signal handler may do.
[[noreturn]] void emergency_exit() {
    release_reader();
    if (exit_line_length > 0) {
        ssize_t ignored = write(2, exit_line, (size_t)exit_line_length);
        (void)ignored;
    }
    _exit(exit_status);
}

void on_stop_signal(int sig) {
    if (caught != 0) {
        // A repeated SIGPIPE is only more output that found no reader.
        if (sig != SIGPIPE)
            emergency_exit();
        return;
    }
    caught = sig;
    exit_status = 128 + sig;
    exit_line_length = 0;
    set_timer(stop_grace_s);
}

void on_alarm(int) { emergency_exit(); }

void install(int sig, void (*handler)(int)) {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a wait the program itself is in ends at the signal.
    sigaction(sig, &sa, nullptr);
}

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : stop_signals)
        sigaddset(&set, sig);
    sigaddset(&set, SIGALRM);
    return set;
}

} // namespace

void install_signal_handlers() {
    for (int sig : stop_signals)
        install(sig, on_stop_signal);
    install(SIGALRM, on_alarm);
}

int caught_signal() { return caught; }

int signal_status() { return 128 + caught; }

void watchdog_arm(double seconds, const std::string &line) {
    if (caught != 0)
        return; // the stop's own timer runs already
    std::string text = error_prefix() + line + "\n";
    snprintf(exit_line, sizeof exit_line, "%s", text.c_str());
    exit_line_length = (sig_atomic_t)strlen(exit_line);
    exit_status = 1;
    fflush(stdout);
    set_timer(seconds);
}

void watchdog_disarm() {
    if (caught == 0)
        set_timer(0);
}

void release_reader() {
    // With no reader active, a line may still be open: a device that failed
    // its activation, or one that discovery is probing. It gets the stop
    // command too (nothing is sent when no line is open).
    if (reader_stop() == RDR_NO_READER)
        usb_stop();
    reader_usb_close();
}

stop_signals_blocked::stop_signals_blocked() {
    sigset_t set = stop_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

stop_signals_blocked::~stop_signals_blocked() {
    sigset_t set = stop_set();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace host
