// ISO 8859-1 texts for the terminal and for JSON, and the locale's
// character set.
#include "latin1.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace host {

void use_locale_charset() { setlocale(LC_CTYPE, ""); }

bool charset_is_utf8() { return strcmp(nl_langinfo(CODESET), "UTF-8") == 0; }

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

namespace {

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

// One printable character from ISO 8859-1 into the locale's set, with
// iconv's stand-ins ("//TRANSLIT") where the set lacks it.
std::string convert_char(iconv_t cd, char c) {
    char in[1] = {c}, out[16];
    char *inp = in, *outp = out;
    size_t inleft = 1, outleft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inp, &inleft, &outp, &outleft) == (size_t)-1 || outp == out)
        return "?";
    return std::string(out, (size_t)(outp - out));
}

} // namespace

std::string latin1_for_terminal(const std::string &latin1) {
    bool utf8 = charset_is_utf8();
    iconv_t cd = utf8 ? (iconv_t)-1
                      : iconv_open((std::string(nl_langinfo(CODESET)) + "//TRANSLIT").c_str(), "ISO-8859-1");
    std::string out;
    for (char ch : latin1) {
        unsigned char c = (unsigned char)ch;
        if (is_control(c)) {
            char esc[5];
            snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        } else if (c < 0x80) {
            out += ch;
        } else if (utf8) {
            out += latin1_to_utf8(std::string(1, ch));
        } else {
            out += cd == (iconv_t)-1 ? "?" : convert_char(cd, ch);
        }
    }
    if (cd != (iconv_t)-1)
        iconv_close(cd);
    return out;
}

} // namespace host
