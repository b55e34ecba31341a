// Helpers for the plug-in tests: load a plug-in module, call its entry with
// counted strings made from std::string, and run the plug-in programs.
#pragma once

#include <kestrel/plugin.h>

#include <string>
#include <vector>

#include "support.h"

namespace plugintest {

// The five plug-ins, by program name.
extern const std::vector<std::string> all_plugins;
// Those that also carry the counted-string helpers.
extern const std::vector<std::string> helper_plugins;

// A loaded bin/<name>.so; fails the current test when it cannot be loaded.
class module {
public:
    explicit module(const std::string &name);
    ~module();
    module(const module &) = delete;
    module &operator=(const module &) = delete;
    bool loaded() const { return handle_ != nullptr; }
    void *symbol(const char *name) const;
    template <typename F> F function(const char *name) const { return reinterpret_cast<F>(symbol(name)); }
    plugin_entry_t entry() const { return function<plugin_entry_t>("KorvelVerifierPlugIn"); }

private:
    void *handle_ = nullptr;
};

// The answer of one call: its result and the counted characters of both
// buffers.
struct answer {
    int result = 0;
    std::string text;
    std::string name;
};

// Counted string holding s (at most 255 characters).
std::vector<unsigned char> counted(const std::string &s);
std::string chars_of(const unsigned char *rec);

// Calls the entry in-process the way the harness does (buffers emptied).
answer call(plugin_entry_t entry, int symbology, const std::string &data, signed char verbose = 0);

// Standard output written while fn runs in this process.
std::string capture_stdout_of(void (*fn)(void *), void *context);
template <typename Fn> std::string capture_stdout(Fn fn) {
    return capture_stdout_of([](void *c) { (*static_cast<Fn *>(c))(); }, &fn);
}

// A table row: data, the text and result expected for it.
struct expected {
    std::string data;
    std::string text;
    int result;
};
// Calls the entry for each row under one symbology; name is expected to
// be display_name whenever the result is not 0, and empty otherwise.
void expect_answers(plugin_entry_t entry, int symbology, const std::string &display_name,
                    const std::vector<expected> &rows);

// Data that a plug-in must not claim: each call, verbose, returns 0, leaves
// both buffers empty and prints nothing.
struct unclaimed {
    int symbology;
    std::string data;
};
void expect_not_claimed(plugin_entry_t entry, const std::vector<unclaimed> &rows);

// Runs bin/<name> with one argument.
testsupport::run_result run_plugin(const std::string &name, const std::string &arg);
// The three lines a program prints for an answer.
std::string harness_lines(const answer &a);

} // namespace plugintest
