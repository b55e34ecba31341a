// Every plug-in, in-process, under every symbology code and both verbose
// settings: nothing is written outside the 256 bytes of `name` and `text`,
// and nothing is read past the input's counted characters.
#include "plugin_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/mman.h>
#include <unistd.h>

using namespace plugintest;

namespace {

constexpr size_t guard_size = 64;
constexpr unsigned char guard_byte = 0xA5;

// A 256-byte buffer with guard bytes on both sides.
struct guarded {
    unsigned char bytes[guard_size + COUNTEDSTR_SIZE + guard_size];
    guarded() { memset(bytes, guard_byte, sizeof bytes); }
    unsigned char *buffer() { return bytes + guard_size; }
    bool untouched() const {
        for (size_t k = 0; k < sizeof bytes; k++)
            if (bytes[k] != (k == guard_size ? 0 : guard_byte))
                return false;
        return true;
    }
    bool guards_intact() const {
        for (size_t k = 0; k < guard_size; k++)
            if (bytes[k] != guard_byte || bytes[guard_size + COUNTEDSTR_SIZE + k] != guard_byte)
                return false;
        return true;
    }
};

// Two pages, the second inaccessible; a counted string is placed so that
// its last character is the last readable byte.
class fenced_input {
public:
    fenced_input() {
        page_ = (size_t)sysconf(_SC_PAGESIZE);
        void *p = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<unsigned char *>(p);
        if (base_)
            mprotect(base_ + page_, page_, PROT_NONE);
    }
    ~fenced_input() {
        if (base_)
            munmap(base_, 2 * page_);
    }
    bool ready() const { return base_ != nullptr; }
    const unsigned char *place(const std::string &chars) {
        unsigned char *rec = base_ + page_ - 1 - chars.size();
        rec[0] = (unsigned char)chars.size();
        memcpy(rec + 1, chars.data(), chars.size());
        return rec;
    }

private:
    size_t page_ = 0;
    unsigned char *base_ = nullptr;
};

// Inputs that reach deep into each plug-in: coupons, digit runs, shift
// characters at every position, high bytes, NUL bytes and random bytes.
std::vector<std::string> inputs() {
    std::vector<std::string> all;
    std::mt19937 random(1234);
    for (size_t n = 0; n <= COUNTEDSTR_MAX; n++) {
        std::string digits, random_bytes;
        for (size_t k = 0; k < n; k++) {
            digits += (char)('0' + (k * 7 + 3) % 10);
            random_bytes += (char)(random() & 0xFF);
        }
        all.push_back(std::string(n, '9'));
        all.push_back(digits);
        all.push_back(std::string(n, '$'));
        all.push_back(std::string(n, '\xFF'));
        all.push_back(std::string(n, '\0'));
        all.push_back(random_bytes);
        if (n > 0)
            all.push_back(std::string(n - 1, 'A') + "+");
    }
    return all;
}

} // namespace

// The one symbology code each plug-in claims; under any other it writes nothing.
static int claimed_code(const std::string &plugin) {
    if (plugin == "ukcoupon")
        return syEANUPC;
    if (plugin == "pharma_be")
        return syMSI;
    return syCode39;
}

TEST(Guards, NoPlugInWritesOutsideItsBuffersOrReadsPastItsInput) {
    fenced_input fence;
    ASSERT_TRUE(fence.ready());
    const auto data = inputs();
    for (const auto &plugin : all_plugins) {
        SCOPED_TRACE(plugin);
        module m(plugin);
        plugin_entry_t entry = m.entry();
        ASSERT_NE(entry, nullptr);
        int failures = 0;
        // The verbose lines of the Belgian and CIP39 plug-ins are not wanted here.
        capture_stdout([&] {
            for (const auto &d : data) {
                for (int symbology = syNone; symbology <= syCode93; symbology++) {
                    for (signed char verbose : {0, 1}) {
                        guarded name, text;
                        name.buffer()[0] = 0;
                        text.buffer()[0] = 0;
                        int result = entry(symbology, fence.place(d), name.buffer(), text.buffer(), verbose);
                        bool sound = name.guards_intact() && text.guards_intact() && result >= prRejected &&
                                     result <= prAccepted;
                        if (symbology != claimed_code(plugin))
                            sound = sound && result == prNotMine && name.untouched() && text.untouched();
                        if (!sound && failures++ < 5)
                            ADD_FAILURE() << "length " << d.size() << " first byte "
                                          << (d.empty() ? -1 : (unsigned char)d[0]) << " code " << symbology
                                          << " verbose " << (int)verbose;
                    }
                }
            }
        });
    }
}
