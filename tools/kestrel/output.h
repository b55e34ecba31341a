// Where the host program's lines go. Data (tables, sparklines, records,
// JSON) goes to standard output; the library's status lines, progress,
// warnings, details and errors go to standard error.
#pragma once

#include <string>

namespace host {

// The command whose lines these are ("" before one is known): errors read
// "kestrel COMMAND: ...".
void set_command(const std::string &name);
// --quiet drops status lines, progress and warnings; --verbose adds details.
void set_verbosity(bool quiet, bool verbose);
bool quiet();

// Diagnostics on standard error.
void status_text(const std::string &line); // a status line as it came, unless quiet
void progress(const std::string &line);    // unless quiet
void detail(const std::string &line);      // only when verbose
void warn(const std::string &message);     // "kestrel COMMAND: warning: ...", unless quiet
void prompt(const std::string &line);      // what the operator must do now, even when quiet
// The error line "kestrel COMMAND: MESSAGE"; returns `status`. The last
// message is kept for the run's JSON document.
int fail(const std::string &message, int status = 1);
const std::string &last_error();
std::string error_prefix();
// Bad use: the error line with a pointer to the command's help; returns 2.
int usage_error(const std::string &message);

// Data on standard output, unless an output file took standard output
// ("-"): then that file is the only thing written there.
void write_data(const std::string &text);
void reserve_stdout();

} // namespace host
