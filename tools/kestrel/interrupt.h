// Ending a run cleanly: on SIGINT, SIGTERM, SIGHUP and SIGPIPE, and on every
// normal return, the reader gets its stop command and its line its settings
// back before the program exits.
//
// A signal only sets a flag; the command's loop sees it, unwinds through
// its reader_guard and the program exits with 128 + the signal. A library
// call holds the program for a second or two at most (a scan fetch, the
// drain of an open), but a reader that keeps the line busy can hold one
// longer: if the program has not ended within stop_grace_s of the signal,
// or when a second stop signal arrives, the reader is stopped and its line
// restored from the signal handler, and the process ends at once.
#pragma once

#include <string>

namespace host {

// Time a library call may still take once a stop is due: a scan frame on
// the line plus the transport's silence limit, with room to spare.
constexpr double stop_grace_s = 3.0;

void install_signal_handlers();
// The stop signal caught so far, or 0.
int caught_signal();
// 128 + the caught signal.
int signal_status();

// While a wait for a scan runs: should the library still hold the program
// `seconds` from now, the reader is stopped, its line restored, `line` is
// written to standard error and the process ends with status 1.
void watchdog_arm(double seconds, const std::string &line);
void watchdog_disarm();

// Stops the reader and closes its line (the library puts the line's
// settings back when it closes it). A line left open without an active
// reader gets the stop command as well. Safe to call again.
void release_reader();

// Releases the reader when the command's scope ends, on every path.
class reader_guard {
public:
    reader_guard() = default;
    ~reader_guard() { release_reader(); }
    reader_guard(const reader_guard &) = delete;
    reader_guard &operator=(const reader_guard &) = delete;
};

// Blocks the stop signals in this thread while it lives, so that threads
// started meanwhile (the demo's simulator) inherit the block and the
// signals reach the main thread.
class stop_signals_blocked {
public:
    stop_signals_blocked();
    ~stop_signals_blocked();
    stop_signals_blocked(const stop_signals_blocked &) = delete;
    stop_signals_blocked &operator=(const stop_signals_blocked &) = delete;
};

} // namespace host
