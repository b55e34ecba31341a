// What the commands that reach a reader share: the files handed to the
// library, the device list, activation with the reasons of a failure, and
// waiting for scans with a bound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "args.h"
#include "kestrel/kestrel.h"

namespace host {

// The calibration file and the settings file the library is given.
struct library_files {
    std::string calfile;
    std::string settings;
};
// From --calfile and --settings; `calfile_default` replaces the
// configuration-directory default when given. False with a reason.
bool take_files(const parsed_args &args, library_files &out, std::string &error,
                const std::string &calfile_default = "");

struct reader_choice {
    std::vector<std::string> devices; // NAME=PATH or PATH, for serial_registry_set
    bool has_id = false;
    int id = -1;
};
// From --device and --id; hands the device list to the library (an empty
// list keeps the system's listing). False with a reason.
bool take_reader_choice(const parsed_args &args, reader_choice &out, std::string &error);

// For a command that reaches a reader: the files, the reader choice and no
// stray arguments. False with the reason of the bad use.
bool prepare_reader(const parsed_args &args, library_files &files, reader_choice &choice, std::string &error,
                    const std::string &calfile_default = "");

// The library's status callback: each line goes to standard error (unless
// quiet) and to the discovery record.
int library_status(const char *line);

// A device that gave no reader, and why.
struct skipped_device {
    std::string name; // TTY name, "" when none
    std::string path;
    std::string reason;
    std::string line() const; // "NAME at PATH: REASON"
};
// Every --device entry that was skipped, or every probed device of the
// system's listing that was. Devices discovery never reached are left out.
std::vector<skipped_device> skipped_devices(const reader_choice &choice);

// "no reader found", with the skipped devices and their reasons.
std::string no_reader_text(const std::vector<skipped_device> &skipped);

struct activation {
    int result = RDR_NONE_FOUND; // the library's result
    int id = -1;                 // the reader activated
    std::string port;            // its device path
    readerinfo_t record{};       // its record after activation
    std::string failure;         // why it failed, for the error line
};
// reader_find, or with --id an enumeration (which fills the device paths)
// followed by reader_activate of that id. Skipped devices are warned about;
// a failure carries the library's code with its meaning and the reasons
// the system gives. The caller holds a reader_guard.
activation activate_reader(const library_files &files, const reader_choice &choice, int flags = 0);

// activate_reader for a command, whose caller holds a reader_guard: the
// reader enters the run's JSON document. False with the exit status when a
// stop signal came or the activation failed (its error line written).
bool activate_for_command(const library_files &files, const reader_choice &choice, activation &a,
                          int &status);

// Scan capture through the library's scan-data callback.
struct scan_wait {
    enum outcome { got_scan, timed_out, read_failed, transfer_failed, interrupted } result = timed_out;
    std::vector<uint8_t> samples;
};
// Installs the scan-data callback with reader_start; returns its result.
int start_capture();
// Waits up to `timeout_s` for one scan, polling; with `getscan` asks the
// reader for it at once instead of waiting for its announcement. A stop
// signal ends the wait. Should the library hold the wait well beyond the
// bound, the process ends with status 1 and the error line `failure_prefix`
// + the reason (see watchdog_arm).
scan_wait wait_for_scan(double timeout_s, bool getscan, const std::string &failure_prefix);
const char *scan_outcome_text(scan_wait::outcome o);

// The raw reading a reference scan stands for: 256 times its mean sample.
long reference_level(const std::vector<uint8_t> &samples);

} // namespace host
