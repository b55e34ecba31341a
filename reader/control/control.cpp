// The host's control API: enumerate, find and activate a reader, start,
// poll, fetch scans and stop, each dispatched on the reader id's class.
#include <cstdint>

#include "control/control.h"
#include "core/core.h"

int current_id = READER_NONE;
statfunc_t dummy_readerfound_showstat = nullptr;
volatile int found_id = READER_NONE;
volatile int previous_id = READER_NONE;

namespace {

volatile uint16_t reentered = 0;

// Connection classes the dispatch knows. Only USB serial is driven; the
// others answer with fixed codes.
enum conn_class { cls_usb, cls_200, cls_300, cls_400, cls_other };

conn_class class_of(int id) {
    switch ((unsigned)id & ~(unsigned)READER_INDEX_MASK) {
    case 0x100: return cls_usb;
    case 0x200: return cls_200;
    case 0x300: return cls_300;
    case 0x400: return cls_400;
    default: return cls_other;
    }
}

enum operation { op_start, op_poll, op_getscan, op_getscan8bits, op_turboboost, op_stop, op_count };

// Results of the operations on the classes that are not driven, indexed by
// operation, then class 0x200, 0x300, 0x400 and any other (no reader).
constexpr int fixed_result[op_count][4] = {
    /* start        */ {RDR_UNSUPPORTED, RDR_OK, RDR_NO_READER, RDR_NO_READER},
    /* poll         */ {RDR_UNSUPPORTED, RDR_NOT_AVAILABLE, RDR_NOT_AVAILABLE, RDR_NO_READER},
    /* getscan      */ {RDR_UNSUPPORTED, RDR_NOT_AVAILABLE, RDR_NOT_AVAILABLE, RDR_NO_READER},
    /* getscan8bits */ {RDR_UNSUPPORTED, RDR_NOT_AVAILABLE, RDR_NO_READER, RDR_NO_READER},
    /* turboboost   */ {RDR_NOT_AVAILABLE, RDR_OK, RDR_NOT_AVAILABLE, RDR_NO_READER},
    /* stop         */ {RDR_UNSUPPORTED, RDR_NOT_AVAILABLE, RDR_NOT_AVAILABLE, RDR_NO_READER},
};

int dispatch(operation op, int on = 0) {
    conn_class c = class_of(current_id);
    if (c != cls_usb)
        return fixed_result[op][c - cls_200];
    switch (op) {
    case op_start: return usb_start();
    case op_poll: return usb_poll();
    case op_getscan: return usb_getscan();
    case op_getscan8bits: return usb_getscan8bits();
    case op_turboboost: return usb_turboboost(on);
    case op_stop: return usb_stop();
    case op_count: break;
    }
    return RDR_NO_READER;
}

// Previous-reader hooks: no reader is remembered between runs.
int read_id(const char *inifile) {
    (void)inifile;
    return READER_NONE;
}

void save_id(const char *inifile, int id) {
    (void)inifile;
    (void)id;
}

const char *plural(int n) { return n == 1 ? "" : "s"; }

// A text for "%s" in a status line; a null text shows as printf shows it.
const char *shown(const char *text) { return text ? text : "(null)"; }

int do_reader_activate(statfunc_t showstat, const char *calfile, const char *inifile, int id, int flags) {
    (void)inifile;
    if (current_id >= 0)
        reader_stop();
    switch (class_of(id)) {
    case cls_usb: {
        int r = usb_activate(showstat, id & READER_INDEX_MASK, flags);
        if (r == RDR_OK) {
            current_id = id;
            load_calibration(calfile, current_info);
        }
        return r;
    }
    case cls_200: return RDR_UNSUPPORTED;
    case cls_300: return RDR_NOT_AVAILABLE;
    default: current_id = READER_NONE; return RDR_NOT_DRIVEN;
    }
}

} // namespace

int dummy_readerfound_func(int id, const char *portname, const readerinfo_t *info) {
    if (dummy_readerfound_showstat)
        statprintf(dummy_readerfound_showstat, 0, "%d: '%s' (%.04X)", id, shown(portname),
                   info ? info->SerialNumber : 0xFFFF);
    if (id >= 0 && id == previous_id) {
        found_id = id;
        return 1;
    }
    if (previous_id < 0 && info) {
        found_id = id;
        return 1;
    }
    if (found_id < 0)
        found_id = id;
    return 0;
}

int reader_enumerate(statfunc_t showstat, rdrfound_t rdrfound, const char *inifile, int force) {
    (void)inifile;
    (void)force;
    statprintf(showstat, 0, "Searching for readers...");
    int n = usb_enumerate(showstat, rdrfound);
    statprintf(showstat, 0, "%d reader%s found!", n, plural(n));
    return n;
}

int reader_find(statfunc_t showstat, const char *calfile, const char *inifile, int flags) {
    previous_id = read_id(inifile);
    found_id = READER_NONE;
    statprintf(showstat, 0, "Previous ID: %d", previous_id);
    statprintf(showstat, 0, "Searching for readers...");
    dummy_readerfound_showstat = showstat;
    int n = usb_enumerate(showstat, dummy_readerfound_func);
    dummy_readerfound_showstat = nullptr;
    statprintf(showstat, 0, "%d reader%s found!", n, plural(n));
    if (found_id < 0)
        return RDR_NONE_FOUND;
    return reader_activate(showstat, calfile, inifile, found_id, flags);
}

int reader_activate(statfunc_t showstat, const char *calfile, const char *inifile, int id, int flags) {
    statprintf(showstat, 0, "Activating reader %d:", id);
    statprintf(showstat, 3, "Calibration: '%s'", shown(calfile));
    statprintf(showstat, 3, "Settings   : '%s'", shown(inifile));
    int r = do_reader_activate(showstat, calfile, inifile, id, flags);
    if (r != RDR_OK) {
        statprintf(showstat, 0, "Reader not activated: error %d", r);
        save_id(inifile, READER_NONE);
    } else {
        statprintf(showstat, 0, "Reader %04X activated!", current_info->SerialNumber);
        save_id(inifile, id);
    }
    return r;
}

int reader_start(callback_t callback) {
    digitise_callback = callback;
    reentered = 0;
    return dispatch(op_start);
}

int reader_poll(void) {
    int r = RDR_REENTERED;
    reentered = reentered + 1;
    if (reentered == 1)
        r = dispatch(op_poll);
    // A reader_start from inside a callback has reset the depth already; the
    // counter must not wrap, or every later poll would be refused.
    if (reentered > 0)
        reentered = reentered - 1;
    return r;
}

int reader_getscan(void) { return dispatch(op_getscan); }

int reader_getscan8bits(void) { return dispatch(op_getscan8bits); }

int reader_turboboost(int on) { return dispatch(op_turboboost, on); }

int reader_stop(void) {
    int r = dispatch(op_stop);
    current_id = READER_NONE;
    if (current_info) {
        reader_clear(current_info);
        current_info = nullptr;
    }
    return r;
}
