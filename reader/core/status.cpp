// Status text for the host and delivery of scan data to its callback.
#include <cstdarg>
#include <cstdio>

#include "core/core.h"

callback_t digitise_callback = nullptr;

namespace {
// One status line: indentation, text and NUL. A longer line is cut at the
// buffer's end (255 characters and the NUL).
constexpr int statbuf_size = 256;
char statbuf[statbuf_size];
} // namespace

int statprintf(statfunc_t showstat, int level, const char *format, ...) {
    if (!showstat)
        return -1;
    int indent = level < 0 ? 0 : (level > statbuf_size - 1 ? statbuf_size - 1 : level);
    for (int i = 0; i < indent; i++)
        statbuf[i] = ' ';
    statbuf[indent] = '\0';
    va_list args;
    va_start(args, format);
    vsnprintf(statbuf + indent, statbuf_size - indent, format, args);
    va_end(args);
    return showstat(statbuf);
}

int reader_digitise(unsigned char *buf, int count) {
    if (!digitise_callback)
        return 0;
    return digitise_callback(buf, count);
}
