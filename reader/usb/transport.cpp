// Serial port transport: the library's one channel to a reader's serial
// device. Opens by reader index, holds the device for this process alone,
// configures a raw 115200 line, polls reads.
#include "usb/transport.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
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

// A read gives up when no byte has come for this long. Counted on the
// monotonic clock, not in attempts: a host's timer signals cut the pauses
// between attempts short, and would cut a count of attempts short with them.
constexpr long long silence_limit_ns = 1000000000;
// Pause before each read attempt.
constexpr long read_pause_ns = 1000000;

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

// Elapsed time in nanoseconds, for silences, deadlines and limits.
long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

// The pause before a read attempt; a signal does not end it early.
void pause_before_read(void) {
    struct timespec left = {0, read_pause_ns};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

// A reader that never pauses would keep the drain going for ever, and one
// that trickles bytes with pauses under a second would hold a read for ever;
// after this long both give up (a scan frame takes 0.36 s on the line).
constexpr long long busy_line_limit_ns = 10000000000;

} // namespace

// One process per reader. Serial terminal programs take an advisory lock on
// the open device, and so does this library: a second process that opens
// the device while it is held finds the lock taken and leaves at once,
// before it changes the line's settings or sends a byte. TIOCEXCL keeps
// every later open of the terminal out as well, whatever the program,
// except a privileged one, which the lock still stops. The lock belongs to
// this descriptor, so a process never meets its own: opening a device
// closes the channel first.
int OpenSerialPort(const char *bsdPath) {
    // O_NOCTTY: the device must never become the process's controlling
    // terminal, or a hang-up of the adapter would signal the host.
    // O_CLOEXEC: the programs the host starts do not inherit the reader.
    int fd = open(bsdPath, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd == -1)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) == -1 && errno == EWOULDBLOCK) {
        close(fd);
        errno = EBUSY;
        return -1;
    }
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
    ioctl(fd, TIOCEXCL);
    return fd;
}

// The exclusive mode belongs to the terminal, not to the descriptor: while
// anyone else keeps the terminal open it would outlast this close, so it is
// given back first. Closing releases the lock.
void CloseSerialPort(int fd) {
    tcsetattr(fd, TCSANOW, &gOriginalTTYAttrs);
    ioctl(fd, TIOCNXCL);
    close(fd);
}

// A read that delivers nothing, or fails, is a failed attempt; the read
// fails once no byte has come for the silence limit. A read still short of
// n bytes after the busy line limit fails like a silent one.
int getbytes(int fd, int n, unsigned char *buf) {
    int count = 0;
    long long last_byte = now_ns();
    const long long limit = last_byte + busy_line_limit_ns;
    while (count < n) {
        pause_before_read();
        ssize_t got = read(fd, buf + count, (size_t)(n - count));
        long long now = now_ns();
        if (got > 0) {
            count += (int)got;
            last_byte = now;
            if (count < n && now > limit)
                return -1;
        } else if (now - last_byte >= silence_limit_ns) {
            return -1;
        }
    }
    return count;
}

int usb_open_slot(int devnum) {
    if (devnum < 0 || devnum >= usb_path_slots || bsdPaths[devnum][0] == '\0')
        return RDR_EX_UNAVAILABLE;
    reader_usb_close();
    fileDescriptor = OpenSerialPort(bsdPaths[devnum]);
    if (fileDescriptor == -1)
        return errno == EBUSY ? usb_open_in_use : RDR_EX_IOERR;
    usb_flush();
    return 0;
}

int reader_usb_open(int devnum) {
    int r = usb_open_slot(devnum);
    return r == usb_open_in_use ? RDR_EX_IOERR : r;
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
    long long deadline = now_ns() + busy_line_limit_ns;
    while (usb_read(&byte, 1) == 1 && now_ns() < deadline) {
    }
    return 0;
}

int usb_getbytes(unsigned char *bytes, int minlen, int maxlen, int tics) {
    // Nothing could ever satisfy minlen once maxlen bytes are in.
    if (maxlen < minlen)
        return RDR_READ_FAILED;
    int n = 0;
    unsigned char *ptr = bytes;
    // tics are hundredths of a second.
    const long long wait_ns = tics > 0 ? (long long)tics * 10000000 : 0;
    long long timeout = now_ns() + wait_ns;
    for (;;) {
        int NoToRead = maxlen - n;
        if (NoToRead != 0) {
            int NumChars = usb_read(ptr, NoToRead);
            if (NumChars < 0)
                return RDR_READ_FAILED;
            if (NumChars > 0) {
                timeout = now_ns() + wait_ns;
                n += NumChars;
                ptr += NumChars;
            }
        }
        if (tics > 0 && now_ns() > timeout)
            return RDR_TIMEOUT;
        if (n >= minlen)
            return n;
    }
}
