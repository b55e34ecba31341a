// Serial port transport: the library's one channel to a reader's serial
// device. Opens by reader index, configures a raw 115200 line, polls reads.
#include "usb/transport.h"

#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "kestrel/kestrel.h"

int fileDescriptor = -1;
char bsdPaths[usb_path_slots][usb_path_size];
struct termios gOriginalTTYAttrs;

namespace {

// Hardware flow control: Mac OS X names the two directions separately,
// Linux has one flag for both.
#if defined(CCTS_OFLOW) && defined(CRTS_IFLOW)
constexpr tcflag_t hardware_flow_control = CCTS_OFLOW | CRTS_IFLOW;
#else
constexpr tcflag_t hardware_flow_control = CRTSCTS;
#endif

// Input processing that would change or drop bytes of a binary frame
// (0x0D turned into 0x0A, stripped high bits, parity marks, breaks).
constexpr tcflag_t byte_changing_input = ICRNL | INLCR | IGNCR | ISTRIP | INPCK | PARMRK | IUCLC | BRKINT;

// A read gives up at the first failure after this many in a row: with the
// pause before each attempt, about a second without input.
constexpr int failed_reads_allowed = 1000;
constexpr int read_pause_us = 1000;

void make_raw(struct termios *t) {
    t->c_cflag |= CLOCAL | CREAD;
    t->c_lflag &= ~(tcflag_t)(ICANON | ECHO | ECHOE | ISIG);
    t->c_oflag &= ~(tcflag_t)OPOST;
    t->c_cc[VMIN] = 1;
    t->c_cc[VTIME] = 0;
    t->c_cflag |= hardware_flow_control;
    t->c_iflag &= ~(tcflag_t)(IXON | IXOFF | IXANY);
    t->c_iflag &= ~byte_changing_input;
    t->c_cflag = (t->c_cflag & ~(tcflag_t)(CSIZE | PARENB)) | CS8;
    cfsetospeed(t, B115200);
    cfsetispeed(t, B115200);
}

// Elapsed time in hundredths of a second, for read deadlines and limits.
long long now_tics(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 100 + ts.tv_nsec / 10000000;
}

// A reader that never pauses would keep the drain going for ever, and one
// that trickles bytes with pauses under a second would hold a read for ever;
// after this long both give up (a scan frame takes 0.36 s on the line).
constexpr long long busy_line_limit_tics = 1000; // 10 s

} // namespace

int OpenSerialPort(const char *bsdPath) {
    // O_NOCTTY: the device must never become the process's controlling
    // terminal, or a hang-up of the adapter would signal the host.
    int fd = open(bsdPath, O_RDWR | O_NONBLOCK | O_NOCTTY);
    if (fd == -1)
        return -1;
    if (tcgetattr(fd, &gOriginalTTYAttrs) == -1) {
        close(fd);
        return -1;
    }
    struct termios options = gOriginalTTYAttrs;
    make_raw(&options);
    if (tcsetattr(fd, TCSANOW, &options) == -1) {
        close(fd);
        return -1;
    }
    return fd;
}

void CloseSerialPort(int fd) {
    tcsetattr(fd, TCSANOW, &gOriginalTTYAttrs);
    close(fd);
}

// A read that delivers nothing, or fails, is a failed attempt; any byte
// starts the count afresh. A read still short of n bytes after the busy
// line limit fails like a silent one.
int getbytes(int fd, int n, unsigned char *buf) {
    int count = 0;
    int error = 0;
    long long limit = now_tics() + busy_line_limit_tics;
    while (count < n) {
        usleep(read_pause_us);
        ssize_t got = read(fd, buf + count, (size_t)(n - count));
        if (got > 0) {
            count += (int)got;
            error = 0;
            if (count < n && now_tics() > limit)
                return -1;
            continue;
        }
        if (error > failed_reads_allowed)
            return got < 0 ? (int)got : -1;
        error++;
    }
    return count;
}

int reader_usb_open(int devnum) {
    if (devnum < 0 || devnum >= usb_path_slots || bsdPaths[devnum][0] == '\0')
        return RDR_EX_UNAVAILABLE;
    reader_usb_close();
    fileDescriptor = OpenSerialPort(bsdPaths[devnum]);
    if (fileDescriptor == -1)
        return RDR_EX_IOERR;
    usb_flush();
    return 0;
}

int reader_usb_close(void) {
    if (fileDescriptor >= 0) {
        CloseSerialPort(fileDescriptor);
        fileDescriptor = -1;
    }
    return 0;
}

int usb_read(unsigned char *buf, int num) {
    if (fileDescriptor < 0)
        return -1;
    return getbytes(fileDescriptor, num, buf);
}

int usb_write(const unsigned char *buf, int num) {
    if (fileDescriptor < 0 || num < 0)
        return -1;
    ssize_t done = write(fileDescriptor, buf, (size_t)num);
    return done < 0 ? -1 : (int)done;
}

int usb_flush(void) {
    unsigned char byte;
    long long deadline = now_tics() + busy_line_limit_tics;
    while (usb_read(&byte, 1) == 1 && now_tics() < deadline) {
    }
    return 0;
}

int usb_getbytes(unsigned char *bytes, int minlen, int maxlen, int tics) {
    // Nothing could ever satisfy minlen once maxlen bytes are in.
    if (maxlen < minlen)
        return RDR_READ_FAILED;
    int n = 0;
    unsigned char *ptr = bytes;
    long long timeout = tics > 0 ? now_tics() + tics : 0;
    for (;;) {
        int NoToRead = maxlen - n;
        if (NoToRead != 0) {
            int NumChars = usb_read(ptr, NoToRead);
            if (NumChars < 0)
                return RDR_READ_FAILED;
            if (NumChars > 0) {
                if (tics > 0)
                    timeout = now_tics() + tics;
                n += NumChars;
                ptr += NumChars;
            }
        }
        if (tics > 0 && now_tics() > timeout)
            return RDR_TIMEOUT;
        if (n >= minlen)
            return n;
    }
}
