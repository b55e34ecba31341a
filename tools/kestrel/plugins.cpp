// Plug-in modules: finding, loading and calling them.
#include "plugins.h"

#include "files.h"
#include "output.h"
#include "symbology_letters.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

int symbology_of(char letter) { return symbology_of_letter(letter); }

std::string symbology_letters_text() {
    std::string text;
    for (const auto &l : symbology_letters)
        text += std::string(text.empty() ? "" : ", ") + l.letter + " " + l.name;
    return text;
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
            if (name.ends_with(".so") && name != "libkestrel.so")
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

std::vector<plugin_module> load_plugins_noting_skipped(const std::string &dir) {
    std::vector<skipped_module> skipped;
    std::vector<plugin_module> modules = load_plugins(dir, &skipped);
    for (const auto &s : skipped)
        detail("skipped " + s.path + ": " + s.reason);
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

std::vector<module_answer> offer_all(const std::vector<plugin_module> &modules, const symbol &sym) {
    std::vector<module_answer> answers;
    for (const auto &m : modules)
        answers.push_back({&m, offer(m, sym)});
    return answers;
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
