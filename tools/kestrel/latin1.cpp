// ISO 8859-1 to UTF-8 for plug-in texts shown on the terminal.
#include "latin1.h"

namespace host {

std::string latin1_to_utf8(const std::string &latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        unsigned char c = (unsigned char)ch;
        if (c < 0x80) {
            out += ch;
        } else {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace host
