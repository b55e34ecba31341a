// Reader discovery over host-given device lists that point at reader
// simulators: which devices are probed, what is reported, what is said.
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "kestrel/kestrel.h"
#include "support.h"
#include "usb/registry/registry.h"
#include "usb/transport.h"
#include "usb_support.h"

namespace {

using usbtest::start_sim;

std::vector<std::string> lines;
struct report {
    int id;
    std::string portname;
    readerinfo_t info;
};
std::vector<report> reports;
int found_result;

int record_line(const char *line) {
    lines.push_back(line);
    return 0;
}

int record_reader(int id, const char *portname, const readerinfo_t *info) {
    reports.push_back({id, portname, *info});
    return found_result;
}

const char no_response[] = ". Vantrel requires firmware version 0206 or higher";

class Discovery : public ::testing::Test {
protected:
    std::vector<std::unique_ptr<readersim::simulator>> sims;

    void SetUp() override {
        lines.clear();
        reports.clear();
        found_result = 0;
        memset(bsdPaths, 0, sizeof bsdPaths);
    }
    void TearDown() override {
        serial_registry_set(nullptr, nullptr, 0);
        registry_set_sysfs_root(nullptr);
        reader_usb_close();
    }
    // Starts one simulator per configuration, each with serial number
    // 0x1000 + its position unless the configuration says otherwise.
    void start(std::vector<readersim::config> cfgs) {
        for (size_t i = 0; i < cfgs.size(); i++) {
            if (cfgs[i].id.serial == readersim::identity{}.serial)
                cfgs[i].id.serial = (uint16_t)(0x1000 + i);
            sims.push_back(std::make_unique<readersim::simulator>());
            ASSERT_NO_FATAL_FAILURE(start_sim(*sims.back(), cfgs[i]));
        }
    }
    std::string path(int i) const { return sims[i]->path(); }
    // Lists the simulators with the given TTY names (null: no name).
    void list(const std::vector<const char *> &names) {
        std::vector<const char *> paths;
        for (size_t i = 0; i < names.size(); i++)
            paths.push_back(sims[i]->path().c_str());
        ASSERT_EQ(serial_registry_set(names.data(), paths.data(), (int)names.size()), 0);
    }
    // The lines of one probed candidate that answered.
    std::vector<std::string> reader_lines(const char *name, int slot, int i, unsigned serial) const {
        char got[64];
        snprintf(got, sizeof got, "Got info for reader %04x", serial);
        std::vector<std::string> out;
        if (name != nullptr) {
            out.push_back(std::string("Serial stream name: ") + name);
            out.push_back(" Path matched!");
        }
        out.push_back("BSD path " + std::to_string(slot) + ": " + path(i));
        out.push_back(got);
        return out;
    }
    // The stop command reached simulator i after the information request.
    void expect_probed(int i) const {
        EXPECT_TRUE(sims[i]->wait_for('o')) << "simulator " << i;
        EXPECT_EQ(sims[i]->received_text(), "no") << "simulator " << i;
    }
    void expect_untouched(int i) const {
        EXPECT_FALSE(sims[i]->wait_for('n', 1, 0.3)) << "simulator " << i;
        EXPECT_TRUE(sims[i]->received().empty()) << "simulator " << i;
    }
};

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(Discovery, NoDeviceFindsNothingAndSaysNothing) {
    testsupport::temp_dir dir;
    ASSERT_EQ(mkdir(dir.file("class").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir.file("class/tty").c_str(), 0700), 0);
    // An empty system listing, and one that cannot be read at all.
    const std::string roots[] = {dir.path(), dir.file("missing")};
    for (const std::string &root : roots) {
        SCOPED_TRACE(root);
        ASSERT_EQ(registry_set_sysfs_root(root.c_str()), 0);
        EXPECT_EQ(usb_enumerate(record_line, record_reader), 0);
        EXPECT_TRUE(lines.empty());
        EXPECT_TRUE(reports.empty());
    }
}

TEST_F(Discovery, OtherAdapterIsNamedButNeverOpened) {
    ASSERT_NO_FATAL_FAILURE(start({{}}));
    ASSERT_NO_FATAL_FAILURE(list({"usbserial-A1000"}));
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 0);
    EXPECT_EQ(lines, std::vector<std::string>{"Serial stream name: usbserial-A1000"});
    EXPECT_TRUE(reports.empty());
    expect_untouched(0);
}

TEST_F(Discovery, MatchingAdapterIsProbedAndReported) {
    readersim::config cfg;
    cfg.id.serial = 0xBEAD;
    cfg.id.firmware = 0x0206;
    ASSERT_NO_FATAL_FAILURE(start({cfg}));
    ASSERT_NO_FATAL_FAILURE(list({"usbserial-00001234"}));
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 1);
    EXPECT_EQ(lines, reader_lines("usbserial-00001234", 0, 0, 0xBEAD));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].id, 256);
    EXPECT_EQ(reports[0].portname, path(0));
    EXPECT_EQ(reports[0].info.SerialNumber, 0xBEAD);
    EXPECT_EQ(reports[0].info.FirmwareVers, 0x0206);
    EXPECT_EQ(reports[0].info.lastcal, -1);
    EXPECT_EQ(reports[0].info.factorycal_user[0], '\0');
    expect_probed(0);
    EXPECT_EQ(fileDescriptor, -1);
}

// The whole prefix "usbserial-0000" must match, case and all: a name that
// shares its first 13 characters but not the 14th is another adapter, and
// so is the 13-character prefix alone.
TEST_F(Discovery, NamePrefixMustMatchWhole) {
    const std::vector<const char *> names = {"usbserial-0001234", "usbserial-000", "USBSERIAL-00001234",
                                             "usbserial-00x01234", "usbserial-0000"};
    ASSERT_NO_FATAL_FAILURE(start({{}, {}, {}, {}, {}}));
    ASSERT_NO_FATAL_FAILURE(list(names));
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 1);
    std::vector<std::string> want;
    for (size_t i = 0; i + 1 < names.size(); i++)
        want.push_back(std::string("Serial stream name: ") + names[i]);
    want = concat({want, reader_lines("usbserial-0000", 0, 4, 0x1004)});
    EXPECT_EQ(lines, want);
    for (int i = 0; i < 4; i++)
        expect_untouched(i);
    expect_probed(4);
}

TEST_F(Discovery, DeviceWithoutTtyNameIsProbed) {
    ASSERT_NO_FATAL_FAILURE(start({{}}));
    ASSERT_NO_FATAL_FAILURE(list({nullptr}));
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 1);
    EXPECT_EQ(lines, reader_lines(nullptr, 0, 0, 0x1000));
    expect_probed(0);
}

TEST_F(Discovery, DeviceWithoutPathOrUnopenableIsSkipped) {
    ASSERT_NO_FATAL_FAILURE(start({{}}));
    const char *names[] = {"usbserial-00000001", "usbserial-00000002", "usbserial-00000003"};
    const char *paths[] = {nullptr, "/nonexistent/tty", sims[0]->path().c_str()};
    ASSERT_EQ(serial_registry_set(names, paths, 3), 0);
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 1);
    EXPECT_EQ(lines, concat({{"Serial stream name: usbserial-00000001", " Path matched!",
                              "Serial stream name: usbserial-00000002", " Path matched!",
                              "BSD path 0: /nonexistent/tty"},
                             reader_lines("usbserial-00000003", 0, 0, 0x1000)}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].id, 256);
    EXPECT_EQ(reports[0].portname, path(0));
}

TEST_F(Discovery, SilentDeviceIsStoppedAndItsSlotReused) {
    readersim::config silent;
    silent.silent = true;
    ASSERT_NO_FATAL_FAILURE(start({silent, {}}));
    ASSERT_NO_FATAL_FAILURE(list({"usbserial-00000001", "usbserial-00000002"}));
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 1);
    EXPECT_EQ(lines, concat({{"Serial stream name: usbserial-00000001", " Path matched!",
                              "BSD path 0: " + path(0), "No response from " + path(0) + no_response},
                             reader_lines("usbserial-00000002", 0, 1, 0x1001)}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].id, 256);
    EXPECT_EQ(reports[0].portname, path(1));
    expect_probed(0);
    expect_probed(1);
}

TEST_F(Discovery, BadChecksumSkipsTheDeviceSilently) {
    readersim::config bad;
    bad.id.bad_checksum = true;
    ASSERT_NO_FATAL_FAILURE(start({bad, {}}));
    ASSERT_NO_FATAL_FAILURE(list({"usbserial-00000001", "usbserial-00000002"}));
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 1);
    EXPECT_EQ(lines,
              concat({{"Serial stream name: usbserial-00000001", " Path matched!", "BSD path 0: " + path(0)},
                      reader_lines("usbserial-00000002", 0, 1, 0x1001)}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].portname, path(1));
    expect_probed(0);
    expect_probed(1);
}

TEST_F(Discovery, TwoReadersGetConsecutiveIdsAndSlots) {
    ASSERT_NO_FATAL_FAILURE(start({{}, {}}));
    ASSERT_NO_FATAL_FAILURE(list({"usbserial-00000001", "usbserial-00000002"}));
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 2);
    EXPECT_EQ(lines, concat({reader_lines("usbserial-00000001", 0, 0, 0x1000),
                             reader_lines("usbserial-00000002", 1, 1, 0x1001)}));
    ASSERT_EQ(reports.size(), 2u);
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reports[i].id, 256 + i);
        EXPECT_EQ(reports[i].portname, path(i));
        EXPECT_EQ(reports[i].info.SerialNumber, 0x1000 + i);
        EXPECT_STREQ(bsdPaths[i], path(i).c_str());
        expect_probed(i);
    }
}

TEST_F(Discovery, FifthReaderIsNeverTaken) {
    ASSERT_NO_FATAL_FAILURE(start({{}, {}, {}, {}, {}}));
    ASSERT_NO_FATAL_FAILURE(list({"usbserial-00000001", "usbserial-00000002", "usbserial-00000003",
                                  "usbserial-00000004", "usbserial-00000005"}));
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 4);
    ASSERT_EQ(reports.size(), 4u);
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reports[i].id, 256 + i);
        EXPECT_EQ(reports[i].portname, path(i));
        expect_probed(i);
    }
    for (const std::string &line : lines)
        EXPECT_EQ(line.find("usbserial-00000005"), std::string::npos) << line;
    EXPECT_EQ(lines.size(), 16u);
    expect_untouched(4);
}

TEST_F(Discovery, CallbackAskingToStopEndsAfterThatReader) {
    ASSERT_NO_FATAL_FAILURE(start({{}, {}}));
    ASSERT_NO_FATAL_FAILURE(list({"usbserial-00000001", "usbserial-00000002"}));
    found_result = 1;
    EXPECT_EQ(usb_enumerate(record_line, record_reader), 1);
    EXPECT_EQ(lines, reader_lines("usbserial-00000001", 0, 0, 0x1000));
    ASSERT_EQ(reports.size(), 1u);
    expect_probed(0);
    expect_untouched(1);
    EXPECT_EQ(fileDescriptor, -1);
}

TEST_F(Discovery, NullCallbacksStillProbeAndCount) {
    ASSERT_NO_FATAL_FAILURE(start({{}, {}}));
    ASSERT_NO_FATAL_FAILURE(list({"usbserial-00000001", "usbserial-00000002"}));
    EXPECT_EQ(usb_enumerate(nullptr, nullptr), 2);
    expect_probed(0);
    expect_probed(1);
}

} // namespace
