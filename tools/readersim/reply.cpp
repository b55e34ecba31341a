// The reader's 32-byte information reply and the checksum that guards it.
#include "readersim.h"

namespace readersim {

uint16_t reply_checksum(const uint8_t *buf, unsigned count) {
    uint32_t sum = 0, x = 0, weight = 1;
    for (unsigned i = 0; i < count; i++) {
        uint32_t t = buf[i] + weight;
        x ^= t;
        sum += t;
        if (++weight == 24)
            weight = 1;
    }
    return (uint16_t)((sum & 0xFF) | ((x & 0xFF) << 8));
}

static void put16(std::vector<uint8_t> &b, int at, uint16_t v) {
    b[at] = (uint8_t)(v & 0xFF);
    b[at + 1] = (uint8_t)(v >> 8);
}

std::vector<uint8_t> make_reply(const identity &id) {
    std::vector<uint8_t> b(reply_bytes, 0);
    // Bytes 0-1 and 24-29 carry no field; non-zero filler makes a decoder
    // that reads them by mistake show it.
    b[0] = 0xA5;
    b[1] = 0x5A;
    put16(b, 2, id.serial);
    put16(b, 4, id.firmware);
    put16(b, 6, id.prog_checksum);
    put16(b, 8, id.boot_checksum);
    put16(b, 10, id.resolution);
    put16(b, 12, id.wavelength);
    put16(b, 14, id.short_sample_size);
    b[16] = id.reader_type;
    b[17] = id.motive_power;
    put16(b, 18, id.num_samples);
    put16(b, 20, (uint16_t)(id.long_sample_size & 0xFFFF));
    put16(b, 22, (uint16_t)(id.long_sample_size >> 16));
    for (int i = 24; i < 30; i++)
        b[i] = (uint8_t)(0xC0 + i);
    uint16_t sum = reply_checksum(b.data(), 30);
    if (id.bad_checksum)
        sum ^= 0x0101;
    put16(b, 30, sum);
    return b;
}

} // namespace readersim
