// The information reply: its checksum, its field bytes, and its decoding by
// the library's own translate_readerinfo.
#include "readersim.h"

#include <gtest/gtest.h>
#include <kestrel/kestrel.h>

namespace {

struct checksum_row {
    std::vector<uint8_t> bytes;
    uint16_t expected;
};

std::vector<uint8_t> counting(int n) {
    std::vector<uint8_t> v(n);
    for (int i = 0; i < n; i++)
        v[i] = (uint8_t)i;
    return v;
}

TEST(ReplyChecksum, KnownValues) {
    const checksum_row rows[] = {
        {std::vector<uint8_t>(30, 0), 0x0030},
        {{'a', 'b', 'c'}, 0x602C},
        {{}, 0x0000},
        {{0xFF}, 0x0000},                      // 0xFF + 1 carries out of both bytes
        {std::vector<uint8_t>(24, 0), 0x0115}, // the 24th byte has weight 1 again
        {counting(30), 0x09E3},
        {std::vector<uint8_t>(30, 0xFF), 0x1012},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(readersim::reply_checksum(rows[i].bytes.data(), (unsigned)rows[i].bytes.size()),
                  rows[i].expected);
    }
}

uint16_t le16(const std::vector<uint8_t> &b, int at) { return (uint16_t)(b[at] | b[at + 1] << 8); }

TEST(Reply, FieldBytesAndChecksum) {
    readersim::identity id;
    id.serial = 0xA1B2;
    id.firmware = 0x0105;
    id.prog_checksum = 0x1357;
    id.boot_checksum = 0x2468;
    id.resolution = 125;
    id.wavelength = 880;
    id.short_sample_size = 0xFFFF;
    id.reader_type = 7;
    id.motive_power = 4;
    id.num_samples = 2047;
    id.long_sample_size = 0x00012345;
    auto b = readersim::make_reply(id);
    ASSERT_EQ(b.size(), 32u);
    EXPECT_EQ(le16(b, 2), 0xA1B2);
    EXPECT_EQ(le16(b, 4), 0x0105);
    EXPECT_EQ(le16(b, 6), 0x1357);
    EXPECT_EQ(le16(b, 8), 0x2468);
    EXPECT_EQ(le16(b, 10), 125);
    EXPECT_EQ(le16(b, 12), 880);
    EXPECT_EQ(le16(b, 14), 0xFFFF);
    EXPECT_EQ(b[16], 7);
    EXPECT_EQ(b[17], 4);
    EXPECT_EQ(le16(b, 18), 2047);
    EXPECT_EQ(le16(b, 20) | (uint32_t)le16(b, 22) << 16, 0x00012345u);
    EXPECT_EQ(le16(b, 30), readersim::reply_checksum(b.data(), 30));

    id.bad_checksum = true;
    auto bad = readersim::make_reply(id);
    EXPECT_NE(le16(bad, 30), readersim::reply_checksum(bad.data(), 30));
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 30, bad.begin()));
}

TEST(Reply, DecodedByTheLibrary) {
    readersim::identity id;
    id.serial = 0x4321;
    id.firmware = 0x0206;
    id.resolution = 300;
    id.reader_type = 2;
    id.motive_power = 3;
    auto b = readersim::make_reply(id);
    // The record is packed: fields are compared by value, never bound by reference.
    readerinfo_t info;
    ASSERT_EQ(translate_readerinfo(&info, b.data()), 0);
    EXPECT_EQ((long)info.SerialNumber, 0x4321);
    EXPECT_EQ((long)info.FirmwareVers, 0x0206);
    EXPECT_EQ((long)info.ProgChecksum, id.prog_checksum);
    EXPECT_EQ((long)info.BootCheckSum, id.boot_checksum);
    EXPECT_EQ((long)info.Resolution, 300);
    EXPECT_EQ((long)info.Wavelength, id.wavelength);
    EXPECT_EQ((long)info.SizeOfSample, id.short_sample_size);
    EXPECT_EQ((long)info.NumOfSamples, id.num_samples);
    EXPECT_EQ((long)info.ReaderType, (long)rtCCD);
    EXPECT_EQ((long)info.MotivePower, (long)mpClocked);

    id.bad_checksum = true;
    b = readersim::make_reply(id);
    EXPECT_EQ(translate_readerinfo(&info, b.data()), -104);
}

} // namespace
