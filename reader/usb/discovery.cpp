// Reader discovery: walks the serial-device listing, probes each device named
// "usbserial-0000..." (or unnamed) with the information request, and reports
// every reader that answers with a valid reply. A device that another
// process holds is skipped without a byte sent.
#include "usb/discovery.h"

#include <cstdio>
#include <cstring>

#include "usb/protocol.h"
#include "usb/transport.h"

namespace {

// A reader's TTY name begins with this.
constexpr char fixedpath[] = "usbserial-0000";
constexpr size_t fixedpath_len = sizeof fixedpath - 1;

// Readers recorded so far; each takes the next slot of the path table.
int devCount;

// Asks the open device of slot devCount for its information reply and
// reports it when valid. True when the caller's callback asked to stop.
bool probe_reader(statfunc_t showstat, rdrfound_t rdrfound) {
    if (usb_write(&cmd_info, 1) != 1)
        return false;
    unsigned char reply[reply_len];
    if (usb_getbytes(reply, reply_len, reply_len, reply_tics) != reply_len) {
        statprintf(showstat, 0, "No response from %s. Vantrel requires firmware version 0206 or higher",
                   bsdPaths[devCount]);
        return false;
    }
    // Zero-filled so that the fields the reply leaves alone are defined.
    readerinfo_t info;
    memset(&info, 0, sizeof info);
    if (translate_readerinfo(&info, reply) != 0)
        return false;
    statprintf(showstat, 0, "Got info for reader %04x", (unsigned)info.SerialNumber);
    int stop = 0;
    if (rdrfound != nullptr)
        stop = rdrfound(READER_CLASS_USB + devCount, bsdPaths[devCount], &info);
    devCount++;
    return stop != 0;
}

} // namespace

int FindModems(registry_iter_t *matchingServices) { return registry_open(matchingServices); }

int GetModemPaths(registry_iter_t *serialPortIterator, statfunc_t showstat, rdrfound_t rdrfound) {
    char modemName[registry_name_size];
    bool stop = false;
    devCount = 0;
    while (!stop && devCount < usb_path_slots) {
        const registry_device_t *dev = registry_next(serialPortIterator);
        if (dev == nullptr)
            break;
        bsdPaths[devCount][0] = '\0';
        if (dev->has_name) {
            snprintf(modemName, sizeof modemName, "%s", dev->name);
            statprintf(showstat, 0, "Serial stream name: %s", modemName);
            if (strncmp(modemName, fixedpath, fixedpath_len) != 0)
                continue;
            statprintf(showstat, 1, "Path matched!");
        }
        if (!dev->has_path)
            continue;
        snprintf(bsdPaths[devCount], sizeof bsdPaths[devCount], "%s", dev->path);
        statprintf(showstat, 0, "BSD path %d: %s", devCount, bsdPaths[devCount]);
        int opened = usb_open_slot(devCount);
        if (opened == usb_open_in_use)
            statprintf(showstat, 0, "%s is in use by another process", bsdPaths[devCount]);
        if (opened != 0)
            continue;
        stop = probe_reader(showstat, rdrfound);
        usb_write(&cmd_stop, 1);
        reader_usb_close();
    }
    return devCount;
}

int usb_enumerate(statfunc_t showstat, rdrfound_t rdrfound) {
    int n = 0;
    registry_iter_t serialPortIterator;
    if (FindModems(&serialPortIterator) == 0)
        n = GetModemPaths(&serialPortIterator, showstat, rdrfound);
    return n;
}
