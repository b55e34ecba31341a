// The simulator on real pseudo-terminals: what it answers, how it paces,
// its deliberate faults, the hang-up, and what it records.
#include "readersim.h"
#include "terminal.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <thread>

using simtest::terminal;

namespace {

// A started simulator with the terminal side open.
struct line {
    readersim::simulator sim;
    std::unique_ptr<terminal> term;
    explicit line(const readersim::config &cfg = readersim::config()) {
        if (sim.start(cfg))
            term = std::make_unique<terminal>(sim.path());
    }
    bool ok() const { return term && term->is_open(); }
};

uint16_t le16(const std::vector<uint8_t> &b, int at) { return (uint16_t)(b[at] | b[at + 1] << 8); }

TEST(Line, AnswersInformationRequest) {
    const struct {
        uint16_t serial;
        bool bad;
    } rows[] = {{0x1234, false}, {0x00FF, false}, {0xBEEF, true}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE(i);
        readersim::config cfg;
        cfg.id.serial = rows[i].serial;
        cfg.id.bad_checksum = rows[i].bad;
        line l(cfg);
        ASSERT_TRUE(l.ok());
        ASSERT_TRUE(l.term->write("n"));
        auto reply = l.term->read(32, 3);
        ASSERT_EQ(reply.size(), 32u);
        EXPECT_EQ(reply, readersim::make_reply(cfg.id));
        EXPECT_EQ(le16(reply, 2), rows[i].serial);
        bool matches = le16(reply, 30) == readersim::reply_checksum(reply.data(), 30);
        EXPECT_EQ(matches, !rows[i].bad);
        EXPECT_EQ(l.sim.replies_sent(), 1);
        EXPECT_TRUE(l.term->read_until_quiet(0.2, 1).empty());
    }
}

TEST(Line, FrameCarriesTheConfiguredSamples) {
    readersim::config from_profile;
    from_profile.prof.text = "ABC-123";
    from_profile.prof.noise = 4;
    readersim::config from_samples;
    for (int i = 0; i < readersim::sample_count; i++)
        from_samples.samples.push_back((uint8_t)(i * 7));
    readersim::config from_frame;
    for (int i = 0; i < readersim::frame_bytes; i++)
        from_frame.frame.push_back((uint8_t)i);

    const std::vector<uint8_t> expected[] = {
        readersim::make_frame(readersim::make_samples(from_profile.prof)),
        readersim::make_frame(from_samples.samples),
        from_frame.frame,
    };
    const readersim::config *cfgs[] = {&from_profile, &from_samples, &from_frame};
    for (size_t i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        line l(*cfgs[i]);
        ASSERT_TRUE(l.ok());
        ASSERT_TRUE(l.term->write("s"));
        auto frame = l.term->read(readersim::frame_bytes, 5);
        EXPECT_EQ(frame, expected[i]);
        EXPECT_EQ(l.sim.frames_sent(), 1);
    }
}

TEST(Line, EveryByteValuePassesBothWays) {
    readersim::config cfg;
    cfg.silent = true;
    line l(cfg);
    ASSERT_TRUE(l.ok());
    std::vector<uint8_t> all;
    for (int v = 0; v < 256; v++)
        all.push_back((uint8_t)v);
    l.sim.send(all);
    EXPECT_EQ(l.term->read(256, 3), all);

    ASSERT_TRUE(l.term->write(std::string(all.begin(), all.end())));
    ASSERT_TRUE(l.sim.wait_for(0xFF, 1, 3));
    EXPECT_EQ(l.sim.received(), all);
    EXPECT_EQ(l.sim.received_text(), std::string(all.begin(), all.end()));
    l.sim.clear_received();
    EXPECT_TRUE(l.sim.received().empty());
}

TEST(Line, PacedFrameTakesItsLineTime) {
    readersim::config cfg;
    cfg.line_rate = 115200;
    line l(cfg);
    ASSERT_TRUE(l.ok());
    double start = simtest::now_s();
    ASSERT_TRUE(l.term->write("s"));
    auto frame = l.term->read(readersim::frame_bytes, 5);
    double took = simtest::seconds_since(start);
    ASSERT_EQ(frame.size(), (size_t)readersim::frame_bytes);
    // 4096 bytes of 10 bits at 115200 bit/s are 0.3556 s on the line.
    EXPECT_GT(took, 0.3);
    EXPECT_LT(took, 1.5);
}

TEST(Line, SilentSendsNothing) {
    readersim::config cfg;
    cfg.silent = true;
    cfg.announce_every = 0.1;
    line l(cfg);
    ASSERT_TRUE(l.ok());
    ASSERT_TRUE(l.term->write("nls"));
    ASSERT_TRUE(l.sim.wait_for('s', 1, 3));
    EXPECT_TRUE(l.term->read_until_quiet(1.0, 3).empty());
    EXPECT_EQ(l.sim.received_text(), "nls");
    EXPECT_EQ(l.sim.replies_sent(), 0);
    EXPECT_EQ(l.sim.frames_sent(), 0);
}

TEST(Line, FrameCut) {
    readersim::config cfg;
    cfg.frame_cut = 3000;
    line l(cfg);
    ASSERT_TRUE(l.ok());
    ASSERT_TRUE(l.term->write("s"));
    auto got = l.term->read_until_quiet(1.0, 5);
    auto whole = readersim::make_frame(readersim::make_samples(cfg.prof));
    EXPECT_EQ(got, std::vector<uint8_t>(whole.begin(), whole.begin() + 3000));
    EXPECT_EQ(l.sim.frames_sent(), 1);
    // The line stays up: the next request is answered.
    ASSERT_TRUE(l.term->write("n"));
    EXPECT_EQ(l.term->read(32, 3).size(), 32u);
}

TEST(Line, HangupAfterCutFrameDeliversTheCutFirst) {
    readersim::config cfg;
    cfg.frame_cut = 1000;
    cfg.hangup_after_frame_bytes = true;
    line l(cfg);
    ASSERT_TRUE(l.ok());
    ASSERT_TRUE(l.term->write("s"));
    // Read late: the bytes already sent must not be lost to the hang-up.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto got = l.term->read(2000, 3);
    EXPECT_EQ(got.size(), 1000u);
    EXPECT_EQ(l.term->next_read_result(3), 0);
}

TEST(Line, StrayBytesBeforeAnnouncement) {
    readersim::config cfg;
    cfg.stray_before_announce = std::string("x\r\0\x13", 4);
    line l(cfg);
    ASSERT_TRUE(l.ok());
    l.sim.announce();
    auto got = l.term->read(5, 3);
    EXPECT_EQ(std::string(got.begin(), got.end()), std::string("x\r\0\x13!", 5));
}

TEST(Line, ScheduledAnnouncementsWhileStarted) {
    readersim::config cfg;
    cfg.announce_every = 0.2;
    cfg.stray_before_announce = "#";
    line l(cfg);
    ASSERT_TRUE(l.ok());
    EXPECT_TRUE(l.term->read_until_quiet(0.5, 1).empty());
    EXPECT_FALSE(l.sim.started());

    ASSERT_TRUE(l.term->write("l"));
    auto got = l.term->read(4, 3);
    EXPECT_EQ(std::string(got.begin(), got.end()), "#!#!");
    EXPECT_TRUE(l.sim.started());

    ASSERT_TRUE(l.term->write("o"));
    ASSERT_TRUE(l.sim.wait_for('o', 1, 3));
    EXPECT_FALSE(l.sim.started());
    l.term->read_until_quiet(0.05, 1); // an announcement already under way
    EXPECT_TRUE(l.term->read_until_quiet(0.6, 2).empty());
}

TEST(Line, HangupGivesEndOfFile) {
    line l;
    ASSERT_TRUE(l.ok());
    ASSERT_TRUE(l.term->write("n"));
    ASSERT_EQ(l.term->read(32, 3).size(), 32u);
    l.sim.hangup();
    // At once, also while the descriptor would otherwise wait for input.
    struct pollfd p = {l.term->fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    EXPECT_EQ(l.term->next_read_result(0), 0);
    EXPECT_EQ(l.term->next_read_result(0), 0);
    EXPECT_LT(::write(l.term->fd(), "n", 1), 0);
    terminal again(l.sim.path());
    EXPECT_FALSE(again.is_open());
    l.sim.announce(); // nothing left to write to; must not block or crash
}

TEST(Line, HangupStopsAFrameInProgress) {
    readersim::config cfg;
    cfg.line_rate = 9600; // about 4.3 s for a frame
    line l(cfg);
    ASSERT_TRUE(l.ok());
    ASSERT_TRUE(l.term->write("s"));
    ASSERT_GT(l.term->read(10, 3).size(), 0u);
    l.sim.hangup();
    l.term->read_until_quiet(0.2, 3);
    EXPECT_EQ(l.term->next_read_result(1), 0);
}

TEST(Line, TerminalReopenedManyTimes) {
    line l;
    ASSERT_TRUE(l.ok());
    l.term.reset();
    for (int round = 0; round < 5; round++) {
        SCOPED_TRACE(round);
        terminal t(l.sim.path());
        ASSERT_TRUE(t.is_open());
        ASSERT_TRUE(t.write("n"));
        EXPECT_EQ(t.read(32, 3).size(), 32u);
    }
    EXPECT_EQ(l.sim.replies_sent(), 5);
    EXPECT_EQ(l.sim.received_text(), "nnnnn");
}

TEST(Line, BytesSentBeforeTheTerminalOpensWait) {
    readersim::simulator sim;
    ASSERT_TRUE(sim.start(readersim::config()));
    sim.send({'a', 'b', 'c'});
    terminal t(sim.path());
    auto got = t.read(3, 3);
    EXPECT_EQ(std::string(got.begin(), got.end()), "abc");
}

TEST(Line, ConfigurationChangesWhileRunning) {
    line l;
    ASSERT_TRUE(l.ok());
    auto cfg = l.sim.get_config();
    EXPECT_EQ(cfg.id.serial, 0x1234);
    cfg.id.serial = 0x7777;
    cfg.frame_cut = 10;
    l.sim.set_config(cfg);
    EXPECT_EQ(l.sim.get_config().id.serial, 0x7777);
    ASSERT_TRUE(l.term->write("n"));
    auto reply = l.term->read(32, 3);
    ASSERT_EQ(reply.size(), 32u);
    EXPECT_EQ(le16(reply, 2), 0x7777);
    ASSERT_TRUE(l.term->write("s"));
    EXPECT_EQ(l.term->read_until_quiet(0.5, 3).size(), 10u);
}

TEST(Line, FloodUntilStoppedOrTimed) {
    line l;
    ASSERT_TRUE(l.ok());
    l.sim.flood('x', 0.3);
    auto got = l.term->read_until_quiet(0.5, 5);
    EXPECT_GT(got.size(), 1000u);
    EXPECT_EQ(std::count(got.begin(), got.end(), 'x'), (long)got.size());

    l.sim.flood('y');
    EXPECT_EQ(l.term->read(5000, 3).size(), 5000u);
    l.sim.stop_flood();
    l.term->read_until_quiet(0.3, 5);
    EXPECT_TRUE(l.term->read_until_quiet(0.5, 1).empty());
    // Commands are still served after a flood.
    ASSERT_TRUE(l.term->write("n"));
    EXPECT_EQ(l.term->read(32, 3).size(), 32u);
}

TEST(Line, WaitForCountsAndTimesOut) {
    line l;
    ASSERT_TRUE(l.ok());
    EXPECT_FALSE(l.sim.wait_for('o', 1, 0.2));
    ASSERT_TRUE(l.term->write("oxo"));
    EXPECT_TRUE(l.sim.wait_for('o', 2, 3));
    EXPECT_FALSE(l.sim.wait_for('o', 3, 0.2));
}

TEST(Line, SimulatorsAreIndependent) {
    constexpr int count = 4;
    std::unique_ptr<line> lines[count];
    for (int i = 0; i < count; i++) {
        readersim::config cfg;
        cfg.id.serial = (uint16_t)(0x100 + i);
        lines[i] = std::make_unique<line>(cfg);
        ASSERT_TRUE(lines[i]->ok());
    }
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++)
            EXPECT_NE(lines[i]->sim.path(), lines[j]->sim.path());
    for (int i = 0; i < count; i++)
        ASSERT_TRUE(lines[i]->term->write("n"));
    for (int i = 0; i < count; i++) {
        SCOPED_TRACE(i);
        auto reply = lines[i]->term->read(32, 3);
        ASSERT_EQ(reply.size(), 32u);
        EXPECT_EQ(le16(reply, 2), 0x100 + i);
        EXPECT_EQ(lines[i]->sim.received_text(), "n");
    }
    lines[1]->sim.hangup();
    ASSERT_TRUE(lines[2]->term->write("n"));
    EXPECT_EQ(lines[2]->term->read(32, 3).size(), 32u);
}

TEST(Line, DestructionNeverWaitsForTheReader) {
    // A slow frame that nobody reads, and a flood that fills the line: the
    // destructor must still join its thread promptly.
    auto done = std::async(std::launch::async, [] {
        readersim::config cfg;
        cfg.line_rate = 1200;
        line slow(cfg);
        if (!slow.ok())
            return false;
        slow.term->write("s");
        slow.sim.wait_for('s', 1, 3);
        readersim::simulator flooded;
        flooded.start(readersim::config());
        flooded.flood('z');
        flooded.send(std::vector<uint8_t>(100000, 'q'));
        return true;
    });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(done.get());
}

TEST(Line, RestartAfterStop) {
    readersim::simulator sim;
    ASSERT_TRUE(sim.start(readersim::config()));
    EXPECT_FALSE(sim.start(readersim::config()));
    sim.stop();
    sim.stop();
    ASSERT_TRUE(sim.start(readersim::config()));
    terminal t(sim.path());
    ASSERT_TRUE(t.write("n"));
    EXPECT_EQ(t.read(32, 3).size(), 32u);
}

} // namespace
