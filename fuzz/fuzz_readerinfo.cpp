// Fuzzes translate_readerinfo on arbitrary 32-byte information replies and
// checks the decoded record against the reply, worked out here on its own.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kestrel/kestrel.h"

namespace {

constexpr size_t reply_len = 32;

unsigned u16(const uint8_t *b, int at) { return b[at] | (unsigned)b[at + 1] << 8; }

// Sum byte low, exclusive-or byte high, weights 1..23 over bytes 0..29.
unsigned reply_checksum(const uint8_t *b) {
    uint32_t sum = 0, x = 0, weight = 1;
    for (int i = 0; i < 30; i++) {
        uint32_t v = b[i] + weight;
        x ^= v;
        sum += v;
        if (++weight == 24)
            weight = 1;
    }
    return (sum & 0xFF) | (x & 0xFF) << 8;
}

void check(bool ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "translate_readerinfo: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    // Input behind the reply's 32 bytes picks the record's previous content.
    uint8_t reply[reply_len] = {};
    memcpy(reply, bytes, size < reply_len ? size : reply_len);
    readerinfo_t info, cleared;
    memset(&info, size > reply_len ? bytes[reply_len] : 0x5A, sizeof info);
    memcpy(&cleared, &info, sizeof info);
    reader_clear(&cleared);

    int r = translate_readerinfo(&info, reply);
    const bool valid = reply_checksum(reply) == u16(reply, 30);
    check(r == (valid ? 0 : -104), "result does not follow the checksum");
    if (!valid) {
        check(memcmp(&info, &cleared, sizeof info) == 0, "record after -104 is not the cleared record");
        return 0;
    }
    const unsigned firmware = u16(reply, 4);
    check(info.SerialNumber == u16(reply, 2) && info.FirmwareVers == firmware &&
              info.ProgChecksum == u16(reply, 6) && info.BootCheckSum == u16(reply, 8) &&
              info.Wavelength == u16(reply, 12) && info.NumOfSamples == u16(reply, 18),
          "identity fields differ from the reply");
    check((unsigned)info.ReaderType == reply[16] && (unsigned)info.MotivePower == reply[17],
          "reader type or drive differ from the reply");

    const unsigned short_size = u16(reply, 14);
    reader_long size_of_sample = (reader_long)short_size;
    if (firmware > 0x0104 && (short_size == 0 || short_size == 0xFFFF)) {
        uint32_t long_size =
            reply[20] | (uint32_t)reply[21] << 8 | (uint32_t)reply[22] << 16 | (uint32_t)reply[23] << 24;
        size_of_sample = long_size == 0xFFFFFFFFu ? 0 : (reader_long)long_size;
    }
    check(info.SizeOfSample == size_of_sample, "sample size");

    unsigned resolution = u16(reply, 10);
    if (resolution == 125 && firmware <= 0x0104)
        resolution = 100;
    if (resolution == 250 && firmware > 0x0101 && firmware <= 0x01FF)
        resolution = 200;
    check(info.Resolution == resolution, "resolution corrections");

    check(info.calmin == cleared.calmin && info.calmax == cleared.calmax && info.admin == cleared.admin &&
              info.admax == cleared.admax && info.givenz == cleared.givenz && info.lastcal == cleared.lastcal,
          "calibration fields are not the cleared values");
    check(info.factorycal_when == cleared.factorycal_when &&
              memcmp(info.factorycal_user, cleared.factorycal_user, sizeof info.factorycal_user) == 0,
          "factory calibration fields were written");
    return 0;
}
