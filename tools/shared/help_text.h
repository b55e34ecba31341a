// Option lists in the help texts of the host program and the reader
// simulator: the option in a column of its own, its text wrapped beside it.
#pragma once

#include <string>

namespace tools {

// "  --name VALUE   text..." as lines of at most 80 columns; the text starts
// at column 26 (further right when the head is wider) and wraps under itself.
std::string help_entry(const std::string &head, const std::string &text);

} // namespace tools
