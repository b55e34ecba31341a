// The C API: arguments checked, defaults for a null options pointer, and no
// exception ever crossing into the caller.
#include <string>
#include <vector>

#include "engine.h"
#include "grades.h"

using namespace verify;

namespace {

const verify_options_t default_options = {};

const verify_options_t &options_or_default(const verify_options_t *options) {
    return options ? *options : default_options;
}

// Grades the scan 0 with the reason and returns the code.
int refuse(verify_scan_t &scan, const char *reason, int code) {
    grade_scan({}, default_options, scan);
    set_text(scan.failure, reason);
    return code;
}

// Runs a job that may run out of memory; the scan is failed when it does.
template <typename Job> int guarded(verify_scan_t &scan, Job job) {
    try {
        return job();
    } catch (...) {
        // Only std::bad_alloc is thrown inside; nothing may reach a C caller.
        return refuse(scan, "out of memory", VERIFY_ERR_INTERNAL);
    }
}

} // namespace

extern "C" {

VERIFY_API int verify_profile(const double *reflectance, size_t count, const verify_options_t *options,
                              verify_scan_t *scan) {
    if (!scan)
        return VERIFY_ERR_ARGUMENT;
    if (!reflectance && count > 0)
        return refuse(*scan, "no profile given", VERIFY_ERR_ARGUMENT);
    return guarded(*scan, [&] {
        return grade_scan(std::span<const double>(reflectance, count), options_or_default(options), *scan);
    });
}

VERIFY_API int verify_samples(const uint8_t *samples, size_t count, unsigned calmin, unsigned calmax,
                              const verify_options_t *options, verify_scan_t *scan) {
    if (!scan)
        return VERIFY_ERR_ARGUMENT;
    if (!samples && count > 0)
        return refuse(*scan, "no samples given", VERIFY_ERR_ARGUMENT);
    return guarded(*scan, [&] {
        std::vector<double> r(count);
        for (size_t i = 0; i < count; i++) {
            double raw = 256.0 * samples[i];
            if (calmax == calmin)
                r[i] = raw >= calmin ? 1.0 : 0.0;
            else
                r[i] = (raw - calmin) / ((double)calmax - calmin); // limited to 0..1 by the grader
        }
        return grade_scan(r, options_or_default(options), *scan);
    });
}

VERIFY_API int verify_symbol(const verify_scan_t *scans, int count, const verify_options_t *options,
                             verify_symbol_t *symbol) {
    if (!symbol)
        return VERIFY_ERR_ARGUMENT;
    const verify_options_t &opt = options_or_default(options);
    try {
        std::string problem = !scans || count < 1 ? "no scans" : options_problem(opt);
        if (!problem.empty()) {
            grade_symbol({}, default_options, *symbol);
            set_text(symbol->failure, problem);
            return VERIFY_ERR_ARGUMENT;
        }
        grade_symbol(std::span<const verify_scan_t>(scans, (size_t)count), opt, *symbol);
        return VERIFY_OK;
    } catch (...) {
        grade_symbol({}, default_options, *symbol);
        set_text(symbol->failure, "out of memory");
        return VERIFY_ERR_INTERNAL;
    }
}

VERIFY_API const char *verify_symbology_name(int symbology) {
    static const char *const names[VERIFY_SYMBOLOGIES] = {
        "EAN/UPC", "Code 39", "Interleaved 2 of 5", "Codabar", "Code 128", "GS1 DataBar", "MSI", "Code 93"};
    return symbology >= 0 && symbology < VERIFY_SYMBOLOGIES ? names[symbology] : "none";
}

VERIFY_API const char *verify_parameter_name(int parameter) {
    static const char *const names[VERIFY_PARAMETERS] = {
        "Decode", "Rmin", "Symbol contrast", "ECmin", "Modulation", "Defects", "Decodability", "Quiet zones"};
    return parameter >= 0 && parameter < VERIFY_PARAMETERS ? names[parameter] : "";
}

VERIFY_API char verify_grade_letter(double grade) { return grade_letter(grade); }

VERIFY_API const char *verify_version(void) { return KESTREL_VERIFY_VERSION; }

} // extern "C"
