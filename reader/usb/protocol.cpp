// The reader's command protocol on the USB serial connection: activation,
// polling for the scan announcement, scan fetch and stop.
#include <cerrno>
#include <unistd.h>

#include "kestrel/kestrel.h"
#include "usb/protocol.h"
#include "usb/transport.h"

namespace {

// Wavelength of a record activated without the start command.
constexpr int wavelength_unknown = 0xFFFF;

// Polling reads into this buffer; only its first byte is used.
unsigned char dataBuf[frame_len];

bool send_command(unsigned char cmd) { return usb_write(&cmd, 1) == 1; }

} // namespace

int usb_activate(statfunc_t showstat, int ind, int flags) {
    statprintf(showstat, 1, "Opening USB...");
    int r = reader_usb_open(ind);
    if (r != 0)
        return r;
    if (!send_command(cmd_info))
        return RDR_WRITE_INFOREQ;

    unsigned char reply[reply_len];
    r = usb_getbytes(reply, reply_len, reply_len, reply_tics);
    if (r != reply_len)
        return r == 0 ? RDR_REENTERED : r;
    r = translate_readerinfo(&usb_info[ind], reply);
    if (r != 0)
        return r;
    statprintf(showstat, 1, "Found USB reader");
    current_info = &usb_info[ind];

    if (flags & READER_FLAG_NOSTART) {
        current_info->Wavelength = wavelength_unknown;
        return RDR_OK;
    }
    if (!send_command(cmd_start))
        return RDR_WRITE_START;
    return RDR_OK;
}

int usb_start(void) { return RDR_OK; }

int usb_poll(void) {
    // One direct read of at most one byte: no sleep, no retry.
    ssize_t numBytes = read(fileDescriptor, dataBuf, 1);
    if (numBytes > 0) {
        for (ssize_t i = 0; i < numBytes; i++)
            if (dataBuf[i] == scan_announcement)
                usb_getscan();
        return RDR_OK;
    }
    // End of file means the line has hung up (adapter gone, or the far end
    // of a pseudo-terminal closed): the host hears of it like any failed read.
    // Nothing to read (EAGAIN), or a signal before anything was read (EINTR),
    // is no failure.
    if (numBytes == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
        reader_digitise(nullptr, -1);
    return RDR_OK;
}

int usb_getscan(void) {
    unsigned char buf[frame_len];
    if (!send_command(cmd_scan) || usb_getbytes(buf, frame_len, frame_len, -1) != frame_len) {
        reader_digitise(buf, -2);
        return RDR_OK;
    }
    // Sample i is the second byte of pair i; gathering in place never
    // overwrites a byte still to be read.
    for (int i = 0; i < frame_samples; i++)
        buf[i] = buf[2 * i + 1];
    reader_digitise(buf, frame_samples);
    reader_digitise(buf + frame_samples, 0);
    return RDR_OK;
}

int usb_stop(void) {
    send_command(cmd_stop);
    return RDR_OK;
}

int usb_turboboost(int on) {
    (void)on;
    return RDR_UNSUPPORTED;
}

int usb_getscan8bits(void) { return RDR_UNSUPPORTED; }
