// Calibration operations on the current reader's record.
#include "calibrat/calibrat.h"

int reader_calib(unsigned int rmin, unsigned int rmax, float amin, float amax, const char *file,
                 reader_time when, const char *extra) {
    if (!current_info)
        return RDR_NO_RECORD;
    return do_calibrate(rmin, rmax, amin, amax, file, when, extra, current_info);
}

int reader_uncal(void) {
    if (!current_info)
        return RDR_NO_RECORD;
    return clear_calibration(current_info);
}

int reader_recal(const char *calfile) {
    if (!current_info)
        return RDR_NO_RECORD;
    return load_calibration(calfile, current_info);
}
