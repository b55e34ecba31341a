// ISO 8859-1 text, as the plug-ins write it, made safe to show on a UTF-8 terminal.
#pragma once

#include <string>

namespace host {

// Printable characters become UTF-8 (0xA0..0xFF take two bytes); control
// characters (0x00..0x1F, 0x7F and 0x80..0x9F), which would move the
// cursor or start escape sequences, are shown as \xNN.
std::string latin1_for_terminal(const std::string &latin1);

} // namespace host
