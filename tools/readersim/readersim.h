// Reader simulator: emulates the scanning head on a pseudo-terminal so that
// the library, its tests, the host program and the benchmarks run without
// hardware. The simulator owns the master side; the library opens path().
//
// Protocol served: "n" -> 32-byte information reply; "l" start, "o" stop
// (accepted and recorded); "s" -> 4096-byte scan frame whose byte 2i+1 is
// sample i; "!" sent to announce a scan, on a schedule or on demand.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace readersim {

constexpr int frame_bytes = 4096;
constexpr int sample_count = 2048;
constexpr int reply_bytes = 32;

// Fields of the 32-byte information reply.
struct identity {
    uint16_t serial = 0x1234;
    uint16_t firmware = 0x0206;
    uint16_t prog_checksum = 0xBEEF;
    uint16_t boot_checksum = 0xCAFE;
    uint16_t resolution = 200;
    uint16_t wavelength = 660;
    uint16_t short_sample_size = 8;
    uint8_t reader_type = 1;  // rtWand
    uint8_t motive_power = 1; // mpHand
    uint16_t num_samples = 2048;
    uint32_t long_sample_size = 0;
    bool bad_checksum = false; // send a reply whose checksum does not match
};

// Synthetic reflectance profile: a Code 39 symbol of `text` with quiet zones,
// drawn between `low` (bars) and `high` (spaces) on the 0..255 sample scale.
struct profile {
    std::string text = "KESTREL";
    int narrow = 8;     // samples per narrow element
    double ratio = 2.5; // wide/narrow ratio
    double low = 30;    // bar reflectance, sample units
    double high = 220;  // space reflectance, sample units
    double blur = 1.0;  // edge blur: standard deviation in samples, 0 = sharp
    double noise = 0.0; // additive noise: standard deviation in sample units
    uint32_t seed = 1;  // noise seed
};

struct config {
    identity id;
    profile prof;
    // Explicit 2048 samples; overrides prof when not empty.
    std::vector<uint8_t> samples;
    // Explicit 4096-byte frame; overrides samples and prof when not empty.
    std::vector<uint8_t> frame;
    double line_rate = 0;                  // bits per second (10 bits per byte); 0 = unpaced
    double announce_every = 0;             // seconds between "!" while started; 0 = only on demand
    bool silent = false;                   // never answer "n" or "s" nor announce on schedule;
                                           // announce(), send() and flood() still write
    int frame_cut = -1;                    // send only this many bytes of each frame; -1 = whole
    std::string stray_before_announce;     // bytes sent just before each "!"
    bool hangup_after_frame_bytes = false; // with frame_cut: close the line after the cut,
                                           // once the terminal side has read it (at most 2 s)
};

// Builds the 32-byte information reply for an identity (checksum included,
// deliberately wrong when id.bad_checksum).
std::vector<uint8_t> make_reply(const identity &id);
// The 16-bit checksum the reader puts in bytes 30..31 (low byte first).
uint16_t reply_checksum(const uint8_t *buf, unsigned count);
// 2048 samples of a profile. The symbol is centred; when it does not fit
// at prof.narrow samples per module (with ten-module quiet zones), the
// narrow width shrinks, fractionally, until it does (fitted_narrow).
std::vector<uint8_t> make_samples(const profile &p);
// The characters drawn for a text: '*', the text with lower-case letters
// made capitals and characters outside the 43-character set left out, '*'.
std::string code39_symbol(const std::string &text);
// Samples per narrow module that make_samples uses for a profile: prof.narrow,
// or less when the symbol would not fit; prof.narrow <= 0 means fit exactly.
double fitted_narrow(const profile &p);
// A 4096-byte frame carrying the samples in the odd bytes; the even bytes
// hold values that differ from the samples, so a wrong byte choice shows.
std::vector<uint8_t> make_frame(const std::vector<uint8_t> &samples);

// Profiles from images. png_row reads pixel row `row` of a PNG file (the
// middle row when row < 0) as grey levels 0..255, colour and palettes
// converted, transparency laid on white. resample_row averages the row over
// `count` equal intervals and maps grey 0 to `low` and 255 to `high`
// (sample units). samples_from_png does both for sample_count samples.
// The readers return false with a reason.
bool png_row(const std::string &path, int row, std::vector<uint8_t> &out, std::string &error);
std::vector<uint8_t> resample_row(const std::vector<uint8_t> &row, int count, double low, double high);
bool samples_from_png(const std::string &path, int row, double low, double high, std::vector<uint8_t> &out,
                      std::string &error);

class simulator {
public:
    simulator();
    ~simulator(); // stops the thread and closes the master
    simulator(const simulator &) = delete;
    simulator &operator=(const simulator &) = delete;

    // Opens the pseudo-terminal pair and starts serving. false on failure or
    // when already serving. The terminal side starts raw, and stays usable
    // however often the library opens and closes it.
    bool start(const config &cfg);
    void stop();

    const std::string &path() const; // the terminal side, for the library

    // Change the configuration while running (applies to the next exchange).
    void set_config(const config &cfg);
    config get_config() const;

    // Send "!" now (after the stray bytes, if any).
    void announce();
    // Write raw bytes to the line now, paced at line_rate. Gives up when
    // the line takes nothing for 5 s (nobody reads it).
    void send(const std::vector<uint8_t> &bytes);
    // Close the master side: the library's end reads end of file from now on.
    // On Linux a read there returns 0 at once (blocking or not), poll()
    // reports POLLHUP, a write fails with EIO, bytes not yet read are lost,
    // and the path disappears, so opening it again fails (ENOENT). A frame
    // being sent stops. Returns once the line is closed.
    void hangup();
    // Write bytes without pause until stop_flood() (or for `seconds`, if > 0).
    void flood(uint8_t byte, double seconds = 0);
    void stop_flood();

    // Every byte received from the library so far, in order.
    std::vector<uint8_t> received() const;
    std::string received_text() const;
    void clear_received();
    // Waits until `byte` has been received `count` times in all; false on timeout.
    bool wait_for(uint8_t byte, int count = 1, double timeout_s = 5.0) const;
    // Waits until at least `count` bytes sent wait unread on the terminal
    // side (a write reaches it a moment later); false on timeout.
    bool wait_unread(int count, double timeout_s = 5.0) const;

    int frames_sent() const;  // scan frames sent (whole or cut)
    int replies_sent() const; // information replies sent
    bool started() const;     // "l" received more recently than "o"

private:
    struct impl;
    impl *d;
};

} // namespace readersim
