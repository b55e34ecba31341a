// Where the host program's lines go: data to standard output, everything
// else to standard error.
#include "output.h"

#include <cstdio>

namespace host {

namespace {
std::string command_name;
bool quiet_mode = false;
bool verbose_mode = false;
bool stdout_reserved = false;
std::string last_error_message;

void to_stderr(const std::string &line) {
    fflush(stdout); // keeps data and diagnostics in order on one terminal
    fprintf(stderr, "%s\n", line.c_str());
}
} // namespace

void set_command(const std::string &name) { command_name = name; }

void set_verbosity(bool quiet, bool verbose) {
    quiet_mode = quiet;
    verbose_mode = verbose;
}

bool quiet() { return quiet_mode; }

void status_text(const std::string &line) {
    if (!quiet_mode)
        to_stderr(line);
}

void progress(const std::string &line) { status_text(line); }

void detail(const std::string &line) {
    if (verbose_mode)
        to_stderr(line);
}

void prompt(const std::string &line) { to_stderr(line); }

std::string error_prefix() { return command_name.empty() ? "kestrel: " : "kestrel " + command_name + ": "; }

void warn(const std::string &message) {
    if (!quiet_mode)
        to_stderr(error_prefix() + "warning: " + message);
}

int fail(const std::string &message, int status) {
    last_error_message = message;
    to_stderr(error_prefix() + message);
    return status;
}

const std::string &last_error() { return last_error_message; }

int usage_error(const std::string &message) {
    return fail(message + " (see kestrel " + (command_name.empty() ? "" : command_name + " ") + "--help)", 2);
}

void write_data(const std::string &text) {
    if (stdout_reserved)
        return;
    fputs(text.c_str(), stdout);
    fflush(stdout); // a scan's line shows as it arrives, also through a pipe
}

void reserve_stdout() { stdout_reserved = true; }

} // namespace host
