// Command-line parsing for the host program: named option groups, the
// option forms, and numbers checked against their limits.
#include "args.h"

#include <cstdio>

#include "help_text.h"
#include "numbers.h"

namespace host {

const option_group general_options = {
    {"help", 'h', nullptr, "show this help"},
    {"version", 'V', nullptr, "show the program's version"},
    {"quiet", 'q', nullptr, "no status lines, progress or warnings on standard error"},
    {"verbose", 'v', nullptr, "details as well: the device list, the files used, skipped modules"},
};

const option_group file_options = {
    {"calfile", 0, "PATH",
     "calibration file (default $XDG_CONFIG_HOME/kestrel/calibration.txt, else "
     "~/.config/kestrel/calibration.txt)"},
    {"settings", 0, "PATH",
     "settings file handed to the library (default settings.ini beside the calibration file)"},
};

const option_group device_options = {
    {"device", 0, "NAME=PATH",
     "use this serial device instead of the system's (repeatable); NAME must begin with usbserial-0000 to be "
     "probed; a PATH alone is probed too"},
};

const option_group reader_id_options = {
    {"id", 0, "N", "activate reader id N (256 is the first reader) instead of the one found first"},
};

const option_group plugin_options = {
    {"plugin-dir", 0, "DIR",
     "look for plug-in modules here (default: beside the program, or ../lib/kestrel/plugins when installed)"},
};

const option_group json_options = {
    {"json", 0, "PATH", "write the run's results as one JSON document to PATH (- for standard output)"},
};

option_group combine(std::initializer_list<option_group> groups) {
    option_group all;
    for (const auto &g : groups)
        all.insert(all.end(), g.begin(), g.end());
    return all;
}

std::string parsed_args::last(const std::string &name, const std::string &fallback) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second.back();
}

const std::vector<std::string> &parsed_args::all(const std::string &name) const {
    static const std::vector<std::string> none;
    auto it = values.find(name);
    return it == values.end() ? none : it->second;
}

const option_spec *find_option(const option_group &specs, const std::string &arg) {
    for (const auto &s : specs) {
        if (arg.size() == 2 && arg[0] == '-' && s.letter && arg[1] == s.letter)
            return &s;
        if (arg.compare(0, 2, "--") == 0 && arg.compare(2, arg.find('=') - 2, s.name) == 0)
            return &s;
    }
    return nullptr;
}

bool parse_args(const option_group &specs, const std::vector<std::string> &args, parsed_args &out,
                std::string &error) {
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &a = args[i];
        if (a == "--") {
            out.positional.insert(out.positional.end(), args.begin() + (long)i + 1, args.end());
            return true;
        }
        if (a.size() < 2 || a[0] != '-') {
            out.positional.push_back(a);
            continue;
        }
        const option_spec *spec = find_option(specs, a);
        if (!spec) {
            error = "unknown option '" + a.substr(0, a.find('=')) + "'";
            return false;
        }
        std::string name = spec->name;
        size_t eq = a.find('=');
        if (!spec->value) {
            if (eq != std::string::npos) {
                error = "option '--" + name + "' takes no value";
                return false;
            }
            out.values[name].push_back("");
        } else if (eq != std::string::npos) {
            out.values[name].push_back(a.substr(eq + 1));
        } else if (i + 1 < args.size()) {
            out.values[name].push_back(args[++i]);
        } else {
            error = "option '--" + name + "' needs a value (" + spec->value + ")";
            return false;
        }
    }
    return true;
}

std::string options_help(const option_group &specs) {
    std::string text;
    for (const auto &s : specs) {
        std::string head = s.letter ? std::string("  -") + s.letter + ", " : "      ";
        head += std::string("--") + s.name + (s.value ? std::string(" ") + s.value : "");
        text += tools::help_entry(head, s.help);
    }
    return text;
}

namespace {

std::string number_text(double v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

} // namespace

bool int_option(const parsed_args &args, const char *name, long long min, long long max, long long fallback,
                long long &out, std::string &error) {
    out = fallback;
    if (!args.has(name))
        return true;
    if (tools::parse_int(args.last(name), min, max, out))
        return true;
    error = std::string("bad --") + name + " '" + args.last(name) + "' (a whole number from " +
            std::to_string(min) + " to " + std::to_string(max) + ")";
    return false;
}

bool real_option(const parsed_args &args, const char *name, double min, double max, double fallback,
                 double &out, std::string &error, const char *what) {
    out = fallback;
    if (!args.has(name))
        return true;
    if (tools::parse_double(args.last(name), min, max, out))
        return true;
    error = std::string("bad --") + name + " '" + args.last(name) + "' (" + what + " from " +
            number_text(min) + " to " + number_text(max) + ")";
    return false;
}

} // namespace host
