// Helpers for the plug-in tests: modules, in-process calls, programs.
#include "plugin_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace plugintest {

const std::vector<std::string> all_plugins = {"pharma_it", "fullascii39", "ukcoupon", "pharma_be", "cip39"};
const std::vector<std::string> helper_plugins = {"fullascii39", "ukcoupon"};

module::module(const std::string &name) {
    std::string path = testsupport::bin_dir() + "/" + name + ".so";
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle_, nullptr) << "dlopen " << path << ": " << dlerror();
}

module::~module() {
    if (handle_)
        dlclose(handle_);
}

void *module::symbol(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

std::vector<unsigned char> counted(const std::string &s) {
    std::vector<unsigned char> rec(COUNTEDSTR_SIZE, 0);
    size_t n = s.size() < COUNTEDSTR_MAX ? s.size() : COUNTEDSTR_MAX;
    rec[0] = (unsigned char)n;
    for (size_t k = 0; k < n; k++)
        rec[k + 1] = (unsigned char)s[k];
    return rec;
}

std::string chars_of(const unsigned char *rec) {
    return std::string(reinterpret_cast<const char *>(rec + 1), rec[0]);
}

answer call(plugin_entry_t entry, int symbology, const std::string &data, signed char verbose) {
    answer a;
    if (!entry) {
        ADD_FAILURE() << "no entry";
        return a;
    }
    std::vector<unsigned char> input = counted(data);
    countedstr_t name, text;
    name[0] = 0;
    text[0] = 0;
    a.result = entry(symbology, input.data(), name, text, verbose);
    a.name = chars_of(name);
    a.text = chars_of(text);
    return a;
}

std::string capture_stdout_of(void (*fn)(void *), void *context) {
    fflush(stdout);
    FILE *sink = tmpfile();
    int saved = dup(1);
    dup2(fileno(sink), 1);
    fn(context);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    rewind(sink);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, sink)) > 0)
        out.append(buf, n);
    fclose(sink);
    return out;
}

void expect_answers(plugin_entry_t entry, int symbology, const std::string &display_name,
                    const std::vector<expected> &rows) {
    for (size_t i = 0; i < rows.size(); i++) {
        SCOPED_TRACE("row " + std::to_string(i));
        answer a = call(entry, symbology, rows[i].data);
        EXPECT_EQ(a.result, rows[i].result);
        EXPECT_EQ(a.text, rows[i].text);
        EXPECT_EQ(a.name, rows[i].result ? display_name : "");
    }
}

void expect_not_claimed(plugin_entry_t entry, const std::vector<unclaimed> &rows) {
    for (size_t i = 0; i < rows.size(); i++) {
        SCOPED_TRACE("unclaimed row " + std::to_string(i));
        answer a;
        std::string out = capture_stdout([&] { a = call(entry, rows[i].symbology, rows[i].data, 1); });
        EXPECT_EQ(a.result, 0);
        EXPECT_EQ(a.name, "");
        EXPECT_EQ(a.text, "");
        EXPECT_EQ(out, "");
    }
}

testsupport::run_result run_plugin(const std::string &name, const std::string &arg) {
    return testsupport::run_program({testsupport::bin_dir() + "/" + name, arg}, 10.0);
}

std::string harness_lines(const answer &a) {
    return a.text + "\n" + a.name + "\n" + std::to_string(a.result) + "\n";
}

} // namespace plugintest
