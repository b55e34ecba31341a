// Internal interface of the calibration code: the calibration file writer,
// the date reader, the month names and the saturating float conversion.
#pragma once

#include "kestrel/kestrel.h"

// Longest calibration file name, backup path or temporary path, in characters.
constexpr size_t cal_path_max = 1023;

extern const char *const mnames[12];

// Float to 32-bit signed integer: truncates toward zero, saturates at the
// ends of the range, NaN gives the minimum.
reader_long float_to_reader_long(float v);

// Writes a new calibration line for `info` on top of the calibration file
// `filename`, keeping the previous file as the backup. 0 or a code -600..-608.
int save_calib(const char *filename, reader_time when, float amin, float amax, const char *extra,
               const readerinfo_t *info);

// Reads a ctime-style date at the start of `ctime_str` into *pwhen (-1 when
// there is none) and returns the position behind the date and its blanks.
const char *ctime_to_time_t(reader_time *pwhen, const char *ctime_str);
