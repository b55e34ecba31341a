// What every command of the host program shares: the output modes, the
// library's status callback, the common options, device lists, activation
// and waiting for scans with a bound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "args.h"

namespace host {

struct common_options {
    std::string calfile;  // the library's calibration file
    std::string settings; // the library's inifile
    bool quiet = false;   // no status lines, no progress
    bool verbose = false; // status lines and details
};

struct reader_options {
    std::vector<std::string> devices; // NAME=PATH or PATH, for serial_registry_set
    bool has_id = false;
    int id = -1;
};

// Option tables: --calfile, --settings, --quiet, --verbose, --help; and
// --device, --id for the commands that reach a reader.
std::vector<option_spec> common_specs();
std::vector<option_spec> reader_specs();

// Reads the common options from parsed arguments and sets the output mode.
// `calfile_default` replaces the configuration-directory default when given.
bool take_common(const parsed_args &args, common_options &out, std::string &error,
                 const std::string &calfile_default = "");
bool take_reader(const parsed_args &args, reader_options &out, std::string &error);

// Output. Status lines and progress go to standard output unless quiet;
// details only when verbose. Errors are one line on standard error.
int status_line(const char *line);
void progress(const std::string &line);
void detail(const std::string &line);
int fail(const std::string &command, const std::string &message, int status = 1);
// "kestrel COMMAND: ", the start of every error line.
std::string error_prefix(const std::string &command);

// Hands the --device list to the library (an empty list keeps the system's
// listing). A device without "=" is a path without a TTY name.
bool apply_devices(const std::vector<std::string> &devices, std::string &error);

// reader_find, or with --id an enumeration (which fills the device paths)
// followed by reader_activate of that id. Returns the library's result.
int activate_reader(const common_options &common, const reader_options &reader, int flags = 0);

// Scan capture through the library's scan-data callback.
struct scan_wait {
    enum outcome { got_scan, timed_out, read_failed, transfer_failed } result = timed_out;
    std::vector<uint8_t> samples;
};
// Installs the scan-data callback with reader_start; returns its result.
int start_capture();
// Waits up to `timeout_s` for one scan, polling; with `getscan` asks the
// reader for it at once instead of waiting for its announcement. Should the
// library hold the wait a few seconds beyond the bound, the process ends
// with status 1 and the error line `failure_prefix` + the reason.
scan_wait wait_for_scan(double timeout_s, bool getscan, const std::string &failure_prefix);
const char *scan_outcome_text(scan_wait::outcome o);

// Writes a whole file; false with a reason.
bool write_text_file(const std::string &path, const std::string &content, std::string &error);

} // namespace host
