// ISO 8859-1 texts, as the plug-ins write them, for the terminal (in the
// locale's character set) and for JSON (UTF-8), and what the terminal's
// character set can show.
#pragma once

#include <string>

namespace host {

// Takes the character set from the environment's locale (LC_ALL, LC_CTYPE,
// LANG). Numbers and everything else keep the C locale's forms.
void use_locale_charset();
// True when the locale's character set is UTF-8.
bool charset_is_utf8();

// Every byte as the character U+0000..U+00FF, in UTF-8. Lossless.
std::string latin1_to_utf8(const std::string &latin1);

// Control characters (0x00..0x1F, 0x7F and 0x80..0x9F), which would move
// the cursor or start escape sequences, are shown as \xNN; the others are
// converted to the locale's character set, with "?" for a character that
// set cannot show and has no stand-in for.
std::string latin1_for_terminal(const std::string &latin1);

} // namespace host
