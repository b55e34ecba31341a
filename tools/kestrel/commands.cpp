// The commands list, scan, info, calibrate and interpret.
#include "commands.h"

#include <cstdio>
#include <ctime>

#include "analysis.h"
#include "grade_output.h"
#include "kestrel/kestrel.h"
#include "plugins.h"
#include "profile_output.h"
#include "record_output.h"
#include "result_text.h"
#include "session.h"

namespace host {

namespace {

std::vector<option_spec> joined(std::vector<option_spec> a, const std::vector<option_spec> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<option_spec> reader_command_specs(const std::vector<option_spec> &own) {
    return joined(joined(own, reader_specs()), common_specs());
}

// Common and reader options, the device list handed to the library, and no
// stray arguments; on failure the usage error's exit status.
bool prepare(const char *command, const parsed_args &args, common_options &common, reader_options *reader,
             int &status) {
    std::string error;
    bool ok = take_common(args, common, error) && (!reader || take_reader(args, *reader, error)) &&
              (!reader || apply_devices(reader->devices, error));
    if (ok && !args.positional.empty()) {
        error = "unexpected argument '" + args.positional[0] + "'";
        ok = false;
    }
    if (!ok)
        status = fail(command, error + " (see kestrel " + command + " --help)", 2);
    return ok;
}

// prepare() and then the activation; false with the exit status when
// either fails. On true a reader is active and must be stopped.
bool reader_ready(const char *command, const parsed_args &args, common_options &common, int &status) {
    reader_options reader;
    if (!prepare(command, args, common, &reader, status))
        return false;
    int r = activate_reader(common, reader);
    if (r != RDR_OK) {
        status = fail(command, "reader not activated: " + describe_result(r));
        return false;
    }
    return true;
}

// The current record; the record is there whenever a reader is active.
readerinfo_t current_record() {
    readerinfo_t rec{};
    reader_info(&rec);
    return rec;
}

struct found_reader {
    int id;
    std::string port;
    unsigned serial;
};
std::vector<found_reader> found;

int on_found(int id, const char *portname, const readerinfo_t *info) {
    found.push_back({id, portname ? portname : "", info ? (unsigned)info->SerialNumber : 0xFFFFu});
    return 0;
}

} // namespace

std::vector<option_spec> list_specs() {
    return joined({{"device", "NAME=PATH", reader_specs()[0].help}}, common_specs());
}

int run_list(const parsed_args &args) {
    common_options common;
    reader_options reader;
    int status = 0;
    if (!prepare("list", args, common, &reader, status))
        return status;
    found.clear();
    int n = reader_enumerate(status_line, on_found, common.settings.c_str(), 0);
    if (n <= 0)
        return fail("list", "no reader found");
    printf("%-6s %-32s %s\n", "ID", "PORT", "SERIAL");
    for (const auto &f : found)
        printf("%-6d %-32s %04X\n", f.id, f.port.c_str(), f.serial);
    return 0;
}

std::vector<option_spec> scan_specs() {
    return reader_command_specs({
        {"count", "N", "number of scans to capture (default 1)"},
        {"timeout", "SECONDS", "longest wait for each scan (default 10)"},
        {"getscan", nullptr, "ask the reader for each scan at once instead of waiting for its announcement"},
        {"csv", "PATH", "write the last scan as CSV: index,sample,reflectance"},
        {"svg", "PATH",
         "write the last scan as an SVG plot of reflectance against sample index,"
         " with its global threshold and element edges"},
        {"grade", nullptr,
         "grade each scan (ISO/IEC 15416 profile parameters), decode its Code 39 symbol"
         " and offer the data to the plug-ins"},
        {"plugin-dir", "DIR",
         "with --grade: look for plug-in modules here (default: beside the program, or "
         "../lib/kestrel/plugins when installed)"},
    });
}

int run_scan(const parsed_args &args) {
    long count = 1;
    double timeout = 10;
    if (!parse_int(args.last("count", "1"), 1, 100000, count))
        return fail("scan", "bad --count '" + args.last("count") + "' (a number from 1)", 2);
    if (!parse_double(args.last("timeout", "10"), 0.001, 86400, timeout))
        return fail("scan", "bad --timeout '" + args.last("timeout") + "' (seconds, more than 0)", 2);
    bool getscan = args.has("getscan");
    bool grade = args.has("grade");
    common_options common;
    int status = 0;
    if (!reader_ready("scan", args, common, status))
        return status;
    std::vector<plugin_module> modules;
    if (grade) {
        std::vector<skipped_module> skipped;
        modules = load_plugins(args.last("plugin-dir", default_plugin_dir()), &skipped);
        for (const auto &s : skipped)
            detail("skipped " + s.path + ": " + s.reason);
    }
    readerinfo_t rec = current_record();
    start_capture();
    std::vector<uint8_t> last;
    for (long k = 1; k <= count; k++) {
        std::string which = "scan " + std::to_string(k) + " of " + std::to_string(count);
        progress((getscan ? "Requesting " : "Waiting for ") + which +
                 (getscan ? "..." : " (up to " + args.last("timeout", "10") + " s)..."));
        scan_wait w = wait_for_scan(timeout, getscan, error_prefix("scan") + which + ": ");
        if (w.result != scan_wait::got_scan) {
            reader_stop();
            return fail(
                "scan",
                which + ": " + scan_outcome_text(w.result) +
                    (w.result == scan_wait::timed_out ? " (" + args.last("timeout", "10") + " s)" : ""));
        }
        last = w.samples;
        printf("scan %ld %s\n", k, sparkline(reflectances(last, rec.calmin, rec.calmax)).c_str());
        if (grade)
            printf("%s", grade_report("Grade of scan " + std::to_string(k) + ":",
                                      analyse_samples(last, rec.calmin, rec.calmax), modules)
                             .c_str());
        fflush(stdout);
        detail(std::to_string(last.size()) + " samples");
    }
    reader_stop();

    std::string error;
    if (args.has("csv") &&
        !write_text_file(args.last("csv"), profile_csv(last, rec.calmin, rec.calmax), error))
        return fail("scan", error);
    if (args.has("svg")) {
        char title[96];
        snprintf(title, sizeof title, "Reader %04X, scan %ld of %ld", (unsigned)rec.SerialNumber, count,
                 count);
        if (!write_text_file(args.last("svg"),
                             profile_svg(last, rec.calmin, rec.calmax, title,
                                         marks_of(analyse_samples(last, rec.calmin, rec.calmax))),
                             error))
            return fail("scan", error);
    }
    for (const char *kind : {"csv", "svg"})
        if (args.has(kind))
            detail(std::string("wrote ") + args.last(kind));
    return 0;
}

std::vector<option_spec> info_specs() { return reader_command_specs({}); }

int run_info(const parsed_args &args) {
    common_options common;
    int status = 0;
    if (!reader_ready("info", args, common, status))
        return status;
    readerinfo_t rec = current_record();
    reader_stop();
    printf("Reader %04X\n%s", (unsigned)rec.SerialNumber, format_record(rec).c_str());
    return 0;
}

std::vector<option_spec> calibrate_specs() {
    return reader_command_specs({
        {"raw-min", "R", "raw reading of the dark reference, 0..65535 (a sample s reads 256*s)"},
        {"raw-max", "R", "raw reading of the light reference, 0..65535"},
        {"true-min", "T", "true reflectance of the dark reference, 0..1"},
        {"true-max", "T", "true reflectance of the light reference, 0..1"},
        {"extra", "TEXT", "free text kept behind the date in the calibration line"},
    });
}

int run_calibrate(const parsed_args &args) {
    long raw[2];
    double actual[2];
    const char *raw_names[2] = {"raw-min", "raw-max"}, *true_names[2] = {"true-min", "true-max"};
    for (int i = 0; i < 2; i++) {
        if (!args.has(raw_names[i]) || !args.has(true_names[i]))
            return fail("calibrate", "--raw-min, --raw-max, --true-min and --true-max are all needed", 2);
        if (!parse_int(args.last(raw_names[i]), 0, 65535, raw[i]))
            return fail("calibrate",
                        std::string("bad --") + raw_names[i] + " '" + args.last(raw_names[i]) +
                            "' (a raw reading 0..65535)",
                        2);
        if (!parse_double(args.last(true_names[i]), 0, 1, actual[i]))
            return fail("calibrate",
                        std::string("bad --") + true_names[i] + " '" + args.last(true_names[i]) +
                            "' (a reflectance 0..1)",
                        2);
    }
    // Reference points in the wrong order, or equal, give no usable line.
    if (raw[0] >= raw[1] || actual[0] >= actual[1])
        return fail("calibrate", "the dark reference must be below the light one in both raw and true values",
                    2);

    common_options common;
    int status = 0;
    if (!reader_ready("calibrate", args, common, status))
        return status;
    if (!make_dirs(dir_of(common.calfile))) {
        reader_stop();
        return fail("calibrate", "cannot create the directory " + dir_of(common.calfile));
    }
    std::string extra = args.last("extra");
    int r = reader_calib((unsigned)raw[0], (unsigned)raw[1], (float)actual[0], (float)actual[1],
                         common.calfile.c_str(), (reader_time)time(nullptr), extra.c_str());
    readerinfo_t rec = current_record();
    reader_stop();
    printf("Reader %04X: calmin %04X, calmax %04X\n", (unsigned)rec.SerialNumber, (unsigned)rec.calmin,
           (unsigned)rec.calmax);
    if (r != RDR_OK)
        return fail("calibrate", "calibration not kept in " + common.calfile + ": " + describe_result(r));
    printf("Saved in %s\n", common.calfile.c_str());
    return 0;
}

std::vector<option_spec> interpret_specs() {
    return joined({{"plugin-dir", "DIR",
                    "look for plug-in modules here (default: beside the program, or ../lib/kestrel/plugins "
                    "when installed)"}},
                  {common_specs()[2], common_specs()[3], common_specs()[4]});
}

int run_interpret(const parsed_args &args) {
    common_options common;
    std::string error;
    if (!take_common(args, common, error))
        return fail("interpret", error, 2);
    if (args.positional.size() != 1)
        return fail("interpret", "give one symbol, e.g. kestrel interpret ']A0DATA'", 2);
    symbol sym;
    if (!parse_symbol(args.positional[0], sym, error))
        return fail("interpret", error, 2);

    std::string dir = args.last("plugin-dir", default_plugin_dir());
    std::vector<skipped_module> skipped;
    std::vector<plugin_module> modules = load_plugins(dir, &skipped);
    for (const auto &s : skipped)
        detail("skipped " + s.path + ": " + s.reason);
    if (modules.empty())
        return fail("interpret", "no plug-in modules in " + dir);

    printf("%s", answers_text(modules, sym).c_str());
    return 0;
}

} // namespace host
