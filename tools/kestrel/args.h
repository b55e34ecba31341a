// Command-line parsing for the host program: option tables, "--name value"
// and "--name=value" forms, numbers, and the default file locations.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace host {

struct option_spec {
    const char *name;  // without the leading "--"
    const char *value; // name of the value in help, or nullptr for a flag
    const char *help;
};

struct parsed_args {
    std::map<std::string, std::vector<std::string>> values; // flags hold one ""
    std::vector<std::string> positional;

    bool has(const std::string &name) const { return values.count(name) != 0; }
    // The last value given, or `fallback` when the option is absent.
    std::string last(const std::string &name, const std::string &fallback = "") const;
    const std::vector<std::string> &all(const std::string &name) const;
};

// Parses args against the table. A "--" ends the options. On failure returns
// false with a one-line reason in `error`.
bool parse_args(const std::vector<option_spec> &specs, const std::vector<std::string> &args, parsed_args &out,
                std::string &error);

// The option table as help lines, one per option, aligned.
std::string options_help(const std::vector<option_spec> &specs);

// Whole-text numbers. Integers are decimal, or hexadecimal with "0x".
bool parse_int(const std::string &text, long min, long max, long &out);
bool parse_double(const std::string &text, double min, double max, double &out);

// $XDG_CONFIG_HOME/kestrel/NAME when that variable holds an absolute path,
// otherwise $HOME/.config/kestrel/NAME.
std::string config_file(const std::string &name);
// Creates a directory and its missing parents; true when it exists afterwards.
bool make_dirs(const std::string &dir);
// Everything before the last "/", or "." when there is none.
std::string dir_of(const std::string &path);

} // namespace host
