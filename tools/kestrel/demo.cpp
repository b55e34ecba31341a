// The demo command: the whole reader road against a simulated reader in
// this process, from discovery to a calibrated record, a graded scan, a CSV
// and an SVG.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "analysis.h"
#include "calibration.h"
#include "commands.h"
#include "files.h"
#include "grade_output.h"
#include "interrupt.h"
#include "kestrel/kestrel.h"
#include "latin1.h"
#include "output.h"
#include "profile_output.h"
#include "readersim.h"
#include "record_output.h"
#include "session.h"

namespace host {

namespace {

const char default_demo_text[] = "KESTREL-39";
constexpr int symbol_scans = 3;
constexpr double scan_timeout = 10;

// The references the simulated reader presents for the calibration: a flat
// profile at a sample value, standing for a true reflectance.
struct presented_reference {
    uint8_t sample;
    reference ref;
};

const option_group demo_own_options = {
    {"out", 0, "DIR",
     "write scan.csv and scan.svg here (default: a new directory under $TMPDIR or /tmp); the calibration "
     "file "
     "defaults to DIR/calibration.txt"},
    {"text", 0, "TEXT",
     "the data of the simulated Code 39 symbol (default KESTREL-39; 0CSSBD is an Italian pharmacode)"},
};

// A new directory under $TMPDIR (or /tmp), or "" on failure.
std::string fresh_dir() {
    const char *base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/kestrel-demo-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    return mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

// Presents a flat reference on the simulated reader and fetches it.
bool present_and_measure(readersim::simulator &sim, const readersim::config &cfg, presented_reference &p,
                         std::string &error) {
    readersim::config flat = cfg;
    flat.samples.assign(readersim::sample_count, p.sample);
    sim.set_config(flat);
    progress(std::string("Presenting the ") + p.ref.label + "...");
    bool ok = measure_reference(p.ref, scan_timeout, true, error);
    sim.set_config(cfg);
    return ok;
}

// The simulated reader's symbol: "" when the text holds characters Code 39
// cannot draw. Lower-case letters are drawn as capitals.
std::string drawn_text(const std::string &text) {
    std::string drawn = readersim::code39_symbol(text);
    if (text.empty() || drawn.size() != text.size() + 2)
        return "";
    return drawn.substr(1, drawn.size() - 2);
}

} // namespace

option_group demo_options() { return combine({demo_own_options, file_options, general_options}); }

int run_demo(const parsed_args &args) {
    if (!args.positional.empty())
        return usage_error("unexpected argument '" + args.positional[0] + "'");
    std::string demo_text = drawn_text(args.has("text") ? args.last("text") : default_demo_text);
    if (demo_text.empty())
        return usage_error("--text takes Code 39 characters: digits, letters, space and - . $ / + %");

    std::string out = args.has("out") ? args.last("out") : fresh_dir(), error;
    if (out.empty())
        return fail("cannot create an output directory under " +
                    std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp"));
    library_files files;
    if (!take_files(args, files, error, out + "/calibration.txt")) {
        if (!args.has("out"))
            rmdir(out.c_str()); // the fresh directory, still empty
        return usage_error(error);
    }
    if (!make_dirs(out, error) || !make_dirs(dir_of(files.calfile), error))
        return fail("cannot create the directory " + error);

    readersim::config cfg;
    cfg.prof.text = demo_text;
    cfg.prof.blur = 1.5;
    cfg.prof.noise = 2.0;
    readersim::simulator sim;
    bool started;
    {
        stop_signals_blocked in_this_scope; // the simulator's thread inherits the block
        started = sim.start(cfg);
    }
    if (!started)
        return fail("cannot start the simulated reader on a pseudo-terminal");
    progress("Simulated reader with a Code 39 symbol of '" + demo_text + "' on " + sim.path());
    const char *name = "usbserial-00001234";
    const char *path = sim.path().c_str();
    serial_registry_set(&name, &path, 1);

    reader_guard guard;
    activation a = activate_reader(files, reader_choice());
    if (caught_signal())
        return signal_status();
    if (a.result != RDR_OK)
        return fail(a.failure);
    start_capture();

    std::vector<uint8_t> last;
    for (int k = 1; k <= symbol_scans; k++) {
        std::string which = "scan " + std::to_string(k);
        progress("Waiting for scan " + std::to_string(k) + " of " + std::to_string(symbol_scans) + "...");
        cfg.prof.seed = (uint32_t)k; // each pass of the wand brings its own noise
        sim.set_config(cfg);
        sim.announce();
        scan_wait w = wait_for_scan(scan_timeout, false, which + ": ");
        if (w.result == scan_wait::interrupted)
            return signal_status();
        if (w.result != scan_wait::got_scan)
            return fail(which + ": " + scan_outcome_text(w.result));
        last = w.samples;
        which.resize(18, ' ');
        write_data(which +
                   sparkline(reflectances(last, a.record.calmin, a.record.calmax), 64, charset_is_utf8()) +
                   "\n");
    }

    presented_reference black{18, {"black reference", 0.04}}, white{235, {"white reference", 0.92}};
    for (presented_reference *p : {&black, &white})
        if (!present_and_measure(sim, cfg, *p, error))
            return caught_signal() ? signal_status() : fail(error);
    if (save_calibration(black.ref, white.ref, files.calfile, "kestrel demo", error) != RDR_OK)
        return fail(error);

    readerinfo_t rec{};
    reader_info(&rec);
    release_reader();
    write_data("Calibrated record (saved in " + files.calfile + "):\n" + format_record(rec));
    std::string which = "scan " + std::to_string(symbol_scans) + " calibrated";
    which.resize(18, ' ');
    write_data(which + sparkline(reflectances(last, rec.calmin, rec.calmax), 64, charset_is_utf8()) + "\n");

    profile_analysis graded = analyse_samples(last, rec.calmin, rec.calmax);
    std::vector<plugin_module> modules = load_plugins_noting_skipped(default_plugin_dir());
    write_data(grade_report("Grade of scan " + std::to_string(symbol_scans) + " (" +
                                scale_text(is_calibrated(rec)) + "):",
                            graded, modules));

    char title[128];
    snprintf(title, sizeof title, "Simulated reader %04X: Code 39 '%s', calibrated",
             (unsigned)rec.SerialNumber, demo_text.c_str());
    if (!write_output({"out", out + "/scan.csv"}, profile_csv(last, rec.calmin, rec.calmax), error) ||
        !write_output({"out", out + "/scan.svg"},
                      profile_svg(last, rec.calmin, rec.calmax, title, is_calibrated(rec), marks_of(graded)),
                      error))
        return fail(error);
    progress("Wrote scan.csv and scan.svg in " + out);
    return 0;
}

} // namespace host
