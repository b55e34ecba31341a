// Shared parts of the commands that reach a reader: files, devices,
// activation with reasons, and bounded waits for scans.
#include "session.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <thread>

#include "discovery_log.h"
#include "files.h"
#include "interrupt.h"
#include "json_output.h"
#include "output.h"
#include "result_text.h"

namespace host {

namespace {

// What the scan-data callback has seen of the scan being waited for.
struct capture_state {
    std::vector<uint8_t> samples;
    bool complete = false;
    int failure = 0; // -1 poll read failed, -2 transfer failed
};
capture_state capture;

int on_scan_data(unsigned char *buf, int count) {
    if (count > 0 && buf)
        capture.samples.assign(buf, buf + count);
    else if (count == 0)
        capture.complete = true;
    else if (capture.failure == 0)
        capture.failure = count;
    return 0;
}

// The reason a reader's port could not be opened, for results 69 and 74.
std::string port_problem(int result, const std::string &port) {
    if (result != RDR_EX_IOERR || port.empty())
        return "";
    std::string problem = device_open_problem(port);
    return port +
           (problem.empty() ? ": opens now, but could not be opened or configured then" : ": " + problem);
}

} // namespace

bool take_files(const parsed_args &args, library_files &out, std::string &error,
                const std::string &calfile_default) {
    out.calfile =
        args.last("calfile", calfile_default.empty() ? config_file("calibration.txt") : calfile_default);
    if (out.calfile.empty()) {
        error = "--calfile needs a file name";
        return false;
    }
    out.settings = args.last("settings", dir_of(out.calfile) + "/settings.ini");
    return true;
}

bool take_reader_choice(const parsed_args &args, reader_choice &out, std::string &error) {
    long long id = -1;
    if (!int_option(args, "id", -1, 0xFFFF, -1, id, error))
        return false;
    out.has_id = args.has("id");
    out.id = (int)id;
    out.devices = args.all("device");
    if (out.devices.empty())
        return true;
    std::vector<std::string> names, paths;
    for (const auto &d : out.devices) {
        size_t eq = d.find('=');
        names.push_back(eq == std::string::npos ? "" : d.substr(0, eq));
        paths.push_back(eq == std::string::npos ? d : d.substr(eq + 1));
        if (paths.back().empty()) {
            error = "--device '" + d + "' has no path";
            return false;
        }
    }
    std::vector<const char *> name_ptrs, path_ptrs;
    for (size_t i = 0; i < out.devices.size(); i++) {
        name_ptrs.push_back(names[i].empty() ? nullptr : names[i].c_str());
        path_ptrs.push_back(paths[i].c_str());
        detail("device " + std::to_string(i) + ": " + (names[i].empty() ? "(no name)" : names[i]) + " at " +
               paths[i]);
    }
    if (serial_registry_set(name_ptrs.data(), path_ptrs.data(), (int)out.devices.size()) != 0) {
        error = "the library refused the device list (more than 16 devices, a name over 127 or a path over "
                "1023 characters)";
        return false;
    }
    return true;
}

bool prepare_reader(const parsed_args &args, library_files &files, reader_choice &choice, std::string &error,
                    const std::string &calfile_default) {
    if (!args.positional.empty()) {
        error = "unexpected argument '" + args.positional[0] + "'";
        return false;
    }
    return take_files(args, files, error, calfile_default) && take_reader_choice(args, choice, error);
}

int library_status(const char *line) {
    observe_status(line);
    status_text(line);
    return 0;
}

std::string skipped_device::line() const {
    std::string label = name.empty() ? path : path.empty() ? name : name + " at " + path;
    return label + ": " + reason;
}

std::vector<skipped_device> skipped_devices(const reader_choice &choice) {
    std::vector<skipped_device> skipped;
    const auto &seen = discovered_devices();
    bool listed = !choice.devices.empty();
    for (size_t i = 0; i < seen.size(); i++) {
        const probed_device &d = seen[i];
        // Of the system's listing only the probed devices count; ports
        // with other names are not readers' ports.
        if (d.result == probed_device::found || (!listed && d.result == probed_device::not_probed))
            continue;
        skipped_device s{d.name, d.path, skip_reason(d)};
        // Discovery takes the --device entries in order, one record each; a
        // device it did not probe shows no path in the status lines.
        if (listed && s.path.empty() && i < choice.devices.size()) {
            size_t eq = choice.devices[i].find('=');
            s.path = eq == std::string::npos ? choice.devices[i] : choice.devices[i].substr(eq + 1);
        }
        skipped.push_back(s);
    }
    return skipped;
}

std::string no_reader_text(const std::vector<skipped_device> &skipped) {
    std::string text = "no reader found";
    for (size_t i = 0; i < skipped.size(); i++)
        text += (i == 0 ? " (" : "; ") + skipped[i].line() + (i + 1 == skipped.size() ? ")" : "");
    return text;
}

activation activate_reader(const library_files &files, const reader_choice &choice, int flags) {
    detail("calibration file: " + files.calfile);
    detail("settings file: " + files.settings);
    discovery_begin();
    activation a;
    if (!choice.has_id) {
        a.result = reader_find(library_status, files.calfile.c_str(), files.settings.c_str(), flags);
    } else {
        // Discovery fills the library's device paths; activation opens them.
        reader_enumerate(library_status, nullptr, files.settings.c_str(), 0);
        a.result =
            reader_activate(library_status, files.calfile.c_str(), files.settings.c_str(), choice.id, flags);
    }
    std::vector<skipped_device> skipped = skipped_devices(choice);
    a.id = choice.has_id ? choice.id : activated_id();
    a.port = slot_path(a.id & READER_INDEX_MASK);
    if (a.result == RDR_OK) {
        reader_info(&a.record);
        for (const auto &s : skipped)
            warn("skipped " + s.line());
        return a;
    }
    if (a.result == RDR_NONE_FOUND) {
        a.failure = no_reader_text(skipped);
        return a;
    }
    std::string problem = port_problem(a.result, a.port);
    a.failure =
        "reader not activated: " + describe_result(a.result) + (problem.empty() ? "" : ": " + problem);
    return a;
}

bool activate_for_command(const library_files &files, const reader_choice &choice, activation &a,
                          int &status) {
    a = activate_reader(files, choice);
    if (caught_signal())
        status = signal_status();
    else if (a.result != RDR_OK)
        status = fail(a.failure);
    else
        report()["reader"] = reader_json(a.id, a.port, a.record);
    return !caught_signal() && a.result == RDR_OK;
}

int start_capture() { return reader_start(on_scan_data); }

scan_wait wait_for_scan(double timeout_s, bool getscan, const std::string &failure_prefix) {
    using clock = std::chrono::steady_clock;
    char seconds[32];
    snprintf(seconds, sizeof seconds, "%g", timeout_s);
    watchdog_arm(timeout_s + stop_grace_s, failure_prefix + "no complete scan within " + seconds +
                                               " s (the reader keeps the line busy)");
    capture = capture_state();
    auto deadline = clock::now() + std::chrono::duration<double>(timeout_s);
    if (getscan)
        reader_getscan();
    while (!getscan && !capture.complete && capture.failure == 0 && clock::now() < deadline &&
           !caught_signal()) {
        reader_poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    watchdog_disarm();
    scan_wait w;
    if (caught_signal())
        w.result = scan_wait::interrupted;
    else if (capture.failure == -1)
        w.result = scan_wait::read_failed;
    else if (capture.failure != 0 || (getscan && !capture.complete))
        w.result = scan_wait::transfer_failed;
    else if (capture.complete)
        w.result = scan_wait::got_scan;
    w.samples = capture.samples;
    return w;
}

const char *scan_outcome_text(scan_wait::outcome o) {
    switch (o) {
    case scan_wait::got_scan: return "scan received";
    case scan_wait::timed_out: return "no scan arrived in time";
    case scan_wait::read_failed: return "reading the reader's port failed";
    case scan_wait::transfer_failed: return "the scan transfer failed";
    case scan_wait::interrupted: return "interrupted";
    }
    return "";
}

long reference_level(const std::vector<uint8_t> &samples) {
    if (samples.empty())
        return 0;
    double sum = std::accumulate(samples.begin(), samples.end(), 0.0);
    return std::lround(256 * sum / (double)samples.size());
}

} // namespace host
