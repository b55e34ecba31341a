// The engine's two jobs behind the C API: grading one scan and grading a
// symbol over several scans. Both may throw std::bad_alloc; the C API
// catches it.
#pragma once

#include <kestrel/verify.h>

#include <span>
#include <string>

namespace verify {

// Fills every field of `scan`; VERIFY_OK, or VERIFY_ERR_PROFILE or
// VERIFY_ERR_ARGUMENT with the scan graded 0 and the reason.
int grade_scan(std::span<const double> reflectance, const verify_options_t &options, verify_scan_t &scan);

// Fills every field of `symbol` from scans (at least one).
void grade_symbol(std::span<const verify_scan_t> scans, const verify_options_t &options,
                  verify_symbol_t &symbol);

// Writes a failure reason, cut to the field's size.
void set_text(char (&field)[VERIFY_TEXT_SIZE], const std::string &text);

// The options' own problems: "" when they are fine, else the reason.
std::string options_problem(const verify_options_t &options);

} // namespace verify
