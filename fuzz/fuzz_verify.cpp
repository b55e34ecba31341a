// Fuzzes the verifier engine's entry on arbitrary profiles: the first bytes
// choose the options and how the rest is taken (reflectances, some outside
// 0..1, or samples through a calibration); every result must be whole and
// in range, and a symbol graded from two copies of the scan must agree.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <vector>

#include "kestrel/verify.h"

namespace {

void check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "verify: %s\n", what);
        abort();
    }
}

bool one_decimal(double g) { return g >= 0 && g <= 4 && fabs(g * 10 - round(g * 10)) < 1e-6; }

void check_scan(const verify_scan_t &s, size_t count) {
    check(one_decimal(s.grade), "scan grade out of range");
    check(s.letter == verify_grade_letter(s.grade), "scan letter");
    double lowest = 4;
    for (const verify_param_t &p : s.param) {
        check(one_decimal(p.grade), "parameter grade out of range");
        check(p.letter == verify_grade_letter(p.grade), "parameter letter");
        check(isfinite(p.value), "parameter value not finite");
        lowest = p.grade < lowest ? p.grade : lowest;
    }
    check(s.grade == lowest, "scan grade is not the lowest parameter grade");
    check(s.param[VERIFY_P_SC].value >= 0 && s.param[VERIFY_P_SC].value <= 1, "SC out of 0..1");
    check(s.element_count >= 0 && s.element_count <= VERIFY_MAX_ELEMENTS &&
              s.element_count <= s.element_total,
          "element count");
    double at = -0.5;
    for (int k = 0; k < s.element_count; k++) {
        const verify_element_t &e = s.element[k];
        check(e.start == at && e.end > e.start && e.end <= count - 0.5, "elements not in order");
        check(e.reflectance >= 0 && e.reflectance <= 1 && e.ern >= 0 && e.ern <= 1, "element values");
        check(k == 0 || e.bar != s.element[k - 1].bar, "two elements of a kind in a row");
        at = e.end;
    }
    check(memchr(s.failure, 0, sizeof s.failure) != nullptr, "failure text not terminated");
    if (!s.decoded) {
        check(s.symbology == VERIFY_NONE && s.symbol_length == 0 && s.symbol[0] == 0, "undecoded symbol");
        check(s.failure[0] != 0, "no reason for a failed decode");
        check(s.grade == 0, "undecoded scan graded above 0");
        return;
    }
    check(s.decoded == 1 && s.failure[0] == 0, "decoded with a failure");
    check(s.symbology >= 0 && s.symbology < VERIFY_SYMBOLOGIES, "symbology out of range");
    check(s.symbol_length >= 3 && s.symbol_length < VERIFY_SYMBOL_SIZE && s.symbol[0] == ']' &&
              s.symbol[s.symbol_length] == 0,
          "symbol");
    check(s.symbol_first >= 0 && s.symbol_first <= s.symbol_last && s.symbol_last < s.element_total,
          "symbol place");
    check(s.module > 0 && isfinite(s.module), "X-dimension");
    double v = s.param[VERIFY_P_DECODABILITY].value;
    check(v >= 0 && v <= 1, "decodability out of 0..1");
    double q = s.param[VERIFY_P_QUIET_ZONE].grade;
    check(q == 0 || q == 4, "quiet zone neither pass nor fail");
    for (int side = 0; side < 2; side++)
        check(s.quiet_start[side] <= s.quiet_end[side] && s.quiet_required[side] >= 0, "quiet zone extents");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    if (size < 2)
        return 0;
    verify_options_t options{};
    options.symbologies = bytes[0] & 0x0F ? (1u << (bytes[0] & 7)) : 0; // one symbology, or all
    options.check = bytes[0] >> 4 & 3;
    options.check = options.check > VERIFY_CHECK_STRIP ? VERIFY_CHECK_NONE : options.check;
    options.msi_check = (bytes[0] >> 6) + (bytes[1] & 1) * 2; // 0 to 5
    bool samples = bytes[1] & 2;
    bytes += 2;
    size -= 2;

    auto scan = std::make_unique<verify_scan_t>();
    int rc;
    if (samples && size >= 4) {
        unsigned calmin = bytes[0] | bytes[1] << 8, calmax = bytes[2] | bytes[3] << 8;
        rc = verify_samples(bytes + 4, size - 4, calmin, calmax, &options, scan.get());
        size -= 4;
    } else {
        // Values from -0.17 to 1.17, so that some lie outside 0..1.
        std::vector<double> r(size);
        for (size_t i = 0; i < size; i++)
            r[i] = (bytes[i] - 32) / 191.0;
        rc = verify_profile(r.data(), r.size(), &options, scan.get());
    }
    check(rc == VERIFY_OK, "the entry refused a profile");
    check_scan(*scan, size);

    verify_scan_t *two = static_cast<verify_scan_t *>(malloc(2 * sizeof(verify_scan_t)));
    memcpy(&two[0], scan.get(), sizeof *scan);
    memcpy(&two[1], scan.get(), sizeof *scan);
    verify_symbol_t symbol;
    check(verify_symbol(two, 2, &options, &symbol) == VERIFY_OK, "symbol refused");
    check(symbol.grade == scan->grade && symbol.consistent == 1, "two equal scans do not give their grade");
    check(symbol.decoded_scans == 2 * scan->decoded, "decoded scans");
    check(memchr(symbol.notation, 0, sizeof symbol.notation) != nullptr, "notation not terminated");
    free(two);
    return 0;
}
