// The reader information record shown field by field.
#include "record_output.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace host {

namespace {

std::string printed(const char *format, long value) {
    char buf[64];
    snprintf(buf, sizeof buf, format, value);
    return buf;
}

std::string hex4(unsigned value) { return printed("%04lX", (long)value); }

std::string time_text(reader_time t) {
    if (t == -1)
        return "none (-1)";
    time_t tt = t;
    struct tm tm;
    char buf[64];
    if (!localtime_r(&tt, &tm) || !strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S %Z", &tm))
        return printed("%ld", t);
    return printed("%ld", t) + " (" + buf + ")";
}

const char *reader_type_name(int t) {
    switch (t) {
    case rtUnknown: return "unknown";
    case rtWand: return "wand";
    case rtCCD: return "CCD";
    case rtLaser: return "laser";
    default: return "not a known type";
    }
}

const char *motive_power_name(int m) {
    switch (m) {
    case mpUnknown: return "unknown";
    case mpHand: return "hand";
    case mpHandClocked: return "hand, clocked";
    case mpClocked: return "clocked";
    case mpMotor: return "motor";
    default: return "not a known drive";
    }
}

} // namespace

bool is_calibrated(const readerinfo_t &info) {
    return info.calmin != info.admin || info.calmax != info.admax;
}

std::vector<std::pair<std::string, std::string>> record_fields(const readerinfo_t &info) {
    // The factory user text is 257 bytes that the host may have filled; show
    // it only up to its terminator or its end.
    std::string user(info.factorycal_user, strnlen(info.factorycal_user, sizeof info.factorycal_user));
    std::string wavelength = printed("%ld", info.Wavelength);
    wavelength += info.Wavelength == 65535 ? " (marked: activated without start)" : " nm";
    return {
        {"SerialNumber", hex4(info.SerialNumber)},
        {"FirmwareVers", hex4(info.FirmwareVers)},
        {"ProgChecksum", hex4(info.ProgChecksum)},
        {"BootCheckSum", hex4(info.BootCheckSum)},
        {"Resolution", printed("%ld", info.Resolution)},
        {"Wavelength", wavelength},
        {"SizeOfSample", printed("%ld", info.SizeOfSample)},
        {"NumOfSamples", printed("%ld", info.NumOfSamples)},
        {"ReaderType", printed("%ld", info.ReaderType) + " (" + reader_type_name(info.ReaderType) + ")"},
        {"MotivePower", printed("%ld", info.MotivePower) + " (" + motive_power_name(info.MotivePower) + ")"},
        {"calmin", hex4(info.calmin) + printed(" (%ld)", info.calmin)},
        {"calmax", hex4(info.calmax) + printed(" (%ld)", info.calmax)},
        {"admin", hex4(info.admin) + printed(" (%ld)", info.admin)},
        {"admax", hex4(info.admax) + printed(" (%ld)", info.admax)},
        {"givenz", printed("%ld", info.givenz)},
        {"lastcal", time_text(info.lastcal)},
        {"factorycal_when", time_text(info.factorycal_when)},
        {"factorycal_user", "'" + user + "'"},
        {"calibrated", is_calibrated(info) ? "yes" : "no (calmin = admin, calmax = admax)"},
    };
}

std::string format_record(const readerinfo_t &info) {
    std::string text;
    for (const auto &[name, value] : record_fields(info))
        text += "  " + name + std::string(17 - name.size(), ' ') + value + "\n";
    return text;
}

} // namespace host
