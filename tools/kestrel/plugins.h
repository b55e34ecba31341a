// Plug-in modules: finding and loading them, and offering them a decoded
// symbol in the form the plug-in command line takes ("]", identifier
// letter, modifier, data).
#pragma once

#include <string>
#include <vector>

#include "kestrel/plugin.h"

namespace host {

// Symbology code of an ISO/IEC 15424 identifier letter; syNone for others.
int symbology_of(char letter);
// "E EAN/UPC, A Code 39, ..." for help texts.
std::string symbology_letters_text();

struct symbol {
    int symbology = syNone;
    std::string data; // at most COUNTEDSTR_MAX bytes
};

// Parses "]" letter modifier data; the data is cut to 255 bytes as the
// plug-in command line does. false with a reason when malformed.
bool parse_symbol(const std::string &arg, symbol &out, std::string &error);

struct plugin_module {
    std::string name; // file name without ".so"
    std::string path;
    void *handle = nullptr;
    plugin_entry_t entry = nullptr;
};

// A module that was not loaded, and why.
struct skipped_module {
    std::string path;
    std::string reason;
};

// Loads every "*.so" in `dir`, in name order, that exports
// KorvelVerifierPlugIn; libkestrel.so and modules without the entry are
// skipped. The modules stay loaded for the life of the process.
std::vector<plugin_module> load_plugins(const std::string &dir,
                                        std::vector<skipped_module> *skipped = nullptr);

// load_plugins, each skipped module named as a detail (--verbose).
std::vector<plugin_module> load_plugins_noting_skipped(const std::string &dir);

struct plugin_answer {
    int result = prNotMine;
    std::string name; // ISO 8859-1, as the plug-in wrote it
    std::string text;
};

// Calls the module's entry with empty answer buffers and verbose 0.
plugin_answer offer(const plugin_module &module, const symbol &sym);

// Every module's answer, in the modules' order.
struct module_answer {
    const plugin_module *module;
    plugin_answer answer;
};
std::vector<module_answer> offer_all(const std::vector<plugin_module> &modules, const symbol &sym);

// "accepted", "rejected" or "not its data".
const char *plugin_result_text(int result);

// Directory of the running program (from /proc/self/exe), or "." when unknown.
std::string program_dir();
// Where plug-in modules are looked for unless --plugin-dir says otherwise:
// <program dir>/../lib/kestrel/plugins when it exists (an installed
// program), else the program's own directory (the build tree).
std::string default_plugin_dir();

} // namespace host
