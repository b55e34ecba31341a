// Linux backend of the serial-device listing: the tty class of sysfs, with
// USB serial adapters and USB modems named as Mac OS X names them
// ("usbserial-" + serial number, "usbmodem" + location).
#include "usb/registry/registry.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char sysfs_root[registry_path_size] = "/sys";

constexpr size_t sysfs_path_size = 4096;

} // namespace

int registry_set_sysfs_root(const char *root) {
    if (root == nullptr)
        root = "/sys";
    if (strlen(root) >= sizeof sysfs_root)
        return -1;
    snprintf(sysfs_root, sizeof sysfs_root, "%s", root);
    return 0;
}

int registry_system_scan(registry_device_t *table, int capacity) {
    return registry_scan_sysfs(sysfs_root, table, capacity);
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Orders names with each run of digits taken as a number: ttyUSB2 before
// ttyUSB10. Names equal as numbers fall back to plain byte order.
int natural_compare(const char *a, const char *b) {
    const char *a0 = a, *b0 = b;
    while (*a != '\0' && *b != '\0') {
        if (is_digit(*a) && is_digit(*b)) {
            while (*a == '0' && is_digit(a[1]))
                a++;
            while (*b == '0' && is_digit(b[1]))
                b++;
            size_t la = 0, lb = 0;
            while (is_digit(a[la]))
                la++;
            while (is_digit(b[lb]))
                lb++;
            if (la != lb)
                return la < lb ? -1 : 1;
            int c = strncmp(a, b, la);
            if (c != 0)
                return c;
            a += la;
            b += lb;
        } else if (*a != *b) {
            return (unsigned char)*a - (unsigned char)*b;
        } else {
            a++;
            b++;
        }
    }
    if (*a != *b)
        return (unsigned char)*a - (unsigned char)*b;
    return strcmp(a0, b0);
}

// Reads a sysfs attribute without its line end; its length, or -1.
int read_attribute(const char *dir, const char *name, char *buf, size_t size) {
    char path[sysfs_path_size];
    if ((size_t)snprintf(path, sizeof path, "%s/%s", dir, name) >= sizeof path)
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t n = read(fd, buf, size - 1);
    close(fd);
    if (n < 0)
        return -1;
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r'))
        n--;
    buf[n] = '\0';
    return (int)n;
}

bool has_entry(const char *dir, const char *name) {
    char path[sysfs_path_size];
    struct stat st;
    return (size_t)snprintf(path, sizeof path, "%s/%s", dir, name) < sizeof path && stat(path, &st) == 0;
}

// The serial number of the USB device a tty belongs to: the first directory
// up from the tty's device that has an idVendor attribute is that device.
// False when there is none or it has no serial number; climbing further
// would reach a hub and take its serial number instead.
bool usb_serial_of(const char *ttydir, char *serial, size_t size) {
    char dir[sysfs_path_size];
    size_t len = (size_t)snprintf(dir, sizeof dir, "%s/device", ttydir);
    struct stat here;
    if (len >= sizeof dir || stat(dir, &here) != 0)
        return false;
    for (;;) {
        if (has_entry(dir, "idVendor"))
            return read_attribute(dir, "serial", serial, size) > 0;
        if (len + 3 >= sizeof dir)
            return false;
        memcpy(dir + len, "/..", 4);
        len += 3;
        struct stat up;
        if (stat(dir, &up) != 0 || (up.st_dev == here.st_dev && up.st_ino == here.st_ino))
            return false;
        here = up;
    }
}

// A CDC-ACM device (ttyACM*: a modem, a phone, a microcontroller board) is a
// modem, not a USB serial adapter. Mac OS X names a modem "usbmodem" and the
// place it is plugged in: the bus, the port on each hub down to the device,
// then the interface number plus one, a hexadecimal digit each (usbmodem1421:
// bus 1, ports 4 and 2, interface 0). The place is read from the name of the
// USB interface the tty belongs to ("1-4.2:1.0"), the last directory before
// "/tty/<kernel>" in the class entry's link; a modem without one keeps its
// kernel name, as other ports do.
constexpr char modem_kernel_prefix[] = "ttyACM";

bool is_modem(const char *kernel) {
    return strncmp(kernel, modem_kernel_prefix, sizeof modem_kernel_prefix - 1) == 0;
}

// Reads a decimal number at *p (before end) and moves *p behind it.
bool read_number(const char **p, const char *end, unsigned long *n) {
    if (*p == end || !is_digit(**p))
        return false;
    for (*n = 0; *p < end && is_digit(**p); (*p)++)
        *n = *n * 10 + (unsigned long)(**p - '0');
    return true;
}

bool append_hex(char *out, size_t size, size_t *used, unsigned long n) {
    int len = snprintf(out + *used, size - *used, "%lx", n);
    if (len < 0 || (size_t)len >= size - *used)
        return false;
    *used += (size_t)len;
    return true;
}

// Writes the location digits of a USB interface's name
// "<bus>-<port>[.<port>...]:<configuration>.<interface>" to out; false when
// the name has another form or the digits do not fit.
bool location_digits(const char *p, const char *end, char *out, size_t size) {
    size_t used = 0;
    unsigned long n;
    if (!read_number(&p, end, &n) || p == end || *p++ != '-' || !append_hex(out, size, &used, n))
        return false;
    do {
        if (!read_number(&p, end, &n) || p == end || !append_hex(out, size, &used, n))
            return false;
    } while (*p++ == '.');
    if (p[-1] != ':' || !read_number(&p, end, &n) || p == end || *p++ != '.')
        return false;
    return read_number(&p, end, &n) && p == end && append_hex(out, size, &used, n + 1);
}

// The name of a modem's tty: "usbmodem" and its location, or the kernel name.
void modem_name(const char *root, const char *kernel, char *name, size_t size) {
    char entry[sysfs_path_size], link[sysfs_path_size], digits[64];
    size_t tail = strlen(kernel) + 5; // "/tty/" and the kernel name end the link
    ssize_t len = -1;
    if ((size_t)snprintf(entry, sizeof entry, "%s/class/tty/%s", root, kernel) < sizeof entry)
        len = readlink(entry, link, sizeof link - 1);
    if (len > (ssize_t)tail) {
        link[len] = '\0';
        const char *iface_end = link + len - tail;
        const char *iface = iface_end;
        while (iface > link && iface[-1] != '/')
            iface--;
        if (strncmp(iface_end, "/tty/", 5) == 0 && location_digits(iface, iface_end, digits, sizeof digits)) {
            snprintf(name, size, "usbmodem%s", digits);
            return;
        }
    }
    snprintf(name, size, "%s", kernel);
}

// Describes the tty class entry `kernel`; false when it is not backed by a device.
bool describe_tty(const char *root, const char *kernel, registry_device_t *dev) {
    char ttydir[sysfs_path_size];
    if ((size_t)snprintf(ttydir, sizeof ttydir, "%s/class/tty/%s", root, kernel) >= sizeof ttydir)
        return false;
    if (!has_entry(ttydir, "device"))
        return false;

    char serial[256];
    int len;
    if (is_modem(kernel)) {
        modem_name(root, kernel, dev->name, sizeof dev->name);
        len = (int)strlen(dev->name);
    } else if (usb_serial_of(ttydir, serial, sizeof serial))
        len = snprintf(dev->name, sizeof dev->name, "usbserial-%s", serial);
    else
        len = snprintf(dev->name, sizeof dev->name, "%s", kernel);
    dev->has_name = (size_t)len < sizeof dev->name;
    if (!dev->has_name)
        dev->name[0] = '\0';

    len = snprintf(dev->path, sizeof dev->path, "/dev/%s", kernel);
    dev->has_path = (size_t)len < sizeof dev->path;
    if (!dev->has_path)
        dev->path[0] = '\0';
    return true;
}

bool is_adapter(const registry_device_t *dev) {
    return dev->has_name && strncmp(dev->name, "usbserial-", 10) == 0;
}

// Which of two devices gives way when the table is full: a port that is not
// a USB adapter before an adapter (only adapters can be readers, and a
// machine with many on-board ports must not push them out), and among
// equals the one later in natural order.
bool gives_way(const registry_device_t *a, const registry_device_t *b) {
    if (is_adapter(a) != is_adapter(b))
        return !is_adapter(a);
    return natural_compare(a->path, b->path) > 0;
}

// Inserts dev into the table kept in natural order of kernel names (the
// paths are "/dev/" + kernel name); when the table is full the device that
// gives way to all others is left out, dev itself perhaps.
void insert_sorted(registry_device_t *table, int *count, int capacity, const registry_device_t *dev) {
    if (*count >= capacity) {
        int out = -1; // -1: dev itself
        for (int i = 0; i < *count; i++)
            if (gives_way(&table[i], out < 0 ? dev : &table[out]))
                out = i;
        if (out < 0)
            return;
        memmove(&table[out], &table[out + 1], sizeof table[0] * (size_t)(*count - out - 1));
        (*count)--;
    }
    int pos = 0;
    while (pos < *count && natural_compare(table[pos].path, dev->path) < 0)
        pos++;
    memmove(&table[pos + 1], &table[pos], sizeof table[0] * (size_t)(*count - pos));
    table[pos] = *dev;
    (*count)++;
}

} // namespace

int registry_scan_sysfs(const char *root, registry_device_t *table, int capacity) {
    char classdir[sysfs_path_size];
    if ((size_t)snprintf(classdir, sizeof classdir, "%s/class/tty", root) >= sizeof classdir)
        return -1;
    int fd = open(classdir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;

    // getdents64 into a buffer on the stack rather than opendir/readdir:
    // the library allocates nothing, and readdir's stream is allocated.
    int count = 0;
    registry_device_t dev;
    alignas(struct dirent64) char entries[4096];
    ssize_t got;
    while ((got = getdents64(fd, entries, sizeof entries)) > 0) {
        for (ssize_t pos = 0; pos < got;) {
            const struct dirent64 *e = reinterpret_cast<const struct dirent64 *>(entries + pos);
            pos += e->d_reclen;
            if (e->d_name[0] == '.')
                continue;
            if (describe_tty(root, e->d_name, &dev) && dev.has_path)
                insert_sorted(table, &count, capacity, &dev);
        }
    }
    close(fd);
    return count;
}
