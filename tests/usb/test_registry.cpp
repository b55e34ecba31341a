// The serial-device listing: the sysfs backend on trees laid out like the
// kernel's (built in temporary directories), and the host list.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kestrel/kestrel.h"
#include "support.h"
#include "usb/registry/registry.h"

namespace {

namespace fs = std::filesystem;

struct entry {
    std::string name; // "" with has_name false
    std::string path;
    bool has_name = true;
    bool has_path = true;
    bool operator==(const entry &) const = default;
};

std::ostream &operator<<(std::ostream &os, const entry &e) {
    return os << '{' << (e.has_name ? e.name : "<no name>") << ", " << (e.has_path ? e.path : "<no path>")
              << '}';
}

std::vector<entry> entries(const registry_device_t *table, int count) {
    std::vector<entry> out;
    for (int i = 0; i < count; i++)
        out.push_back({table[i].name, table[i].path, table[i].has_name, table[i].has_path});
    return out;
}

// The listing discovery would walk now.
std::vector<entry> current_listing() {
    std::vector<entry> out;
    registry_iter_t it;
    if (registry_open(&it) != 0)
        return out;
    while (const registry_device_t *d = registry_next(&it))
        out.push_back({d->name, d->path, d->has_name, d->has_path});
    return out;
}

std::vector<entry> scan(const std::string &root, int capacity = registry_system_max) {
    static registry_device_t table[registry_system_max];
    int n = registry_scan_sysfs(root.c_str(), table, capacity);
    EXPECT_GE(n, 0);
    return entries(table, n < 0 ? 0 : n);
}

// A sysfs tree: devices/... holds the device directories and their
// attributes; class/tty/<name> links to <device dir>/tty/<name>, whose
// "device" link points back to the device dir, as the kernel lays it out.
class sysfs_tree {
public:
    explicit sysfs_tree(const std::string &root) : root_(root) {
        fs::create_directories(root_ + "/class/tty");
    }

    void attribute(const std::string &dir, const std::string &name, const std::string &value) {
        fs::create_directories(root_ + "/" + dir);
        testsupport::write_file(root_ + "/" + dir + "/" + name, value);
    }
    void usb_device(const std::string &dir, const char *serial) {
        attribute(dir, "idVendor", "0403\n");
        if (serial != nullptr)
            attribute(dir, "serial", std::string(serial) + "\n");
    }
    // A tty backed by the device directory devdir.
    void tty(const std::string &devdir, const std::string &name) {
        std::string ttydir = devdir + "/tty/" + name;
        fs::create_directories(root_ + "/" + ttydir);
        fs::create_directory_symlink("../..", root_ + "/" + ttydir + "/device");
        fs::create_directory_symlink("../../" + ttydir, root_ + "/class/tty/" + name);
    }
    // A tty without a device behind it (virtual consoles, ptmx).
    void virtual_tty(const std::string &name) {
        std::string ttydir = "devices/virtual/tty/" + name;
        fs::create_directories(root_ + "/" + ttydir);
        fs::create_directory_symlink("../../" + ttydir, root_ + "/class/tty/" + name);
    }

private:
    std::string root_;
};

const std::string hub = "devices/pci0000:00/0000:00:14.0/usb1";

// Adapters with and without serial numbers, a modem (named after its USB
// location, not as an adapter), on-board ports and virtual terminals; the
// root hub has a serial number of its own.
void typical_machine(sysfs_tree &t) {
    t.usb_device(hub, "0000:00:14.0");
    t.usb_device(hub + "/1-1", "A1000");
    t.tty(hub + "/1-1/1-1:1.0/ttyUSB10", "ttyUSB10");
    t.usb_device(hub + "/1-2", "00001234");
    t.tty(hub + "/1-2/1-2:1.0/ttyUSB2", "ttyUSB2");
    t.usb_device(hub + "/1-3", nullptr);
    t.tty(hub + "/1-3/1-3:1.0/ttyUSB3", "ttyUSB3");
    t.usb_device(hub + "/1-4", "ACM9");
    t.tty(hub + "/1-4/1-4:1.0", "ttyACM0");
    t.tty("devices/platform/serial8250", "ttyS1");
    t.tty("devices/platform/serial8250", "ttyS0");
    t.virtual_tty("tty0");
    t.virtual_tty("console");
}

const std::vector<entry> typical_listing = {
    {"usbmodem141", "/dev/ttyACM0"},
    {"ttyS0", "/dev/ttyS0"},
    {"ttyS1", "/dev/ttyS1"},
    {"usbserial-00001234", "/dev/ttyUSB2"},
    // ttyUSB3's USB device has no serial number.
    {"ttyUSB3", "/dev/ttyUSB3"},
    {"usbserial-A1000", "/dev/ttyUSB10"},
};

TEST(RegistrySysfs, TypicalMachineGivesNamesPathsAndNaturalOrder) {
    testsupport::temp_dir dir;
    sysfs_tree t(dir.path());
    typical_machine(t);
    EXPECT_EQ(scan(dir.path()), typical_listing);
}

// A full table keeps the USB adapters, then the first other ports in
// natural order, and stays in natural order.
TEST(RegistrySysfs, FullTableKeepsAdaptersThenTheFirstInOrder) {
    testsupport::temp_dir dir;
    sysfs_tree t(dir.path());
    typical_machine(t);
    const std::vector<entry> four = {
        {"usbmodem141", "/dev/ttyACM0"},
        {"ttyS0", "/dev/ttyS0"},
        {"usbserial-00001234", "/dev/ttyUSB2"},
        {"usbserial-A1000", "/dev/ttyUSB10"},
    };
    EXPECT_EQ(scan(dir.path(), 4), four);
    const std::vector<entry> two = {
        {"usbserial-00001234", "/dev/ttyUSB2"},
        {"usbserial-A1000", "/dev/ttyUSB10"},
    };
    EXPECT_EQ(scan(dir.path(), 2), two);
}

// More on-board ports than the listing holds do not hide an adapter.
TEST(RegistrySysfs, ManyPortsDoNotPushOutTheAdapter) {
    testsupport::temp_dir dir;
    sysfs_tree t(dir.path());
    for (int i = 0; i < registry_system_max + 6; i++)
        t.tty("devices/platform/serial8250", "ttyS" + std::to_string(i));
    t.usb_device(hub + "/1-2", "0000ABCD");
    t.tty(hub + "/1-2/1-2:1.0/ttyUSB0", "ttyUSB0");
    std::vector<entry> got = scan(dir.path());
    ASSERT_EQ(got.size(), (size_t)registry_system_max);
    EXPECT_EQ(got.back(), (entry{"usbserial-0000ABCD", "/dev/ttyUSB0"}));
    EXPECT_EQ(got[registry_system_max - 2], (entry{"ttyS62", "/dev/ttyS62"}));
}

TEST(RegistrySysfs, KernelNamesSortNaturally) {
    struct row {
        std::vector<std::string> names;
        std::vector<std::string> sorted;
    };
    static const row rows[] = {
        {{"ttyUSB10", "ttyUSB2", "ttyUSB1"}, {"ttyUSB1", "ttyUSB2", "ttyUSB10"}},
        {{"ttyS10", "ttyUSB0", "ttyS9", "ttyACM0"}, {"ttyACM0", "ttyS9", "ttyS10", "ttyUSB0"}},
        {{"ttyS100", "ttyS20", "ttyS3", "ttyS0"}, {"ttyS0", "ttyS3", "ttyS20", "ttyS100"}},
        {{"rfcomm1", "ttyAMA1", "ttyAMA0", "rfcomm0"}, {"rfcomm0", "rfcomm1", "ttyAMA0", "ttyAMA1"}},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        testsupport::temp_dir dir;
        sysfs_tree t(dir.path());
        std::vector<entry> want;
        for (const std::string &name : rows[i].names)
            t.tty("devices/platform/port-" + name, name);
        for (const std::string &name : rows[i].sorted)
            want.push_back({name, "/dev/" + name});
        EXPECT_EQ(scan(dir.path()), want);
    }
}

TEST(RegistrySysfs, SerialNumberTooLongForANameLeavesNoName) {
    struct row {
        size_t serial_length;
        bool has_name;
    };
    // "usbserial-" and the serial number must fit 127 characters.
    static const row rows[] = {{1, true}, {117, true}, {118, false}, {300, false}};
    for (const row &r : rows) {
        SCOPED_TRACE(r.serial_length);
        testsupport::temp_dir dir;
        sysfs_tree t(dir.path());
        std::string serial(r.serial_length, 'S');
        t.usb_device(hub + "/1-1", serial.c_str());
        t.tty(hub + "/1-1/1-1:1.0/ttyUSB0", "ttyUSB0");
        std::vector<entry> want = {
            {r.has_name ? "usbserial-" + serial : "", "/dev/ttyUSB0", r.has_name, true}};
        EXPECT_EQ(scan(dir.path()), want);
    }
}

TEST(RegistrySysfs, UnreadableOrEmptyClassDirectory) {
    testsupport::temp_dir dir;
    registry_device_t table[1];
    EXPECT_EQ(registry_scan_sysfs(dir.file("missing").c_str(), table, 1), -1);
    fs::create_directories(dir.file("class/tty"));
    EXPECT_EQ(registry_scan_sysfs(dir.path().c_str(), table, 1), 0);
}

class HostList : public ::testing::Test {
protected:
    testsupport::temp_dir dir;
    void SetUp() override {
        sysfs_tree t(dir.path());
        typical_machine(t);
        ASSERT_EQ(registry_set_sysfs_root(dir.path().c_str()), 0);
    }
    void TearDown() override {
        serial_registry_set(nullptr, nullptr, 0);
        registry_set_sysfs_root(nullptr);
    }
};

TEST_F(HostList, ReplacesTheSystemListingInOrderAndCountZeroRestoresIt) {
    EXPECT_EQ(current_listing(), typical_listing);
    char name0[] = "usbserial-0000AAAA";
    char path0[] = "/dev/pts/7";
    const char *names[] = {name0, nullptr, "ttyS4"};
    const char *paths[] = {path0, "/dev/pts/8", nullptr};
    ASSERT_EQ(serial_registry_set(names, paths, 3), 0);
    // The texts were copied: changing the caller's buffers changes nothing.
    name0[0] = 'X';
    path0[1] = 'X';
    const std::vector<entry> want = {
        {"usbserial-0000AAAA", "/dev/pts/7"}, {"", "/dev/pts/8", false, true}, {"ttyS4", "", true, false}};
    EXPECT_EQ(current_listing(), want);

    EXPECT_EQ(serial_registry_set(nullptr, nullptr, 0), 0);
    EXPECT_EQ(current_listing(), typical_listing);
}

TEST_F(HostList, LongestTextsAndMostDevicesAreAccepted) {
    std::string name(127, 'n'), path(1023, 'p');
    std::vector<const char *> names(16, name.c_str()), paths(16, path.c_str());
    ASSERT_EQ(serial_registry_set(names.data(), paths.data(), 16), 0);
    std::vector<entry> got = current_listing();
    ASSERT_EQ(got.size(), 16u);
    EXPECT_EQ(got[15], (entry{name, path}));
}

TEST_F(HostList, BadArgumentsAreRejectedAndChangeNothing) {
    const char *good_names[] = {"usbserial-00000001"};
    const char *good_paths[] = {"/dev/pts/3"};
    ASSERT_EQ(serial_registry_set(good_names, good_paths, 1), 0);
    const std::vector<entry> before = current_listing();

    const std::string long_name(128, 'n'), long_path(1024, 'p');
    std::vector<const char *> names(17, "usbserial-00000002"), paths(17, "/dev/pts/4");
    std::vector<const char *> names_long_last(3, "a"), paths_long_last(3, "/dev/b");
    names_long_last[2] = long_name.c_str();
    std::vector<const char *> paths_long(2, long_path.c_str());
    struct row {
        const char *what;
        const char *const *ttynames;
        const char *const *paths;
        int count;
    };
    const row rows[] = {
        {"negative count", names.data(), paths.data(), -1},
        {"more than 16", names.data(), paths.data(), 17},
        {"null names", nullptr, paths.data(), 1},
        {"null paths", names.data(), nullptr, 1},
        {"both null", nullptr, nullptr, 2},
        {"name of 128 characters last", names_long_last.data(), paths_long_last.data(), 3},
        {"path of 1024 characters", names.data(), paths_long.data(), 2},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(serial_registry_set(r.ttynames, r.paths, r.count), -1);
        EXPECT_EQ(current_listing(), before);
    }
}

TEST_F(HostList, ListingTakenIsKeptWhileTheHostListChanges) {
    const char *names[] = {"a", "b"};
    const char *paths[] = {"/dev/a", "/dev/b"};
    ASSERT_EQ(serial_registry_set(names, paths, 2), 0);
    registry_iter_t it;
    ASSERT_EQ(registry_open(&it), 0);
    const registry_device_t *first = registry_next(&it);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->name, "a");
    ASSERT_EQ(serial_registry_set(nullptr, nullptr, 0), 0);
    const registry_device_t *second = registry_next(&it);
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->path, "/dev/b");
    EXPECT_EQ(registry_next(&it), nullptr);
}

TEST_F(HostList, TooLongSysfsRootIsRefused) {
    std::string root(1024, 'r');
    EXPECT_EQ(registry_set_sysfs_root(root.c_str()), -1);
    EXPECT_EQ(current_listing(), typical_listing);
}

} // namespace
