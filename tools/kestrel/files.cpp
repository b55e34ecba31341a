// Files of the host program: locations, directories, outputs, CSV input.
#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "numbers.h"

namespace host {

namespace {

std::string home_dir() {
    const char *home = std::getenv("HOME");
    if (home && *home)
        return home;
    const struct passwd *pw = getpwuid(getuid());
    return pw && pw->pw_dir ? pw->pw_dir : ".";
}

std::string system_reason(const std::string &what, int err) { return what + ": " + strerror(err); }

} // namespace

std::string config_file(const std::string &name) {
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : home_dir() + "/.config";
    return base + "/kestrel/" + name;
}

bool make_dirs(const std::string &dir, std::string &error) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        error = system_reason(dir, ENOTDIR);
        return false;
    }
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !make_dirs(dir.substr(0, slash), error))
        return false;
    if (mkdir(dir.c_str(), 0777) == 0 ||
        (errno == EEXIST && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
        return true;
    error = system_reason(dir, errno);
    return false;
}

std::string dir_of(const std::string &path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool check_outputs(const std::vector<output_file> &outputs, std::string &error) {
    const output_file *on_stdout = nullptr;
    for (const auto &o : outputs) {
        std::string label = "--" + o.option + " " + o.path;
        if (o.to_stdout()) {
            if (on_stdout) {
                error = "--" + on_stdout->option + " and --" + o.option +
                        " cannot both write to standard output (-)";
                return false;
            }
            on_stdout = &o;
            continue;
        }
        if (o.path.empty()) {
            error = "--" + o.option + " needs a file name, or - for standard output";
            return false;
        }
        struct stat st;
        if (stat(o.path.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                error = system_reason(label, EISDIR);
                return false;
            }
            if (access(o.path.c_str(), W_OK) != 0) {
                error = system_reason(label, errno);
                return false;
            }
            continue;
        }
        std::string dir = dir_of(o.path);
        if (stat(dir.c_str(), &st) != 0) {
            error = system_reason(label + ": directory " + dir, errno);
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            error = system_reason(label + ": " + dir, ENOTDIR);
            return false;
        }
        if (access(dir.c_str(), W_OK | X_OK) != 0) {
            error = system_reason(label + ": directory " + dir, errno);
            return false;
        }
    }
    return true;
}

bool write_output(const output_file &out, const std::string &content, std::string &error) {
    FILE *f = out.to_stdout() ? stdout : fopen(out.path.c_str(), "wb");
    if (!f) {
        error = system_reason("cannot write " + out.path, errno);
        return false;
    }
    bool ok = fwrite(content.data(), 1, content.size(), f) == content.size();
    ok = (out.to_stdout() ? fflush(f) : fclose(f)) == 0 && ok;
    if (!ok)
        error = system_reason("cannot write " + (out.to_stdout() ? std::string("standard output") : out.path),
                              errno);
    return ok;
}

bool read_csv_samples(const std::string &path, std::vector<uint8_t> &samples, std::string &error) {
    std::ifstream in(path);
    if (!in) {
        error = system_reason(path, errno);
        return false;
    }
    samples.clear();
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        if (number == 1 && line.rfind("index,", 0) == 0)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t first = line.find(','), second = line.find(',', first + 1);
        long long sample = -1;
        if (first == std::string::npos ||
            !tools::parse_int(
                line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1),
                0, 255, sample)) {
            error = path + ":" + std::to_string(number) + ": not an index,sample row with a sample 0..255";
            return false;
        }
        samples.push_back((uint8_t)sample);
    }
    if (samples.empty()) {
        error = path + ": no samples";
        return false;
    }
    return true;
}

} // namespace host
