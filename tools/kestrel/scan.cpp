// The scan command: captures scans, shows them, grades them against an
// optional minimum, and writes the last one as CSV or SVG.
#include <cstdio>

#include "analysis.h"
#include "commands.h"
#include "files.h"
#include "grade_output.h"
#include "interrupt.h"
#include "json_output.h"
#include "kestrel/kestrel.h"
#include "latin1.h"
#include "output.h"
#include "plugins.h"
#include "profile_output.h"
#include "record_output.h"
#include "session.h"

namespace host {

namespace {

const option_group capture_options = {
    {"count", 0, "N", "number of scans to capture, 1 to 100000 (default 1)"},
    {"timeout", 0, "SECONDS", "longest wait for each scan (default 10)"},
    {"getscan", 0, nullptr, "ask the reader for each scan at once instead of waiting for its announcement"},
};

const option_group grading_options = {
    {"grade", 0, nullptr,
     "grade each scan (ISO/IEC 15416 profile parameters), decode its Code 39 symbol and offer the data to "
     "the "
     "plug-ins"},
    {"min-grade", 0, "LETTER",
     "grade each scan and exit with status 1, naming the parameters, when one grades below LETTER (A, B, C, "
     "D)"},
};

const option_group scan_file_options = {
    {"csv", 0, "PATH", "write the last scan as CSV: index,sample,reflectance (- for standard output)"},
    {"svg", 0, "PATH",
     "write the last scan as an SVG plot of reflectance against sample index, with its global threshold and "
     "element edges (- for standard output)"},
    {"samples", 0, nullptr, "with --json: each scan's samples as well"},
};

// The grade of one scan: the report on standard output, its JSON, and the
// parameters below the minimum (none without one).
std::vector<std::string> report_grade(const std::string &heading, const profile_analysis &a,
                                      const std::vector<plugin_module> &modules, int minimum, json &scan) {
    write_data(grade_report(heading, a, modules));
    scan["grade"] = grade_json(a);
    symbol sym;
    std::string error;
    if (a.decoded && !modules.empty() && parse_symbol(decoded_symbol(a), sym, error))
        scan["grade"]["plugins"] = answers_json(offer_all(modules, sym));
    if (minimum < 0)
        return {};
    std::vector<std::string> below = below_minimum(a, minimum);
    scan["grade"]["below_minimum"] = below;
    return below;
}

std::string joined(const std::vector<std::string> &parts) {
    std::string text;
    for (const auto &p : parts)
        text += (text.empty() ? "" : ", ") + p;
    return text;
}

} // namespace

option_group scan_options() {
    return combine({capture_options, grading_options, scan_file_options, plugin_options, device_options,
                    reader_id_options, file_options, json_options, general_options});
}

int run_scan(const parsed_args &args) {
    long long count = 1;
    double timeout = 10;
    std::string error;
    if (!int_option(args, "count", 1, 100000, 1, count, error) ||
        !real_option(args, "timeout", 0.001, 86400, 10, timeout, error, "seconds"))
        return usage_error(error);
    int minimum = -1;
    if (args.has("min-grade") && (minimum = grade_of_letter(args.last("min-grade"))) < 0)
        return usage_error("bad --min-grade '" + args.last("min-grade") +
                           "' (a grade letter: A, B, C, D or F)");
    bool grade = args.has("grade") || minimum >= 0;
    bool getscan = args.has("getscan");
    library_files files;
    reader_choice choice;
    if (!prepare_reader(args, files, choice, error))
        return usage_error(error);
    std::vector<plugin_module> modules;
    if (grade)
        modules = load_plugins_noting_skipped(args.last("plugin-dir", default_plugin_dir()));

    reader_guard guard;
    activation a;
    int status = 0;
    if (!activate_for_command(files, choice, a, status))
        return status;
    const readerinfo_t &rec = a.record;
    bool calibrated = is_calibrated(rec);
    report()["scale"] = calibrated ? "calibrated" : "raw";
    if (minimum >= 0)
        report()["min_grade"] = std::string(1, grade_letter(minimum));
    report()["scans"] = json::array();
    if (!calibrated)
        detail("the reader is uncalibrated: reflectance is shown on its raw scale");

    start_capture();
    std::vector<uint8_t> last;
    std::string verdict; // the first scan below the minimum, and why
    int scans_below = 0;
    for (long long k = 1; k <= count; k++) {
        std::string which = "scan " + std::to_string(k) + " of " + std::to_string(count);
        progress((getscan ? "Requesting " : "Waiting for ") + which +
                 (getscan ? "..." : " (up to " + args.last("timeout", "10") + " s)..."));
        scan_wait w = wait_for_scan(timeout, getscan, which + ": ");
        if (w.result == scan_wait::interrupted)
            return signal_status();
        if (w.result != scan_wait::got_scan)
            return fail(which + ": " + scan_outcome_text(w.result) +
                        (w.result == scan_wait::timed_out ? " (" + args.last("timeout", "10") + " s)" : ""));
        last = w.samples;
        json scan = {{"number", k}, {"sample_count", last.size()}};
        clip_count clip = clipped(last, rec.calmin, rec.calmax);
        scan["clipped_low"] = clip.below;
        scan["clipped_high"] = clip.above;
        if (clip.any())
            warn(which + ": " + std::to_string(clip.below) + " samples below calmin read as R = 0 and " +
                 std::to_string(clip.above) +
                 " above calmax as R = 1; Rmin, Rmax and the grades see the limited values");
        write_data("scan " + std::to_string(k) + " " +
                   sparkline(reflectances(last, rec.calmin, rec.calmax), 64, charset_is_utf8()) + "\n");
        if (grade) {
            profile_analysis graded = analyse_samples(last, rec.calmin, rec.calmax);
            std::vector<std::string> below = report_grade(
                "Grade of scan " + std::to_string(k) + " (" + scale_text(calibrated) + "):", graded, modules,
                minimum, scan);
            if (!below.empty() && scans_below++ == 0)
                verdict = which + " grades " + grade_letter(graded.scan_grade) + " (" +
                          std::to_string(graded.scan_grade) + "), below " + grade_letter(minimum) + ": " +
                          joined(below);
        }
        if (args.has("samples"))
            scan["samples"] = last;
        report()["scans"].push_back(scan);
        detail(std::to_string(last.size()) + " samples");
    }
    release_reader();

    for (const char *kind : {"csv", "svg"}) {
        if (!args.has(kind))
            continue;
        output_file out{kind, args.last(kind)};
        std::string content;
        if (out.option == "csv") {
            content = profile_csv(last, rec.calmin, rec.calmax);
        } else {
            char title[96];
            snprintf(title, sizeof title, "Reader %04X, scan %lld of %lld", (unsigned)rec.SerialNumber, count,
                     count);
            content = profile_svg(last, rec.calmin, rec.calmax, title, calibrated,
                                  marks_of(analyse_samples(last, rec.calmin, rec.calmax)));
        }
        if (!write_output(out, content, error))
            return fail(error);
        detail("wrote " + out.path);
    }
    if (scans_below > 1)
        verdict += " (and " + std::to_string(scans_below - 1) + " more scan" + (scans_below > 2 ? "s" : "") +
                   " below)";
    return verdict.empty() ? 0 : fail(verdict);
}

} // namespace host
