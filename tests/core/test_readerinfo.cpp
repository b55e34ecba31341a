// The information reply checksum, its decoding with the firmware rules, the
// cleared record and the copy of the current record.
#include <cstring>
#include <gtest/gtest.h>

#include "core/core.h"

namespace {

struct reply_fields {
    uint16_t serial = 0, firmware = 0, prog = 0, boot = 0, resolution = 0, wavelength = 0;
    uint16_t short_size = 0, samples = 0;
    uint8_t type = 0, drive = 0;
    uint32_t long_size = 0;
};

void put16(unsigned char *p, uint16_t v) {
    p[0] = v & 0xFF;
    p[1] = v >> 8;
}

// A 32-byte reply with a valid checksum.
void make_reply(const reply_fields &f, unsigned char *buf) {
    std::memset(buf, 0, 32);
    buf[0] = 0x55; // bytes 0-1 and 24-29 are covered by the checksum only
    buf[27] = 0xAA;
    put16(buf + 2, f.serial);
    put16(buf + 4, f.firmware);
    put16(buf + 6, f.prog);
    put16(buf + 8, f.boot);
    put16(buf + 10, f.resolution);
    put16(buf + 12, f.wavelength);
    put16(buf + 14, f.short_size);
    buf[16] = f.type;
    buf[17] = f.drive;
    put16(buf + 18, f.samples);
    for (int i = 0; i < 4; i++)
        buf[20 + i] = (f.long_size >> (8 * i)) & 0xFF;
    put16(buf + 30, (uint16_t)CalcCKSum(buf, 30));
}

void expect_cleared(const readerinfo_t &r) {
    EXPECT_EQ(r.SerialNumber, 0);
    EXPECT_EQ(r.ProgChecksum, 0xFFFF);
    EXPECT_EQ(r.BootCheckSum, 0xFFFF);
    EXPECT_EQ(r.calmin, 0);
    EXPECT_EQ(r.calmax, 0xFF00);
    EXPECT_EQ(r.admin, 0);
    EXPECT_EQ(r.admax, 0xFF00);
    EXPECT_EQ(r.lastcal, -1);
}

TEST(Checksum, KnownValues) {
    const unsigned char abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(CalcCKSum(abc, 3), 0x602C);
    unsigned char zeros[30] = {};
    EXPECT_EQ(CalcCKSum(zeros, 30), 0x0030); // weights 1..23 then 1..7: sum 304
    // The 24th byte has weight 1 again: 23 zeros then 0xFF gives 0xFF + 1.
    unsigned char buf[24] = {};
    buf[23] = 0xFF;
    reader_long expected_sum = (276 + 0x100) & 0xFF, expected_xor = 0;
    for (uint32_t w = 1; w <= 23; w++)
        expected_xor ^= w;
    expected_xor ^= 0x100;
    EXPECT_EQ(CalcCKSum(buf, 24), expected_sum | ((expected_xor & 0xFF) << 8));
}

TEST(TranslateReaderinfo, ZeroReplyDecodesToZeroIdentity) {
    unsigned char buf[32] = {};
    buf[30] = 0x30;
    readerinfo_t r;
    std::memset(&r, 0x5A, sizeof r);
    ASSERT_EQ(translate_readerinfo(&r, buf), RDR_OK);
    EXPECT_EQ(r.SerialNumber, 0);
    EXPECT_EQ(r.FirmwareVers, 0);
    EXPECT_EQ(r.ProgChecksum, 0);
    EXPECT_EQ(r.BootCheckSum, 0);
    EXPECT_EQ(r.Resolution, 0);
    EXPECT_EQ(r.Wavelength, 0);
    EXPECT_EQ(r.SizeOfSample, 0);
    EXPECT_EQ(r.NumOfSamples, 0);
    EXPECT_EQ((int)r.ReaderType, rtUnknown);
    EXPECT_EQ((int)r.MotivePower, mpUnknown);
    EXPECT_EQ(r.calmin, 0);
    EXPECT_EQ(r.calmax, 0xFF00);
    EXPECT_EQ(r.lastcal, -1);
}

TEST(TranslateReaderinfo, BadChecksumGivesClearedRecord) {
    reply_fields f;
    f.serial = 0x1A2B;
    f.firmware = 0x0206;
    unsigned char buf[32];
    make_reply(f, buf);
    for (int byte : {30, 31, 2}) {
        SCOPED_TRACE(byte);
        unsigned char bad[32];
        std::memcpy(bad, buf, 32);
        bad[byte] ^= 0x01;
        readerinfo_t r;
        std::memset(&r, 0x5A, sizeof r);
        EXPECT_EQ(translate_readerinfo(&r, bad), RDR_BAD_CHECKSUM);
        expect_cleared(r);
    }
}

TEST(TranslateReaderinfo, FieldsAreLittleEndian) {
    reply_fields f;
    f.serial = 0x1A2B;
    f.firmware = 0x0206;
    f.prog = 0x3344;
    f.boot = 0x5566;
    f.resolution = 300;
    f.wavelength = 660;
    f.short_size = 1000;
    f.samples = 2048;
    f.type = 7; // not an enumerator: stored as it is
    f.drive = 4;
    f.long_size = 0x01020304;
    unsigned char buf[32];
    make_reply(f, buf);
    readerinfo_t r;
    ASSERT_EQ(translate_readerinfo(&r, buf), RDR_OK);
    EXPECT_EQ(r.SerialNumber, 0x1A2B);
    EXPECT_EQ(r.FirmwareVers, 0x0206);
    EXPECT_EQ(r.ProgChecksum, 0x3344);
    EXPECT_EQ(r.BootCheckSum, 0x5566);
    EXPECT_EQ(r.Resolution, 300);
    EXPECT_EQ(r.Wavelength, 660);
    EXPECT_EQ(r.SizeOfSample, 1000); // short form not 0 or 0xFFFF: long form ignored
    EXPECT_EQ(r.NumOfSamples, 2048);
    EXPECT_EQ((int)r.ReaderType, 7);
    EXPECT_EQ((int)r.MotivePower, mpMotor);
    EXPECT_EQ(r.lastcal, -1);
}

TEST(TranslateReaderinfo, FirmwareRules) {
    struct row {
        uint16_t firmware, short_size;
        uint32_t long_size;
        uint16_t resolution;
        reader_long want_size;
        uint16_t want_resolution;
    };
    static const row rows[] = {
        // Long sample size only above 0x0104 and only for a short form of 0 or 0xFFFF.
        {0x0104, 0, 0x00012345, 300, 0, 300},
        {0x0104, 0xFFFF, 0x00012345, 300, 0xFFFF, 300},
        {0x0105, 0xFFFF, 0x00012345, 300, 74565, 300},
        {0x0105, 0, 0x00012345, 300, 74565, 300},
        {0x0105, 0xFFFF, 0xFFFFFFFF, 300, 0, 300},
        {0x0105, 0, 0x80000000, 300, INT32_MIN, 300},
        {0x0105, 1000, 0x00012345, 300, 1000, 300},
        // Resolution 125 reads as 100 up to 0x0104.
        {0x0104, 8, 0, 125, 8, 100},
        {0x0105, 8, 0, 125, 8, 125},
        // Resolution 250 reads as 200 above 0x0101 up to 0x01FF.
        {0x0101, 8, 0, 250, 8, 250},
        {0x0102, 8, 0, 250, 8, 200},
        {0x01FF, 8, 0, 250, 8, 200},
        {0x0200, 8, 0, 250, 8, 250},
        {0x0100, 8, 0, 125, 8, 100},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const row &w = rows[i];
        SCOPED_TRACE(i);
        reply_fields f;
        f.firmware = w.firmware;
        f.short_size = w.short_size;
        f.long_size = w.long_size;
        f.resolution = w.resolution;
        unsigned char buf[32];
        make_reply(f, buf);
        readerinfo_t r;
        ASSERT_EQ(translate_readerinfo(&r, buf), RDR_OK);
        EXPECT_EQ(r.SizeOfSample, w.want_size);
        EXPECT_EQ(r.Resolution, w.want_resolution);
    }
}

TEST(ReaderClear, KeepsFactoryCalibration) {
    readerinfo_t r;
    std::memset(&r, 0x77, sizeof r);
    std::strcpy(r.factorycal_user, "factory bench 3");
    r.factorycal_when = 123456789;
    ASSERT_EQ(reader_clear(&r), RDR_OK);
    expect_cleared(r);
    EXPECT_EQ(r.Wavelength, 0);
    EXPECT_EQ((int)r.ReaderType, rtUnknown);
    EXPECT_EQ(r.givenz, 0);
    EXPECT_EQ(r.factorycal_when, 123456789);
    EXPECT_STREQ(r.factorycal_user, "factory bench 3");
    EXPECT_EQ(reader_clear(nullptr), RDR_NO_RECORD);
}

TEST(ReaderInfo, CopiesCurrentRecordOrLeavesCallersAlone) {
    readerinfo_t mine;
    std::memset(&mine, 0x33, sizeof mine);
    current_info = nullptr;
    EXPECT_EQ(reader_info(&mine), RDR_NO_RECORD);
    for (size_t i = 0; i < sizeof mine; i++)
        ASSERT_EQ(reinterpret_cast<unsigned char *>(&mine)[i], 0x33) << i;

    std::memset(&usb_info[2], 0x44, sizeof usb_info[2]);
    current_info = &usb_info[2];
    EXPECT_EQ(reader_info(&mine), RDR_OK);
    EXPECT_EQ(std::memcmp(&mine, &usb_info[2], sizeof mine), 0);
    current_info = nullptr;
}

TEST(ReaderTables, ZeroAtLoad) {
    static const readerinfo_t zero = {};
    EXPECT_EQ(std::memcmp(&ser_info[0], &zero, sizeof zero), 0);
    EXPECT_EQ(std::memcmp(&ser_info[255], &zero, sizeof zero), 0);
    EXPECT_EQ(std::memcmp(&usb_info[255], &zero, sizeof zero), 0);
    EXPECT_EQ(sizeof usb_info / sizeof usb_info[0], 256u);
}

} // namespace
