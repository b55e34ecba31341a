// The whole reader road through libkestrel.so's exported functions, against
// the reader simulator on real pseudo-terminals: activation, polling, scan
// fetch, failures on the line, reader_find, calibration and stop.
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kestrel/kestrel.h"
#include "readersim.h"
#include "support.h"

namespace {

using clock_type = std::chrono::steady_clock;

// What the host's callbacks saw.
struct scan_event {
    int count;
    bool null_buf;
    std::vector<uint8_t> samples;
};
std::vector<scan_event> events;
std::vector<std::string> lines;
int poll_inside_callback = 0; // result of a reader_poll made from the callback
bool poll_from_callback = false;
bool restart_from_callback = false;

int keep_line(const char *line) {
    lines.push_back(line);
    return 0;
}

int keep_scan(unsigned char *buf, int count) {
    scan_event e{count, buf == nullptr, {}};
    if (buf && count > 0)
        e.samples.assign(buf, buf + count);
    events.push_back(e);
    if (poll_from_callback && count > 0)
        poll_inside_callback = reader_poll();
    if (restart_from_callback && count > 0)
        reader_start(keep_scan);
    return 0;
}

// Polls until `n` callback events have arrived or the bound passes.
bool poll_for_events(size_t n, double seconds = 6.0) {
    auto end = clock_type::now() + std::chrono::duration<double>(seconds);
    while (events.size() < n && clock_type::now() < end) {
        reader_poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return events.size() >= n;
}

void poll_for(double seconds) {
    auto end = clock_type::now() + std::chrono::duration<double>(seconds);
    while (clock_type::now() < end) {
        reader_poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

class Control : public testing::Test {
protected:
    void SetUp() override {
        events.clear();
        lines.clear();
        poll_from_callback = false;
        restart_from_callback = false;
        reader_stop();
    }
    void TearDown() override {
        reader_stop();
        serial_registry_set(nullptr, nullptr, 0);
    }

    // Starts simulators and hands their paths to the library as USB adapters.
    void attach(std::vector<readersim::config> cfgs) {
        sims.clear();
        names.clear();
        paths.clear();
        for (size_t i = 0; i < cfgs.size(); i++) {
            sims.emplace_back(std::make_unique<readersim::simulator>());
            ASSERT_TRUE(sims.back()->start(cfgs[i]));
            names.push_back("usbserial-0000" + std::to_string(1000 + i));
            paths.push_back(sims.back()->path());
        }
        std::vector<const char *> n, p;
        for (size_t i = 0; i < names.size(); i++) {
            n.push_back(names[i].c_str());
            p.push_back(paths[i].c_str());
        }
        ASSERT_EQ(serial_registry_set(n.data(), p.data(), (int)n.size()), 0);
    }

    // Enumerates (filling the path slots) and activates reader `index`.
    int activate(int index, int flags = 0, const std::string &calfile = "") {
        EXPECT_EQ(reader_enumerate(nullptr, nullptr, nullptr, 0), (int)sims.size());
        int r = reader_activate(keep_line, calfile.empty() ? nullptr : calfile.c_str(), nullptr,
                                0x100 + index, flags);
        // The start command is on its way; let the simulator record it.
        if (r == RDR_OK && !(flags & READER_FLAG_NOSTART)) {
            EXPECT_TRUE(sims[index]->wait_for('l'));
        }
        return r;
    }

    readersim::simulator &sim(size_t i = 0) { return *sims[i]; }

    std::vector<std::unique_ptr<readersim::simulator>> sims;
    std::vector<std::string> names, paths;
    testsupport::temp_dir tmp;
};

std::vector<uint8_t> counting_frame() {
    std::vector<uint8_t> f(readersim::frame_bytes);
    for (size_t k = 0; k < f.size(); k++)
        f[k] = (uint8_t)k;
    return f;
}

TEST_F(Control, AnnouncedScanDeliversOddBytesThenEnd) {
    readersim::config cfg;
    cfg.frame = counting_frame();
    ASSERT_NO_FATAL_FAILURE(attach({cfg}));
    ASSERT_EQ(activate(0), RDR_OK);
    ASSERT_EQ(reader_start(keep_scan), RDR_OK);
    sim().announce();
    ASSERT_TRUE(poll_for_events(2));
    ASSERT_EQ(events[0].count, 2048);
    for (int i = 0; i < 2048; i++)
        ASSERT_EQ(events[0].samples[i], (uint8_t)(2 * i + 1)) << i;
    EXPECT_EQ(events[1].count, 0);
    EXPECT_EQ(sim().received_text(), "nonls"); // probe "n" "o", activation "n" "l", scan request "s"
}

TEST_F(Control, ProfileSamplesArrive) {
    readersim::config cfg;
    cfg.prof.noise = 3;
    ASSERT_NO_FATAL_FAILURE(attach({cfg}));
    ASSERT_EQ(activate(0), RDR_OK);
    reader_start(keep_scan);
    ASSERT_EQ(reader_getscan(), RDR_OK); // no announcement needed
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].samples, readersim::make_samples(cfg.prof));
}

TEST_F(Control, StrayBytesAndLateAnnouncement) {
    ASSERT_NO_FATAL_FAILURE(attach({readersim::config{}}));
    ASSERT_EQ(activate(0), RDR_OK);
    reader_start(keep_scan);
    sim().send({'x', 'y', '!'});
    ASSERT_TRUE(sim().wait_unread(3));
    // Each poll consumes one byte: two polls see only stray bytes.
    reader_poll();
    reader_poll();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(sim().received_text().find('s'), std::string::npos);
    reader_poll();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].count, 2048);
}

TEST_F(Control, CutFrameGivesOneFailureThenNextScanWorks) {
    readersim::config cfg;
    cfg.frame_cut = 3000;
    ASSERT_NO_FATAL_FAILURE(attach({cfg}));
    ASSERT_EQ(activate(0), RDR_OK);
    reader_start(keep_scan);
    sim().announce();
    auto t0 = clock_type::now();
    ASSERT_TRUE(poll_for_events(1));
    double waited = std::chrono::duration<double>(clock_type::now() - t0).count();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].count, -2);
    EXPECT_GT(waited, 0.9); // the transport waits out a second of silence
    cfg.frame_cut = -1;
    sim().set_config(cfg);
    sim().announce();
    ASSERT_TRUE(poll_for_events(3));
    EXPECT_EQ(events[1].count, 2048);
    EXPECT_EQ(events[2].count, 0);
}

TEST_F(Control, HangupWhilePollingReportsFailedRead) {
    ASSERT_NO_FATAL_FAILURE(attach({readersim::config{}}));
    ASSERT_EQ(activate(0), RDR_OK);
    reader_start(keep_scan);
    poll_for(0.05);
    EXPECT_TRUE(events.empty()); // an idle line reports nothing
    sim().hangup();
    ASSERT_TRUE(poll_for_events(1));
    EXPECT_EQ(events[0].count, -1);
    EXPECT_TRUE(events[0].null_buf);
}

TEST_F(Control, PollFromInsideCallbackIsRefused) {
    ASSERT_NO_FATAL_FAILURE(attach({readersim::config{}}));
    ASSERT_EQ(activate(0), RDR_OK);
    reader_start(keep_scan);
    poll_from_callback = true;
    sim().announce();
    ASSERT_TRUE(poll_for_events(2));
    EXPECT_EQ(poll_inside_callback, RDR_REENTERED);
    poll_from_callback = false;
    sim().announce();
    ASSERT_TRUE(poll_for_events(4));
    EXPECT_EQ(events[2].count, 2048);
    EXPECT_EQ(sim().frames_sent(), 2);
}

// reader_start resets the poll depth; called from inside a poll's callback
// it must not leave every later poll refused.
TEST_F(Control, StartFromInsideCallbackKeepsPollingWorking) {
    ASSERT_NO_FATAL_FAILURE(attach({readersim::config{}}));
    ASSERT_EQ(activate(0), RDR_OK);
    reader_start(keep_scan);
    restart_from_callback = true;
    sim().announce();
    ASSERT_TRUE(poll_for_events(2));
    restart_from_callback = false;
    EXPECT_EQ(reader_poll(), RDR_OK);
    sim().announce();
    ASSERT_TRUE(poll_for_events(4));
    EXPECT_EQ(events[2].count, 2048);
}

TEST_F(Control, NoStartFlagSkipsStartAndMarksWavelength) {
    readersim::config cfg;
    cfg.id.serial = 0x1A2B;
    ASSERT_NO_FATAL_FAILURE(attach({cfg}));
    // A calibration for this reader at 660 nm must not apply: the wavelength is unknown.
    std::string calfile = tmp.file("cal.txt");
    testsupport::write_file(calfile,
                            "calib.1a2b:660=003e,e5bc 0.050000,0.850000 Fri Dec 11 10:00:00 2026 \n");
    sim().clear_received();
    ASSERT_EQ(activate(0, READER_FLAG_NOSTART, calfile), RDR_OK);
    EXPECT_EQ(sim().received_text(), "non"); // probe "n", "o"; activation "n" only
    readerinfo_t info;
    ASSERT_EQ(reader_info(&info), RDR_OK);
    EXPECT_EQ(info.Wavelength, 0xFFFF);
    EXPECT_EQ(info.calmin, info.admin);
    EXPECT_EQ(info.calmax, info.admax);
}

TEST_F(Control, CalibrationFileAppliesOnActivation) {
    readersim::config cfg;
    cfg.id.serial = 0x1A2B;
    ASSERT_NO_FATAL_FAILURE(attach({cfg}));
    std::string calfile = tmp.file("cal.txt");
    testsupport::write_file(calfile,
                            "calib.1a2b:660=003e,e5bc 0.050000,0.850000 Fri Dec 11 10:00:00 2026 \n");
    ASSERT_EQ(activate(0, 0, calfile), RDR_OK);
    readerinfo_t info;
    ASSERT_EQ(reader_info(&info), RDR_OK);
    EXPECT_EQ(info.calmin, 0x003e);
    EXPECT_EQ(info.calmax, 0xe5bc);
    EXPECT_NE(info.lastcal, -1);
}

TEST_F(Control, SilentReaderFailsActivation) {
    readersim::config cfg;
    cfg.silent = true;
    ASSERT_NO_FATAL_FAILURE(attach({cfg}));
    // Discovery does not report it, but its path stays in slot 0.
    EXPECT_EQ(reader_enumerate(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(reader_activate(keep_line, nullptr, nullptr, 0x100, 0), RDR_READ_FAILED);
    EXPECT_EQ(lines.back(), "Reader not activated: error -201");
    EXPECT_EQ(reader_info(nullptr), RDR_NO_RECORD);
}

TEST_F(Control, BadChecksumLeavesCurrentRecord) {
    readersim::config good, bad;
    bad.id.bad_checksum = true;
    ASSERT_NO_FATAL_FAILURE(attach({good, bad}));
    // The bad reader is probed last and keeps its path in slot 1.
    EXPECT_EQ(reader_enumerate(nullptr, nullptr, nullptr, 0), 1);
    ASSERT_EQ(usb_activate(nullptr, 0, 0), RDR_OK);
    readerinfo_t *before = current_info;
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(usb_activate(nullptr, 1, 0), RDR_BAD_CHECKSUM);
    EXPECT_EQ(current_info, before);
}

TEST_F(Control, ActivatingAnotherReaderStopsTheActiveOne) {
    readersim::config a, b;
    a.id.serial = 0x0A0A;
    b.id.serial = 0x0B0B;
    ASSERT_NO_FATAL_FAILURE(attach({a, b}));
    ASSERT_EQ(activate(1), RDR_OK);
    EXPECT_EQ(usb_info[1].SerialNumber, 0x0B0B);
    sim(1).clear_received();
    ASSERT_EQ(reader_activate(nullptr, nullptr, nullptr, 0x100, 0), RDR_OK);
    EXPECT_EQ(sim(1).received_text(), "o");
    EXPECT_EQ(usb_info[1].SerialNumber, 0); // cleared by the stop
    EXPECT_EQ(usb_info[1].ProgChecksum, 0xFFFF);
    EXPECT_EQ(current_info, &usb_info[0]);
    EXPECT_EQ(current_info->SerialNumber, 0x0A0A);
}

TEST_F(Control, FindWithoutReader) {
    serial_registry_set(nullptr, nullptr, 0);
    const char *none_name[] = {"ttyS0"};
    const char *none_path[] = {"/nonexistent/ttyS0"};
    ASSERT_EQ(serial_registry_set(none_name, none_path, 1), 0);
    EXPECT_EQ(reader_find(keep_line, nullptr, nullptr, 0), RDR_NONE_FOUND);
    EXPECT_EQ(lines.back(), "0 readers found!");
    EXPECT_EQ(reader_info(nullptr), RDR_NO_RECORD);
    EXPECT_EQ(reader_find(nullptr, nullptr, nullptr, 0), RDR_NONE_FOUND);
}

TEST_F(Control, WholeRoadAsAHost) {
    readersim::config cfg;
    cfg.id.serial = 0x1A2B;
    ASSERT_NO_FATAL_FAILURE(attach({cfg}));
    std::string calfile = tmp.file("cal.txt"), inifile = tmp.file("host.ini");
    testsupport::write_file(calfile,
                            "# bench calibrations\n"
                            "calib.1a2b:660=0100,f000 0.000000,1.000000 Thu Dec 10 09:00:00 2026 first\n");
    ASSERT_EQ(reader_find(keep_line, calfile.c_str(), inifile.c_str(), 0), RDR_OK);
    const std::vector<std::string> transcript = {
        "Previous ID: -1",
        "Searching for readers...",
        "Serial stream name: usbserial-00001000",
        " Path matched!",
        "BSD path 0: " + paths[0],
        "Got info for reader 1a2b",
        "256: '" + paths[0] + "' (1A2B)",
        "1 reader found!",
        "Activating reader 256:",
        "   Calibration: '" + calfile + "'",
        "   Settings   : '" + inifile + "'",
        " Opening USB...",
        " Found USB reader",
        "Reader 1A2B activated!",
    };
    EXPECT_EQ(lines, transcript);

    readerinfo_t info;
    ASSERT_EQ(reader_info(&info), RDR_OK);
    EXPECT_EQ(info.calmin, 0x0100);
    EXPECT_EQ(info.calmax, 0xF000);

    ASSERT_EQ(reader_start(keep_scan), RDR_OK);
    for (int scan = 1; scan <= 3; scan++) {
        sim().announce();
        ASSERT_TRUE(poll_for_events(2 * scan)) << scan;
    }
    for (const scan_event &e : events)
        EXPECT_TRUE(e.count == 2048 || e.count == 0);

    ASSERT_EQ(reader_calib(4000, 60000, 0.0f, 1.0f, calfile.c_str(), 1700000000, "bench"), RDR_OK);
    ASSERT_EQ(reader_info(&info), RDR_OK);
    EXPECT_EQ(info.calmin, 4000);
    EXPECT_EQ(info.calmax, 60000);
    EXPECT_EQ(info.lastcal, 1700000000);
    std::string saved = testsupport::read_file(calfile);
    EXPECT_EQ(saved.rfind("calib.1a2b:660=0fa0,ea60 0.000000,1.000000 ", 0), 0u) << saved;

    sim().clear_received();
    EXPECT_EQ(reader_stop(), RDR_OK);
    EXPECT_TRUE(sim().wait_for('o'));
    EXPECT_EQ(reader_info(&info), RDR_NO_RECORD);
    EXPECT_EQ(lines.size(), transcript.size()); // calibrating and stopping print nothing
}

TEST_F(Control, UnsupportedUsbOperationsSendNothing) {
    ASSERT_NO_FATAL_FAILURE(attach({readersim::config{}}));
    ASSERT_EQ(activate(0), RDR_OK);
    sim().clear_received();
    EXPECT_EQ(reader_turboboost(1), RDR_UNSUPPORTED);
    EXPECT_EQ(reader_turboboost(0), RDR_UNSUPPORTED);
    EXPECT_EQ(reader_getscan8bits(), RDR_UNSUPPORTED);
    // The line keeps order: once the stop command has arrived, anything the
    // calls above had sent would have arrived before it.
    EXPECT_EQ(reader_stop(), RDR_OK);
    ASSERT_TRUE(sim().wait_for('o'));
    EXPECT_EQ(sim().received_text(), "o");
}

} // namespace
