// The calibrate command: a calibration from two references, given as raw
// readings, measured with the reader now, or taken from two CSV scans.
#include <cstdio>

#include "calibration.h"
#include "commands.h"
#include "files.h"
#include "interrupt.h"
#include "json_output.h"
#include "kestrel/kestrel.h"
#include "output.h"
#include "session.h"

namespace host {

namespace {

const option_group reference_options = {
    {"true-min", 0, "T", "true reflectance of the dark reference, 0..1"},
    {"true-max", 0, "T", "true reflectance of the light reference, 0..1"},
    {"raw-min", 0, "R", "raw reading of the dark reference, 0..65535 (a sample s reads 256*s)"},
    {"raw-max", 0, "R", "raw reading of the light reference, 0..65535"},
    {"measure", 0, nullptr,
     "measure the references with the reader: scan the dark one, then the light one, when asked"},
    {"black-csv", 0, "PATH",
     "take the dark reference's raw reading from a scan saved with kestrel scan --csv"},
    {"white-csv", 0, "PATH",
     "take the light reference's raw reading from a scan saved with kestrel scan --csv"},
    {"timeout", 0, "SECONDS", "with --measure: longest wait for each reference scan (default 30)"},
    {"getscan", 0, nullptr, "with --measure: ask the reader for each reference scan at once"},
    {"extra", 0, "TEXT", "free text kept behind the date in the calibration line"},
};

// Where the raw readings come from.
enum class source { options, measure, csv };
const char *source_name(source s) {
    switch (s) {
    case source::options: return "options";
    case source::measure: return "measured";
    case source::csv: return "csv";
    }
    return "";
}

// The raw level of a reference from a CSV scan.
bool level_from_csv(const std::string &path, reference &ref, std::string &error) {
    std::vector<uint8_t> samples;
    if (!read_csv_samples(path, samples, error))
        return false;
    ref.raw = reference_level(samples);
    return true;
}

// Reference points in the wrong order, or equal, give no usable line.
bool in_order(const reference &dark, const reference &light, std::string &error) {
    if (dark.raw < light.raw && dark.true_value < light.true_value)
        return true;
    char text[160];
    snprintf(text, sizeof text,
             "the dark reference must be below the light one in both raw and true values (raw %ld and %ld, "
             "true %g and %g)",
             dark.raw, light.raw, dark.true_value, light.true_value);
    error = text;
    return false;
}

} // namespace

option_group calibrate_options() {
    return combine(
        {reference_options, device_options, reader_id_options, file_options, json_options, general_options});
}

int run_calibrate(const parsed_args &args) {
    reference dark{"dark reference", 0}, light{"light reference", 1};
    std::string error;
    bool raw_given = args.has("raw-min") || args.has("raw-max");
    bool csv_given = args.has("black-csv") || args.has("white-csv");
    int sources = (int)raw_given + (int)csv_given + (int)args.has("measure");
    if (sources != 1)
        return usage_error(
            "give the references one way: --raw-min and --raw-max, --measure, or --black-csv and "
            "--white-csv");
    if (!args.has("true-min") || !args.has("true-max"))
        return usage_error("--true-min and --true-max are needed: the true reflectances of the references");
    long long raw_min = 0, raw_max = 0;
    double timeout = 30;
    if (!real_option(args, "true-min", 0, 1, 0, dark.true_value, error, "a reflectance") ||
        !real_option(args, "true-max", 0, 1, 1, light.true_value, error, "a reflectance") ||
        !int_option(args, "raw-min", 0, 65535, -1, raw_min, error) ||
        !int_option(args, "raw-max", 0, 65535, -1, raw_max, error) ||
        !real_option(args, "timeout", 0.001, 86400, 30, timeout, error, "seconds"))
        return usage_error(error);
    source from = raw_given ? source::options : csv_given ? source::csv : source::measure;
    if (from == source::options) {
        if (!args.has("raw-min") || !args.has("raw-max"))
            return usage_error("--raw-min and --raw-max go together");
        dark.raw = (long)raw_min;
        light.raw = (long)raw_max;
    }
    if (from == source::csv) {
        if (!args.has("black-csv") || !args.has("white-csv"))
            return usage_error("--black-csv and --white-csv go together");
        if (!level_from_csv(args.last("black-csv"), dark, error) ||
            !level_from_csv(args.last("white-csv"), light, error))
            return fail(error);
    }
    if (from != source::measure && !in_order(dark, light, error))
        return usage_error(error);

    library_files files;
    reader_choice choice;
    if (!prepare_reader(args, files, choice, error))
        return usage_error(error);
    if (!make_dirs(dir_of(files.calfile), error))
        return fail("cannot create the directory " + dir_of(files.calfile) + ": " + error);

    reader_guard guard;
    activation a;
    int status = 0;
    if (!activate_for_command(files, choice, a, status))
        return status;
    if (from == source::measure) {
        bool getscan = args.has("getscan");
        start_capture();
        for (reference *ref : {&dark, &light}) {
            char text[160];
            snprintf(text, sizeof text, "Scan the %s (true reflectance %g) now; waiting up to %g s...",
                     ref->label, ref->true_value, timeout);
            prompt(text);
            if (!measure_reference(*ref, timeout, getscan, error))
                return caught_signal() ? signal_status() : fail(error);
        }
        if (!in_order(dark, light, error))
            return fail(error);
    }
    report()["references"] = {{"source", source_name(from)},
                              {"raw_min", dark.raw},
                              {"raw_max", light.raw},
                              {"true_min", dark.true_value},
                              {"true_max", light.true_value}};
    if (caught_signal())
        return signal_status();

    int r = save_calibration(dark, light, files.calfile, args.last("extra"), error);
    readerinfo_t rec{};
    reader_info(&rec);
    release_reader();
    report()["calmin"] = rec.calmin;
    report()["calmax"] = rec.calmax;
    report()["calfile"] = files.calfile;
    report()["result"] = r;
    report()["saved"] = r == RDR_OK;
    char line[128];
    snprintf(line, sizeof line, "Reader %04X: calmin %04X, calmax %04X\n", (unsigned)rec.SerialNumber,
             (unsigned)rec.calmin, (unsigned)rec.calmax);
    write_data(line);
    if (r != RDR_OK)
        return fail(error);
    write_data("Saved in " + files.calfile + "\n");
    return 0;
}

} // namespace host
