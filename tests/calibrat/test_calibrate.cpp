// Calibration values from two reference points, the saturating conversion,
// dropping a calibration and the wrappers on the current record.
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

#include "calibrat/calibrat.h"
#include "support.h"

using testsupport::temp_dir;
using testsupport::write_file;

namespace {

readerinfo_t cleared_record() {
    readerinfo_t r{};
    reader_clear(&r);
    r.SerialNumber = 0x1A2B;
    r.Wavelength = 660;
    return r;
}

TEST(Calibrate, ValuesFromReferencePoints) {
    struct row {
        unsigned rawmin, rawmax;
        float actualmin, actualmax;
        reader_uint calmin, calmax;
    };
    static const row rows[] = {
        {4000, 60000, 0.0f, 1.0f, 4000, 60000},
        {3000, 50000, 0.05f, 0.85f, 62, 58812},    // factor 58750, offset 62.5 truncated
        {20000, 21000, 0.0f, 0.01f, 20000, 65535}, // factor 100000 limited to 45535
        {1000, 2000, 0.5f, 0.5f, 0, 65535},        // infinite factor
        {50000, 10000, 0.1f, 0.9f, 0, 65535},      // raw span wraps to about 4.29e9
        {1234, 1234, 0.3f, 0.3f, 0, 0},            // 0/0: NaN factor
        {100, 60000, 0.2f, 1.0f, 0, 65535},        // negative offset becomes 0, factor limited
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        const row &r = rows[i];
        readerinfo_t info = cleared_record();
        const reader_time when = 1700000000 + (reader_time)i;
        // Without a file name the save fails; the record still takes the calibration.
        EXPECT_EQ(do_calibrate(r.rawmin, r.rawmax, r.actualmin, r.actualmax, nullptr, when, nullptr, &info),
                  RDR_CAL_REPLACE);
        EXPECT_EQ(info.calmin, r.calmin);
        EXPECT_EQ(info.calmax, r.calmax);
        EXPECT_EQ((reader_time)info.lastcal, when);
    }
}

TEST(Calibrate, FloatToIntTruncatesAndSaturates) {
    struct row {
        float in;
        reader_long out;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const row rows[] = {
        {2.9f, 2},
        {-2.9f, -2},
        {62.5f, 62},
        {2147483520.0f, 2147483520}, // largest float below 2^31
        {2147483648.0f, INT32_MAX},  // 2^31
        {3e9f, INT32_MAX},
        {inf, INT32_MAX},
        {-2147483648.0f, INT32_MIN},
        {-3e9f, INT32_MIN},
        {-inf, INT32_MIN},
        {std::nanf(""), INT32_MIN},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(float_to_reader_long(rows[i].in), rows[i].out);
    }
}

TEST(Calibrate, ClearRestoresUncalibratedRangeAndKeepsLastcal) {
    readerinfo_t info = cleared_record();
    info.admin = 100;
    info.admax = 50000;
    info.calmin = 4000;
    info.calmax = 60000;
    info.lastcal = 12345;
    EXPECT_EQ(clear_calibration(&info), 0);
    EXPECT_EQ(info.calmin, 100);
    EXPECT_EQ(info.calmax, 50000);
    EXPECT_EQ((reader_time)info.lastcal, 12345);
}

// The wrappers act on the current record and refuse without one.
class CurrentReader : public ::testing::Test {
protected:
    void SetUp() override {
        usb_info[3] = cleared_record();
        current_info = &usb_info[3];
    }
    void TearDown() override { current_info = nullptr; }
};

TEST_F(CurrentReader, WrappersWithoutCurrentReader) {
    current_info = nullptr;
    EXPECT_EQ(reader_calib(4000, 60000, 0.0f, 1.0f, nullptr, 1, nullptr), RDR_NO_RECORD);
    EXPECT_EQ(reader_uncal(), RDR_NO_RECORD);
    EXPECT_EQ(reader_recal(nullptr), RDR_NO_RECORD);
    EXPECT_EQ(usb_info[3].calmin, 0);
    EXPECT_EQ((reader_time)usb_info[3].lastcal, -1);
}

TEST_F(CurrentReader, CalibUncalRecal) {
    temp_dir dir;
    const std::string file = dir.file("cal.txt");
    EXPECT_EQ(reader_calib(3000, 50000, 0.05f, 0.85f, file.c_str(), 1700000000, "ref card"), 0);
    EXPECT_EQ(current_info->calmin, 62);
    EXPECT_EQ(current_info->calmax, 58812);
    EXPECT_EQ((reader_time)current_info->lastcal, 1700000000);

    EXPECT_EQ(reader_uncal(), 0);
    EXPECT_EQ(current_info->calmin, 0);
    EXPECT_EQ(current_info->calmax, 0xFF00);
    EXPECT_EQ((reader_time)current_info->lastcal, 1700000000);

    current_info->lastcal = -1;
    EXPECT_EQ(reader_recal(file.c_str()), 0);
    EXPECT_EQ(current_info->calmin, 62);
    EXPECT_EQ(current_info->calmax, 58812);
    EXPECT_NE((reader_time)current_info->lastcal, -1);

    // No line for this reader: the calibration is dropped.
    write_file(file, "calib.9999:660=0010,0020\n");
    EXPECT_EQ(reader_recal(file.c_str()), RDR_NO_CALIBRATION);
    EXPECT_EQ(current_info->calmin, 0);
    EXPECT_EQ(current_info->calmax, 0xFF00);
}

} // namespace
