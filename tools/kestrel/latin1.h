// ISO 8859-1 text, as the plug-ins write it, converted to UTF-8.
#pragma once

#include <string>

namespace host {

// Every byte is the code point of the same value; 0x80..0xFF become two bytes.
std::string latin1_to_utf8(const std::string &latin1);

} // namespace host
