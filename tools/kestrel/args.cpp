// Command-line parsing for the host program: option tables, numbers and
// the default file locations.
#include "args.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

std::string parsed_args::last(const std::string &name, const std::string &fallback) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second.back();
}

const std::vector<std::string> &parsed_args::all(const std::string &name) const {
    static const std::vector<std::string> none;
    auto it = values.find(name);
    return it == values.end() ? none : it->second;
}

static const option_spec *find_spec(const std::vector<option_spec> &specs, const std::string &name) {
    for (const auto &s : specs)
        if (name == s.name)
            return &s;
    return nullptr;
}

bool parse_args(const std::vector<option_spec> &specs, const std::vector<std::string> &args, parsed_args &out,
                std::string &error) {
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &a = args[i];
        if (a == "--") {
            out.positional.insert(out.positional.end(), args.begin() + (long)i + 1, args.end());
            return true;
        }
        if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
            if (a.size() > 1 && a[0] == '-') {
                error = "unknown option '" + a + "'";
                return false;
            }
            out.positional.push_back(a);
            continue;
        }
        size_t eq = a.find('=');
        std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const option_spec *spec = find_spec(specs, name);
        if (!spec) {
            error = "unknown option '--" + name + "'";
            return false;
        }
        if (!spec->value) {
            if (eq != std::string::npos) {
                error = "option '--" + name + "' takes no value";
                return false;
            }
            out.values[name].push_back("");
            continue;
        }
        if (eq != std::string::npos) {
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

std::string options_help(const std::vector<option_spec> &specs) {
    std::vector<std::string> heads;
    size_t width = 0;
    for (const auto &s : specs) {
        std::string head = std::string("  --") + s.name + (s.value ? std::string(" ") + s.value : "");
        width = std::max(width, head.size());
        heads.push_back(head);
    }
    std::string text;
    for (size_t i = 0; i < specs.size(); i++)
        text += heads[i] + std::string(width + 2 - heads[i].size(), ' ') + specs[i].help + "\n";
    return text;
}

bool parse_int(const std::string &text, long min, long max, long &out) {
    if (text.empty() || text[0] == '+' || std::isspace((unsigned char)text[0]))
        return false;
    bool negative = text[0] == '-';
    std::string digits = negative ? text.substr(1) : text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits = digits.substr(2);
    }
    if (digits.empty() || !std::isxdigit((unsigned char)digits[0]))
        return false;
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(digits.c_str(), &end, base);
    if (errno || *end)
        return false;
    if (negative)
        v = -v;
    if (v < min || v > max)
        return false;
    out = (long)v;
    return true;
}

bool parse_double(const std::string &text, double min, double max, double &out) {
    if (text.empty() || std::isspace((unsigned char)text[0]))
        return false;
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno || *end || !std::isfinite(v) || v < min || v > max)
        return false;
    out = v;
    return true;
}

static std::string home_dir() {
    const char *home = std::getenv("HOME");
    if (home && *home)
        return home;
    const struct passwd *pw = getpwuid(getuid());
    return pw && pw->pw_dir ? pw->pw_dir : ".";
}

std::string config_file(const std::string &name) {
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : home_dir() + "/.config";
    return base + "/kestrel/" + name;
}

bool make_dirs(const std::string &dir) {
    struct stat st;
    if (dir.empty() || stat(dir.c_str(), &st) == 0)
        return !dir.empty() && S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !make_dirs(dir.substr(0, slash)))
        return false;
    return mkdir(dir.c_str(), 0777) == 0 ||
           (errno == EEXIST && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

std::string dir_of(const std::string &path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace host
