// The demo command: the whole reader road against a simulated reader in
// this process, from discovery to a calibrated record, a CSV and an SVG.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

#include "analysis.h"
#include "commands.h"
#include "grade_output.h"
#include "kestrel/kestrel.h"
#include "profile_output.h"
#include "readersim.h"
#include "record_output.h"
#include "result_text.h"
#include "session.h"

namespace host {

namespace {

const char default_demo_text[] = "KESTREL-39";
constexpr int symbol_scans = 3;
constexpr double scan_timeout = 10;

// The two references the simulated reader presents for the calibration: a
// flat profile at `sample`, standing for the true reflectance `actual`.
struct reference {
    const char *label;
    uint8_t sample;
    float actual;
};
constexpr reference black_ref = {"black reference", 18, 0.04f};
constexpr reference white_ref = {"white reference", 235, 0.92f};

double mean(const std::vector<uint8_t> &v) {
    double sum = 0;
    for (uint8_t s : v)
        sum += s;
    return v.empty() ? 0 : sum / (double)v.size();
}

// A new directory under $TMPDIR (or /tmp), or "" on failure.
std::string fresh_dir() {
    const char *base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/kestrel-demo-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    return mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

// Presents a reference and fetches it; the raw reading is 256 times the
// mean sample. -1 when the scan does not arrive.
long measure(readersim::simulator &sim, const readersim::config &cfg, const reference &ref) {
    readersim::config flat = cfg;
    flat.samples.assign(readersim::sample_count, ref.sample);
    sim.set_config(flat);
    progress(std::string("Presenting the ") + ref.label + "...");
    scan_wait w = wait_for_scan(scan_timeout, true, error_prefix("demo") + ref.label + ": ");
    sim.set_config(cfg);
    if (w.result != scan_wait::got_scan)
        return -1;
    long raw = std::lround(256 * mean(w.samples));
    readerinfo_t rec{};
    reader_info(&rec);
    printf("%-17s %s  raw %ld, true %.2f\n", ref.label,
           sparkline(reflectances(w.samples, rec.calmin, rec.calmax)).c_str(), raw, (double)ref.actual);
    return raw;
}

int demo_failure(const std::string &message) {
    reader_stop();
    serial_registry_set(nullptr, nullptr, 0);
    return fail("demo", message);
}

} // namespace

std::vector<option_spec> demo_specs() {
    std::vector<option_spec> specs = {
        {"out", "DIR",
         "write scan.csv and scan.svg here (default: a new directory under $TMPDIR or /tmp);"
         " the calibration file defaults to DIR/calibration.txt"},
        {"text", "TEXT",
         "the data of the simulated Code 39 symbol (default KESTREL-39; 0CSSBD is an"
         " Italian pharmacode)"},
    };
    for (const auto &s : common_specs())
        specs.push_back(s);
    return specs;
}

int run_demo(const parsed_args &args) {
    if (!args.positional.empty())
        return fail("demo", "unexpected argument '" + args.positional[0] + "' (see kestrel demo --help)", 2);
    // The symbol draws lower-case letters as capitals; the text shown is
    // the one drawn.
    std::string demo_text = args.has("text") ? args.last("text") : default_demo_text;
    std::string drawn = readersim::code39_symbol(demo_text);
    if (demo_text.empty() || drawn.size() != demo_text.size() + 2)
        return fail("demo", "--text takes Code 39 characters: digits, letters, space and - . $ / + %", 2);
    demo_text = drawn.substr(1, drawn.size() - 2);

    std::string out = args.has("out") ? args.last("out") : fresh_dir();
    if (out.empty() || !make_dirs(out))
        return fail("demo", "cannot create the output directory " + (out.empty() ? "under /tmp" : out));
    common_options common;
    std::string error;
    if (!take_common(args, common, error, out + "/calibration.txt")) {
        if (!args.has("out"))
            rmdir(out.c_str()); // the fresh directory, still empty
        return fail("demo", error + " (see kestrel demo --help)", 2);
    }
    readersim::config cfg;
    cfg.prof.text = demo_text;
    cfg.prof.blur = 1.5;
    cfg.prof.noise = 2.0;
    readersim::simulator sim;
    if (!sim.start(cfg))
        return fail("demo", "cannot start the simulated reader on a pseudo-terminal");
    progress("Simulated reader with a Code 39 symbol of '" + demo_text + "' on " + sim.path());
    const char *name = "usbserial-00001234";
    const char *path = sim.path().c_str();
    serial_registry_set(&name, &path, 1);

    int r = activate_reader(common, reader_options());
    if (r != RDR_OK)
        return demo_failure("reader not activated: " + describe_result(r));
    start_capture();

    std::vector<uint8_t> last;
    for (int k = 1; k <= symbol_scans; k++) {
        progress("Waiting for scan " + std::to_string(k) + " of " + std::to_string(symbol_scans) + "...");
        cfg.prof.seed = (uint32_t)k; // each pass of the wand brings its own noise
        sim.set_config(cfg);
        sim.announce();
        scan_wait w =
            wait_for_scan(scan_timeout, false, error_prefix("demo") + "scan " + std::to_string(k) + ": ");
        if (w.result != scan_wait::got_scan)
            return demo_failure(std::string("scan ") + std::to_string(k) + ": " +
                                scan_outcome_text(w.result));
        last = w.samples;
        readerinfo_t rec{};
        reader_info(&rec);
        printf("%-17s %s\n", ("scan " + std::to_string(k)).c_str(),
               sparkline(reflectances(last, rec.calmin, rec.calmax)).c_str());
        fflush(stdout);
    }

    long rawmin = measure(sim, cfg, black_ref);
    long rawmax = rawmin < 0 ? -1 : measure(sim, cfg, white_ref);
    if (rawmin < 0 || rawmax < 0)
        return demo_failure("a reference scan did not arrive");
    if (!make_dirs(dir_of(common.calfile)))
        return demo_failure("cannot create the directory " + dir_of(common.calfile));
    r = reader_calib((unsigned)rawmin, (unsigned)rawmax, black_ref.actual, white_ref.actual,
                     common.calfile.c_str(), (reader_time)time(nullptr), "kestrel demo");
    if (r != RDR_OK)
        return demo_failure("calibration not saved in " + common.calfile + ": " + describe_result(r));

    readerinfo_t rec{};
    reader_info(&rec);
    printf("Calibrated record (saved in %s):\n%s", common.calfile.c_str(), format_record(rec).c_str());
    printf("%-17s %s\n", ("scan " + std::to_string(symbol_scans) + " calibrated").c_str(),
           sparkline(reflectances(last, rec.calmin, rec.calmax)).c_str());
    reader_stop();
    serial_registry_set(nullptr, nullptr, 0);
    sim.stop();

    profile_analysis graded = analyse_samples(last, rec.calmin, rec.calmax);
    std::vector<skipped_module> skipped;
    std::vector<plugin_module> modules = load_plugins(default_plugin_dir(), &skipped);
    for (const auto &s : skipped)
        detail("skipped " + s.path + ": " + s.reason);
    printf("%s",
           grade_report("Grade of scan " + std::to_string(symbol_scans) + ", calibrated:", graded, modules)
               .c_str());

    char title[128];
    snprintf(title, sizeof title, "Simulated reader %04X: Code 39 '%s', calibrated",
             (unsigned)rec.SerialNumber, demo_text.c_str());
    if (!write_text_file(out + "/scan.csv", profile_csv(last, rec.calmin, rec.calmax), error) ||
        !write_text_file(out + "/scan.svg",
                         profile_svg(last, rec.calmin, rec.calmax, title, marks_of(graded)), error))
        return fail("demo", error);
    printf("Wrote scan.csv and scan.svg in %s\n", out.c_str());
    return 0;
}

} // namespace host
