// Plug-ins: entry calls per second through each module against a plain copy
// of the same 256 bytes, and each plug-in program's whole run from the
// command line against /bin/true.
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

#include "kestrel/plugin.h"
#include "support.h"
#include "table.h"

extern char **environ;

namespace {

// Data that each plug-in accepts, with the identifier letter of its symbology.
struct plugin_case {
    const char *name;
    int symbology;
    char letter;
    const char *data;
};
constexpr plugin_case cases[] = {
    {"pharma_it", syCode39, 'A', "0CSSBD"},       {"fullascii39", syCode39, 'A', "+H+E+L+L+O"},
    {"ukcoupon", syEANUPC, 'E', "9912345678905"}, {"pharma_be", syMSI, 'M', "1234566"},
    {"cip39", syCode39, 'A', "1234562"},
};

void plugin_entry(benchmark::State &state, const plugin_case &c) {
    std::string path = bench::bin_dir() + "/" + c.name + ".so";
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    plugin_entry_t entry = module ? (plugin_entry_t)dlsym(module, "KorvelVerifierPlugIn") : nullptr;
    if (!entry) {
        state.SkipWithError(("no entry in " + path).c_str());
        if (module)
            dlclose(module);
        return;
    }
    countedstr_t input = {}, name, text, copy;
    size_t length = strlen(c.data);
    input[0] = (unsigned char)length;
    memcpy(input + 1, c.data, length);

    constexpr int batch = 1000;
    bench::samples calls, copies;
    long refused = 0;
    for (auto _ : state) {
        double t0 = bench::now_s();
        for (int i = 0; i < batch; i++) {
            name[0] = 0;
            text[0] = 0;
            refused += entry(c.symbology, input, name, text, 0) != prAccepted;
            benchmark::ClobberMemory();
        }
        double t1 = bench::now_s();
        for (int i = 0; i < batch; i++) {
            memcpy(copy, input, sizeof copy);
            benchmark::DoNotOptimize(copy);
            benchmark::ClobberMemory();
        }
        double t2 = bench::now_s();
        state.SetIterationTime((t1 - t0) / batch);
        calls.add((t1 - t0) / batch);
        copies.add((t2 - t1) / batch);
    }
    dlclose(module);
    if (refused != 0) {
        state.SkipWithError("the plug-in did not accept its data");
        return;
    }
    if (calls.empty())
        return;
    double per_call = calls.median(), per_copy = copies.median();
    bench::report(state, per_call, per_copy, 0, "timed: copy of the same 256 bytes");
    state.counters["calls_per_s"] = 1 / per_call;
    state.counters["copies_per_s"] = 1 / per_copy;
}

// Runs a program with standard output on /dev/null; seconds from the
// spawn to its end, or -1 when it could not run or exited with another status.
double run_program(const std::string &path, const std::string &arg, int expected_status) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char *argv[] = {const_cast<char *>(path.c_str()), arg.empty() ? nullptr : const_cast<char *>(arg.c_str()),
                    nullptr};
    double t0 = bench::now_s();
    pid_t pid;
    int r = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    int status = 0;
    bool ok = r == 0 && waitpid(pid, &status, 0) == pid;
    double t1 = bench::now_s();
    posix_spawn_file_actions_destroy(&actions);
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == expected_status ? t1 - t0 : -1;
}

void harness_run(benchmark::State &state, const plugin_case &c) {
    std::string program = bench::bin_dir() + "/" + c.name;
    std::string arg = std::string("]") + c.letter + "0" + c.data;
    bench::samples harness, floor;
    for (auto _ : state) {
        double h = run_program(program, arg, 0);
        double f = run_program("/bin/true", "", 0);
        if (h < 0 || f < 0) {
            state.SkipWithError(h < 0 ? ("running " + program + " failed").c_str() : "/bin/true failed");
            break;
        }
        state.SetIterationTime(h);
        harness.add(h);
        floor.add(f);
    }
    if (!harness.empty())
        bench::report(state, harness.median(), floor.median(), 0, "timed: /bin/true");
}

int register_all() {
    for (const plugin_case &c : cases) {
        benchmark::RegisterBenchmark((std::string("plugin_entry/") + c.name).c_str(), plugin_entry, c)
            ->Iterations(2000)
            ->UseManualTime()
            ->Unit(benchmark::kNanosecond);
    }
    for (const plugin_case &c : cases) {
        benchmark::RegisterBenchmark((std::string("harness_run/") + c.name).c_str(), harness_run, c)
            ->Iterations(200)
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
    }
    return 0;
}
const int registered = register_all();

} // namespace

int main(int argc, char **argv) { return bench::run_benchmarks(argc, argv); }
