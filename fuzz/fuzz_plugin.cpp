// Fuzzes one plug-in entry, called through its module as a host would, under
// every symbology code and both verbose values. The input is placed at the
// end of a page followed by an inaccessible page, so reading past its counted
// characters faults; name and text sit between guard bytes.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "kestrel/plugin.h"

namespace {

constexpr size_t guard_size = 64;
constexpr unsigned char guard_byte = 0xA5;
constexpr size_t buffer_size = 256;

struct guarded {
    unsigned char bytes[guard_size + buffer_size + guard_size];
    unsigned char *buffer() { return bytes + guard_size; }
    void reset() {
        memset(bytes, guard_byte, sizeof bytes);
        buffer()[0] = 0;
    }
    bool guards_intact() const {
        for (size_t k = 0; k < guard_size; k++)
            if (bytes[k] != guard_byte || bytes[guard_size + buffer_size + k] != guard_byte)
                return false;
        return true;
    }
};

plugin_entry_t entry;
unsigned char *page_end; // first byte of the inaccessible page

void fail(const char *what, int symbology, int verbose) {
    fprintf(stderr, "%s: %s (symbology %d, verbose %d)\n", PLUGIN_NAME, what, symbology, verbose);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    void *module = dlopen(PLUGIN_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        fprintf(stderr, "cannot load %s: %s\n", PLUGIN_MODULE, dlerror());
        exit(1);
    }
    entry = reinterpret_cast<plugin_entry_t>(dlsym(module, "KorvelVerifierPlugIn"));
    if (!entry) {
        fprintf(stderr, "%s exports no KorvelVerifierPlugIn\n", PLUGIN_MODULE);
        exit(1);
    }
    long page = sysconf(_SC_PAGESIZE);
    void *pages = mmap(nullptr, (size_t)page * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED || mprotect((char *)pages + page, (size_t)page, PROT_NONE) != 0) {
        perror("mmap");
        exit(1);
    }
    page_end = (unsigned char *)pages + page;
    // The verbose diagnostic line goes to standard output.
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) {
        perror("/dev/null");
        exit(1);
    }
    close(null_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    size_t count = size > 255 ? 255 : size;
    unsigned char *data = page_end - 1 - count;
    data[0] = (unsigned char)count;
    memcpy(data + 1, bytes, count);

    static guarded name, text, name2, text2;
    for (int symbology = -1; symbology <= 7; symbology++) {
        for (int verbose = 0; verbose <= 1; verbose++) {
            name.reset();
            text.reset();
            int r = entry(symbology, data, name.buffer(), text.buffer(), (signed char)verbose);
            if (r < -1 || r > 1)
                fail("result outside -1..1", symbology, verbose);
            if (!name.guards_intact() || !text.guards_intact())
                fail("wrote outside the 256-byte buffers", symbology, verbose);
            if (data[0] != count || memcmp(data + 1, bytes, count) != 0)
                fail("changed its input", symbology, verbose);
            // No state between calls: the same call gives the same answer.
            name2.reset();
            text2.reset();
            if (entry(symbology, data, name2.buffer(), text2.buffer(), (signed char)verbose) != r ||
                memcmp(name.bytes, name2.bytes, sizeof name.bytes) != 0 ||
                memcmp(text.bytes, text2.bytes, sizeof text.bytes) != 0)
                fail("answered the same call differently", symbology, verbose);
        }
    }
    fflush(stdout);
    return 0;
}
