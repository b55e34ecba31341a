// Command-line parsing for the host program: options in named groups,
// "--name value", "--name=value" and the one-letter forms, and the limits
// of the numbers the commands take.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace host {

struct option_spec {
    const char *name;  // without the leading "--"
    char letter;       // the one-letter form ("-q"), or 0; flags only
    const char *value; // name of the value in help, or nullptr for a flag
    const char *help;
};
using option_group = std::vector<option_spec>;

// The groups the commands take their options from.
extern const option_group general_options;   // --help, --version, --quiet, --verbose
extern const option_group file_options;      // --calfile, --settings
extern const option_group device_options;    // --device
extern const option_group reader_id_options; // --id
extern const option_group plugin_options;    // --plugin-dir
extern const option_group json_options;      // --json

// The groups one after the other, in this order.
option_group combine(std::initializer_list<option_group> groups);

struct parsed_args {
    std::map<std::string, std::vector<std::string>> values; // flags hold one ""
    std::vector<std::string> positional;

    bool has(const std::string &name) const { return values.count(name) != 0; }
    // The last value given, or `fallback` when the option is absent.
    std::string last(const std::string &name, const std::string &fallback = "") const;
    const std::vector<std::string> &all(const std::string &name) const;
};

// Parses args against the options. A "--" ends the options; "-" alone is an
// argument. On failure returns false with a one-line reason in `error`.
bool parse_args(const option_group &specs, const std::vector<std::string> &args, parsed_args &out,
                std::string &error);

// The option of a name ("--count", "--count=3", "-q"), or nullptr.
const option_spec *find_option(const option_group &specs, const std::string &arg);

// The options as help lines, one entry per option, aligned.
std::string options_help(const option_group &specs);

// A number option within its limits, or its default when absent. On a bad
// value, false with "bad --NAME 'TEXT' (a number from MIN to MAX)" or the
// like in `error`.
bool int_option(const parsed_args &args, const char *name, long long min, long long max, long long fallback,
                long long &out, std::string &error);
bool real_option(const parsed_args &args, const char *name, double min, double max, double fallback,
                 double &out, std::string &error, const char *what = "a number");

} // namespace host
