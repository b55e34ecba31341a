// Verifier engine: profiles of 2048 samples graded per second, for each
// symbology with that symbology forced and with auto-detection among all of
// them, against the budget of 50 us per profile that keeps grading ten
// scans out of sight in the reader's loop.
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kestrel/verify.h"
#include "support.h"
#include "table.h"

namespace {

constexpr int samples = 2048;
constexpr double budget_s = 50e-6; // a constant, not timed

// A symbol as element widths, bar first, one digit per element in units;
// `narrow` units make one module.
struct symbol_case {
    const char *name;
    verify_symbology_t symbology;
    const char *widths;
    int narrow;
    const char *expected; // the decoded symbol
};
const symbol_case cases[] = {
    {"Code39", VERIFY_CODE39,
     "2522525222522222255252225522222252225522222252552252222255225222552222225222255225222252525255222222225"
     "5"
     "225222252252522",
     2, "]A0KESTREL-39"},
    {"ITF", VERIFY_ITF, "111131131111333131131113311333111113111133311131133311311", 1, "]I01234567890"},
    {"Codabar", VERIFY_CODABAR, "2255252222522522222225522222552252222522252222522525225", 2, "]F0A40156B"},
    {"MSI", VERIFY_MSI, "2112121221121221121212212112211212122112211221211212212112121", 1, "]M01234566"},
    // Module widths of zint's symbols (zint --dump), one module per unit.
    {"EAN13", VERIFY_EAN_UPC, "11131121123122221221141113211111123111141312121331123112111", 1,
     "]E09901234567899"},
    {"Code128", VERIFY_CODE128,
     "2112141123311321132131132133112311311321131321311221321232212232113112221212232331112", 1,
     "]C0KESTREL-128"},
    {"Code93", VERIFY_CODE93,
     "1111411321112212112111222112212122112212111111231411111114113121111123111111411", 1, "]G0KESTREL93"},
    {"DataBar", VERIFY_DATABAR, "151115111382114121113213212123116522312132211", 1, "]e00109501101530003"},
};

// The symbol with quiet zones of 12 modules, spread over the whole profile,
// blurred by an aperture (0.2 X) and with a little noise, as reflectances.
std::vector<double> profile_of(const symbol_case &c) {
    std::vector<int> units = {12 * c.narrow};
    for (const char *w = c.widths; *w; w++)
        units.push_back(*w - '0');
    units.push_back(12 * c.narrow);
    double total = 0;
    for (int u : units)
        total += u;
    double per_unit = samples / total;
    std::vector<double> ideal(samples);
    double edge = 0;
    size_t k = 0;
    for (int i = 0; i < samples; i++) {
        while (k + 1 < units.size() && i + 0.5 >= (edge + units[k]) * per_unit)
            edge += units[k++];
        ideal[(size_t)i] = k % 2 ? 0.08 : 0.85;
    }
    double sigma = 0.2 * c.narrow * per_unit;
    int reach = (int)std::ceil(3 * sigma);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0, 0.01);
    std::vector<double> r(samples);
    for (int i = 0; i < samples; i++) {
        double sum = 0, weights = 0;
        for (int d = -reach; d <= reach; d++) {
            double wgt = std::exp(-0.5 * d * d / (sigma * sigma));
            sum += wgt * ideal[(size_t)std::clamp(i + d, 0, samples - 1)];
            weights += wgt;
        }
        r[(size_t)i] = sum / weights + noise(random);
    }
    return r;
}

void grade_profiles(benchmark::State &state, const symbol_case &c, bool forced) {
    std::vector<double> r = profile_of(c);
    verify_options_t options{};
    if (forced)
        options.symbologies = VERIFY_MASK(c.symbology);
    auto scan = std::make_unique<verify_scan_t>();
    if (verify_profile(r.data(), r.size(), &options, scan.get()) != VERIFY_OK ||
        std::string(scan->symbol, (size_t)scan->symbol_length) != c.expected) {
        state.SkipWithError(
            ("the profile does not decode as " + std::string(c.expected) + ": " + scan->failure).c_str());
        return;
    }
    constexpr int batch = 200;
    bench::samples times;
    for (auto _ : state) {
        double t0 = bench::now_s();
        for (int i = 0; i < batch; i++) {
            verify_profile(r.data(), r.size(), &options, scan.get());
            benchmark::ClobberMemory();
        }
        double t = (bench::now_s() - t0) / batch;
        state.SetIterationTime(t);
        times.add(t);
    }
    if (times.empty())
        return;
    bench::report(state, times.median(), budget_s, 1, "budget of 50 us per profile, a constant");
    state.counters["profiles_per_s"] = 1 / times.median();
}

// A profile without a symbol: noise around mid-grey, every element tried
// as a start by every decoder.
void grade_noise(benchmark::State &state) {
    std::mt19937 random(2);
    std::normal_distribution<double> noise(0.5, 0.2);
    std::vector<double> r(samples);
    for (double &v : r)
        v = noise(random);
    auto scan = std::make_unique<verify_scan_t>();
    bench::samples times;
    for (auto _ : state) {
        double t0 = bench::now_s();
        verify_profile(r.data(), r.size(), nullptr, scan.get());
        benchmark::ClobberMemory();
        double t = bench::now_s() - t0;
        state.SetIterationTime(t);
        times.add(t);
    }
    if (times.empty())
        return;
    bench::report(state, times.median(), budget_s, 0, "budget of 50 us per profile, a constant");
    state.counters["elements"] = scan->element_total;
}

int register_all() {
    for (const symbol_case &c : cases)
        for (bool forced : {true, false})
            benchmark::RegisterBenchmark(
                (std::string(forced ? "verify_forced/" : "verify_auto/") + c.name).c_str(), grade_profiles, c,
                forced)
                ->Iterations(200)
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("verify_auto/no_symbol", grade_noise)
        ->Iterations(2000)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    return 0;
}
const int registered = register_all();

} // namespace

int main(int argc, char **argv) { return bench::run_benchmarks(argc, argv); }
