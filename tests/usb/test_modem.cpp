// USB modems (CDC-ACM, ttyACM*) in the system listing: named "usbmodem" and
// their USB location, never as a USB serial adapter, so discovery never
// probes a modem or a microcontroller board, whatever its serial number.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kestrel/kestrel.h"
#include "support.h"
#include "usb/registry/registry.h"

namespace {

namespace fs = std::filesystem;

const std::string hub = "devices/pci0000:00/0000:00:14.0/usb1";

// A sysfs tree with one modem: the tty ttyACM0 under the USB interface
// directory iface of the USB device usbdev, which has a serial number.
void modem_tree(const std::string &root, const std::string &usbdev, const std::string &iface) {
    const std::string ttydir = hub + "/" + usbdev + "/" + iface + "/tty/ttyACM0";
    fs::create_directories(root + "/" + ttydir);
    fs::create_directories(root + "/class/tty");
    testsupport::write_file(root + "/" + hub + "/" + usbdev + "/idVendor", "2341\n");
    testsupport::write_file(root + "/" + hub + "/" + usbdev + "/serial", "00001234\n");
    fs::create_directory_symlink("../..", root + "/" + ttydir + "/device");
    fs::create_directory_symlink("../../" + ttydir, root + "/class/tty/ttyACM0");
}

class Modem : public ::testing::Test {
protected:
    void TearDown() override { registry_set_sysfs_root(nullptr); }
};

// The location digits: bus, each port, interface number plus one, in hex.
TEST_F(Modem, NamedAfterItsUsbLocation) {
    struct row {
        const char *usbdev, *iface, *name;
    };
    const row rows[] = {
        {"1-4", "1-4:1.0", "usbmodem141"},
        {"1-4.2", "1-4.2:1.0", "usbmodem1421"},
        {"3-1.10.2", "3-1.10.2:1.2", "usbmodem31a23"},
        {"2-11", "2-11:2.0", "usbmodem2b1"},
        // Not a USB interface's name: the kernel name stays.
        {"1-4", "port", "ttyACM0"},
        {"1-4", "1-4:1", "ttyACM0"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE("row " + std::to_string(i) + ": " + rows[i].iface);
        testsupport::temp_dir dir;
        modem_tree(dir.path(), rows[i].usbdev, rows[i].iface);
        registry_device_t table[4];
        ASSERT_EQ(registry_scan_sysfs(dir.path().c_str(), table, 4), 1);
        EXPECT_TRUE(table[0].has_name);
        EXPECT_STREQ(table[0].name, rows[i].name);
        EXPECT_STREQ(table[0].path, "/dev/ttyACM0");
    }
}

std::vector<std::string> lines;

int record_line(const char *line) {
    lines.push_back(line);
    return 0;
}

// A board whose serial number begins with 0000 is named and passed over:
// no path is recorded and nothing is opened.
TEST_F(Modem, DiscoveryNeverProbesAModem) {
    testsupport::temp_dir dir;
    modem_tree(dir.path(), "1-4", "1-4:1.0");
    ASSERT_EQ(registry_set_sysfs_root(dir.path().c_str()), 0);
    lines.clear();
    EXPECT_EQ(usb_enumerate(record_line, nullptr), 0);
    EXPECT_EQ(lines, std::vector<std::string>{"Serial stream name: usbmodem141"});
}

} // namespace
