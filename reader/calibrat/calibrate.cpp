// Calibration computation: the raw readings for true reflectance 0 and 1
// from two measured reference points, and dropping a calibration.
#include "calibrat/calibrat.h"

#include <cstdint>

reader_long float_to_reader_long(float v) {
    if (v != v)
        return INT32_MIN;
    if (v >= 2147483648.0f)
        return INT32_MAX;
    if (v <= -2147483648.0f)
        return INT32_MIN;
    return (reader_long)v;
}

int do_calibrate(unsigned int rawmin, unsigned int rawmax, float actualmin, float actualmax,
                 const char *filename, reader_time when, const char *extra, readerinfo_t *info) {
    // Straight line through the two points: slope in raw units per unit of
    // true value, intercept at true value 0. A zero true span gives an
    // infinite or NaN slope, which the clamps below turn into limits.
    float raw_span = (float)(uint32_t)(rawmax - rawmin);
    float true_span = actualmax - actualmin;
    float cal_factor = raw_span / true_span;
    float product = actualmin * cal_factor;
    reader_long cal_offset = float_to_reader_long((float)rawmin - product);
    if (cal_offset < 0)
        cal_offset = 0;

    // Keep cal_offset + cal_factor within the 16-bit raw range.
    float headroom = (float)(reader_long)(65535 - cal_offset);
    if (headroom < cal_factor)
        cal_factor = headroom;

    info->calmin = (reader_uint)((uint32_t)cal_offset & 0xFFFFu);
    info->calmax = (reader_uint)((uint32_t)float_to_reader_long((float)cal_offset + cal_factor) & 0xFFFFu);
    info->lastcal = when;
    return save_calib(filename, when, actualmin, actualmax, extra, info);
}

int clear_calibration(readerinfo_t *info) {
    info->calmin = info->admin;
    info->calmax = info->admax;
    return RDR_OK;
}
