// ISO 8859-1 to UTF-8 for plug-in texts shown on the terminal.
#include "latin1.h"

#include <cstdio>

namespace host {

std::string latin1_for_terminal(const std::string &latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        unsigned char c = (unsigned char)ch;
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            char esc[5];
            snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        } else if (c < 0x80) {
            out += ch;
        } else {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace host
