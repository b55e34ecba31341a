// The reader information record: exported tables, the reply checksum, the
// decoding of the 32-byte information reply and the cleared defaults.
#include <cstring>

#include "core/core.h"

readerinfo_t usb_info[256];
readerinfo_t ser_info[256];
readerinfo_t *current_info = nullptr;

namespace {

constexpr unsigned reply_checked_bytes = 30; // bytes 30..31 hold the checksum
constexpr unsigned checksum_weights = 23;    // weights run 1..23, then start again

// Firmware thresholds of the decoding rules.
constexpr reader_uint fw_long_sample_size = 0x0104; // above: long form may apply
constexpr reader_uint fw_res125_fix_max = 0x0104;   // at or below: 125 reads as 100
constexpr reader_uint fw_res250_fix_min = 0x0101;   // above ...
constexpr reader_uint fw_res250_fix_max = 0x01FF;   // ... and at most: 250 reads as 200

reader_uint get16(const unsigned char *p) { return (reader_uint)(p[0] | (p[1] << 8)); }

uint32_t get32(const unsigned char *p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

} // namespace

reader_long CalcCKSum(const unsigned char *buf, unsigned int count) {
    uint32_t sum = 0, xorsum = 0, weight = 1;
    for (unsigned int i = 0; i < count; i++) {
        uint32_t v = buf[i] + weight;
        xorsum ^= v;
        sum += v;
        if (++weight == checksum_weights + 1)
            weight = 1;
    }
    return (reader_long)((sum & 0xFF) | ((xorsum & 0xFF) << 8));
}

int reader_clear(readerinfo_t *info) {
    if (!info)
        return RDR_NO_RECORD;
    info->SerialNumber = 0;
    info->FirmwareVers = 0;
    info->ProgChecksum = 0xFFFF;
    info->BootCheckSum = 0xFFFF;
    info->Resolution = 0;
    info->Wavelength = 0;
    info->SizeOfSample = 0;
    info->NumOfSamples = 0;
    info->ReaderType = rtUnknown;
    info->MotivePower = mpUnknown;
    info->calmin = 0;
    info->calmax = 0xFF00;
    info->admin = 0;
    info->admax = 0xFF00;
    info->givenz = 0;
    info->lastcal = -1;
    return RDR_OK;
}

int reader_info(readerinfo_t *infoptr) {
    if (!current_info)
        return RDR_NO_RECORD;
    if (!infoptr)
        return RDR_NO_RECORD;
    std::memcpy(infoptr, current_info, sizeof(readerinfo_t));
    return RDR_OK;
}

int translate_readerinfo(readerinfo_t *info, const unsigned char *buf) {
    if (reader_clear(info) != RDR_OK || !buf)
        return RDR_NO_RECORD;
    if (CalcCKSum(buf, reply_checked_bytes) != get16(buf + 30))
        return RDR_BAD_CHECKSUM;

    info->SerialNumber = get16(buf + 2);
    info->FirmwareVers = get16(buf + 4);
    info->ProgChecksum = get16(buf + 6);
    info->BootCheckSum = get16(buf + 8);
    info->Resolution = get16(buf + 10);
    info->Wavelength = get16(buf + 12);
    reader_uint short_size = get16(buf + 14);
    info->SizeOfSample = short_size;
    if (info->FirmwareVers > fw_long_sample_size && (short_size == 0 || short_size == 0xFFFF)) {
        uint32_t long_size = get32(buf + 20);
        info->SizeOfSample = long_size == 0xFFFFFFFFu ? 0 : (reader_long)long_size;
    }
    info->ReaderType = (readertype_t)buf[16];
    info->MotivePower = (motivepower_t)buf[17];
    info->NumOfSamples = get16(buf + 18);

    if (info->Resolution == 125 && info->FirmwareVers <= fw_res125_fix_max)
        info->Resolution = 100;
    if (info->Resolution == 250 && info->FirmwareVers > fw_res250_fix_min &&
        info->FirmwareVers <= fw_res250_fix_max)
        info->Resolution = 200;
    return RDR_OK;
}
