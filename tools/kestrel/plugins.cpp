// Plug-in modules: finding, loading and calling them.
#include "plugins.h"

#include "args.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

struct letter_code {
    char letter;
    int code;
};

// Identifier letters of ISO/IEC 15424 that have a symbology code; case matters.
constexpr letter_code letters[] = {
    {'E', syEANUPC},  {'A', syCode39}, {'I', syI2of5}, {'F', syCodabar},
    {'C', syCode128}, {'e', syRSS},    {'M', syMSI},   {'G', syCode93},
};
static_assert(sizeof letters / sizeof letters[0] == 8, "one row per symbology code");

bool ends_with(const std::string &s, const std::string &tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

int symbology_of(char letter) {
    for (const auto &l : letters)
        if (l.letter == letter)
            return l.code;
    return syNone;
}

bool parse_symbol(const std::string &arg, symbol &out, std::string &error) {
    if (arg.empty() || arg[0] != ']') {
        error = "a symbol starts with ']' and the symbology identifier, e.g. ']A0DATA'";
        return false;
    }
    if (arg.size() < 3) {
        error = "a symbol needs the identifier letter and a modifier after ']', e.g. ']A0DATA'";
        return false;
    }
    out.symbology = symbology_of(arg[1]);
    out.data = arg.substr(3, COUNTEDSTR_MAX);
    return true;
}

std::vector<plugin_module> load_plugins(const std::string &dir, std::vector<skipped_module> *skipped) {
    std::vector<std::string> files;
    if (DIR *d = opendir(dir.c_str())) {
        while (const struct dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (ends_with(name, ".so") && name != "libkestrel.so")
                files.push_back(name);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());

    std::vector<plugin_module> modules;
    for (const auto &file : files) {
        plugin_module m;
        m.name = file.substr(0, file.size() - 3);
        m.path = dir + "/" + file;
        m.handle = dlopen(m.path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m.handle) {
            const char *why = dlerror();
            if (skipped)
                skipped->push_back({m.path, why ? why : "cannot be loaded"});
            continue;
        }
        m.entry = (plugin_entry_t)dlsym(m.handle, "KorvelVerifierPlugIn");
        if (!m.entry) {
            if (skipped)
                skipped->push_back({m.path, "does not export KorvelVerifierPlugIn"});
            dlclose(m.handle);
            continue;
        }
        modules.push_back(m);
    }
    return modules;
}

plugin_answer offer(const plugin_module &module, const symbol &sym) {
    countedstr_t input, name, text;
    size_t length = std::min(sym.data.size(), (size_t)COUNTEDSTR_MAX);
    input[0] = (unsigned char)length;
    memcpy(input + 1, sym.data.data(), length);
    name[0] = 0;
    text[0] = 0;
    plugin_answer a;
    a.result = module.entry(sym.symbology, input, name, text, 0);
    a.name.assign((const char *)name + 1, name[0]);
    a.text.assign((const char *)text + 1, text[0]);
    return a;
}

const char *plugin_result_text(int result) {
    switch (result) {
    case prAccepted: return "accepted";
    case prRejected: return "rejected";
    case prNotMine: return "not its data";
    default: return "unexpected result";
    }
}

std::string program_dir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    buf[n] = '\0';
    return dir_of(buf);
}

std::string default_plugin_dir() {
    std::string dir = program_dir();
    // Installed, the modules live under lib/kestrel/plugins beside bin/; in
    // the build tree they lie beside the program.
    std::string installed = dir + "/../lib/kestrel/plugins";
    struct stat st;
    if (stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return installed;
    return dir;
}

} // namespace host
