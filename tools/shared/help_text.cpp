// Help entries: an option's head and its text wrapped in a column.
#include "help_text.h"

#include <algorithm>
#include <sstream>

namespace tools {

namespace {
constexpr size_t text_column = 26;
constexpr size_t line_width = 80;
} // namespace

std::string help_entry(const std::string &head, const std::string &text) {
    size_t column = std::max(text_column, head.size() + 2);
    std::string out, line = head + std::string(column - head.size(), ' ');
    bool line_empty = true; // nothing written in the text column yet
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (!line_empty && line.size() + 1 + word.size() > line_width) {
            out += line + "\n";
            line.assign(column, ' ');
            line_empty = true;
        }
        line += (line_empty ? "" : " ") + word;
        line_empty = false;
    }
    return out + line + "\n";
}

} // namespace tools
