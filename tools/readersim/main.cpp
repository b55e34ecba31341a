// kestrel-readersim: serves the reader's protocol on a new pseudo-terminal
// and prints the terminal's path on the first line of standard output.
#include "readersim.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <unistd.h>

namespace {

const char usage[] = "usage: kestrel-readersim [options]\n"
                     "Emulates the scanning head on a pseudo-terminal. Prints the terminal's path\n"
                     "on the first line of standard output, then serves until SIGINT or SIGTERM.\n"
                     "Numbers are decimal, or hexadecimal with 0x (--firmware 0x0206).\n"
                     "\n"
                     "Information reply:\n"
                     "  --serial N              serial number (default 0x1234)\n"
                     "  --firmware N            firmware version (default 0x0206)\n"
                     "  --prog-checksum N       program checksum (default 0xBEEF)\n"
                     "  --boot-checksum N       boot code checksum (default 0xCAFE)\n"
                     "  --resolution N          resolution (default 200)\n"
                     "  --wavelength N          wavelength in nm (default 660)\n"
                     "  --short-sample-size N   short form of the sample size (default 8)\n"
                     "  --long-sample-size N    long form of the sample size (default 0)\n"
                     "  --num-samples N         number of samples (default 2048)\n"
                     "  --reader-type N         reader type byte (default 1, wand)\n"
                     "  --drive N               motive power byte (default 1, hand)\n"
                     "  --bad-checksum          send a reply whose checksum does not match\n"
                     "\n"
                     "Behaviour:\n"
                     "  --silent                never answer\n"
                     "  --frame-cut N           send only the first N bytes of each frame\n"
                     "  --hangup-after-cut      with --frame-cut: hang up after the cut frame\n"
                     "  --stray BYTES           bytes sent before each \"!\" (\\xHH and \\\\ escapes)\n"
                     "  --rate BPS              line rate in bits per second, 10 bits per byte\n"
                     "                          (default 0: unpaced; a real reader runs at 115200)\n"
                     "  --announce-every S      send \"!\" every S seconds while started (default 0: never)\n"
                     "  --stdin-control         read commands from standard input, one a line:\n"
                     "                          announce, hangup, quit; end of input also quits\n"
                     "\n"
                     "Scan profile (a Code 39 symbol):\n"
                     "  --text T                text of the symbol (default KESTREL)\n"
                     "  --narrow N              samples per narrow module (default 8; shrinks to fit)\n"
                     "  --ratio R               wide/narrow ratio (default 2.5)\n"
                     "  --low V                 bar reflectance, 0..255 (default 30)\n"
                     "  --high V                space reflectance, 0..255 (default 220)\n"
                     "  --blur S                edge blur, standard deviation in samples (default 1)\n"
                     "  --noise S               noise, standard deviation in sample units (default 0)\n"
                     "  --seed N                noise seed (default 1)\n"
                     "  --png FILE              serve a row of pixels of a PNG image instead: black\n"
                     "                          becomes --low, white --high, resampled to 2048 samples\n"
                     "  --png-row N             the pixel row to take (default: the middle one)\n"
                     "\n"
                     "  --help                  show this text\n";

volatile sig_atomic_t stop_signal = 0;

void on_signal(int) { stop_signal = 1; }

bool parse_uint(const char *s, unsigned long max, unsigned long &out) {
    if (!s || !*s || *s == '-' || *s == '+')
        return false;
    int base = (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) ? 16 : 10;
    const char *digits = base == 16 ? s + 2 : s;
    if (!*digits)
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(digits, &end, base);
    if (errno || *end || v > max)
        return false;
    out = (unsigned long)v;
    return true;
}

bool parse_double(const char *s, double min, double max, double &out) {
    if (!s || !*s)
        return false;
    char *end = nullptr;
    errno = 0;
    double v = strtod(s, &end);
    if (errno || *end || !std::isfinite(v) || v < min || v > max)
        return false;
    out = v;
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Text with \xHH and \\ escapes, so that any byte can be given.
bool parse_bytes(const char *s, std::string &out) {
    out.clear();
    for (size_t i = 0; s[i]; i++) {
        if (s[i] != '\\') {
            out += s[i];
        } else if (s[i + 1] == '\\') {
            out += '\\';
            i++;
        } else if (s[i + 1] == 'x' && s[i + 2] && s[i + 3] && hex_digit(s[i + 2]) >= 0 &&
                   hex_digit(s[i + 3]) >= 0) {
            out += (char)(hex_digit(s[i + 2]) * 16 + hex_digit(s[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

enum option_id {
    o_serial = 256,
    o_firmware,
    o_prog,
    o_boot,
    o_resolution,
    o_wavelength,
    o_short,
    o_long,
    o_num,
    o_type,
    o_drive,
    o_bad,
    o_silent,
    o_cut,
    o_hangup,
    o_stray,
    o_rate,
    o_every,
    o_stdin,
    o_text,
    o_narrow,
    o_ratio,
    o_low,
    o_high,
    o_blur,
    o_noise,
    o_seed,
    o_png,
    o_png_row,
    o_help
};

const struct option options[] = {
    {"serial", required_argument, nullptr, o_serial},
    {"firmware", required_argument, nullptr, o_firmware},
    {"prog-checksum", required_argument, nullptr, o_prog},
    {"boot-checksum", required_argument, nullptr, o_boot},
    {"resolution", required_argument, nullptr, o_resolution},
    {"wavelength", required_argument, nullptr, o_wavelength},
    {"short-sample-size", required_argument, nullptr, o_short},
    {"long-sample-size", required_argument, nullptr, o_long},
    {"num-samples", required_argument, nullptr, o_num},
    {"reader-type", required_argument, nullptr, o_type},
    {"drive", required_argument, nullptr, o_drive},
    {"bad-checksum", no_argument, nullptr, o_bad},
    {"silent", no_argument, nullptr, o_silent},
    {"frame-cut", required_argument, nullptr, o_cut},
    {"hangup-after-cut", no_argument, nullptr, o_hangup},
    {"stray", required_argument, nullptr, o_stray},
    {"rate", required_argument, nullptr, o_rate},
    {"announce-every", required_argument, nullptr, o_every},
    {"stdin-control", no_argument, nullptr, o_stdin},
    {"text", required_argument, nullptr, o_text},
    {"narrow", required_argument, nullptr, o_narrow},
    {"ratio", required_argument, nullptr, o_ratio},
    {"low", required_argument, nullptr, o_low},
    {"high", required_argument, nullptr, o_high},
    {"blur", required_argument, nullptr, o_blur},
    {"noise", required_argument, nullptr, o_noise},
    {"seed", required_argument, nullptr, o_seed},
    {"png", required_argument, nullptr, o_png},
    {"png-row", required_argument, nullptr, o_png_row},
    {"help", no_argument, nullptr, o_help},
    {nullptr, 0, nullptr, 0},
};

// An image to take the profile from.
struct image_source {
    std::string path;
    int row = -1;
};

// Applies one option to the configuration; false when its value is bad.
bool apply(int id, const char *arg, readersim::config &c, bool &stdin_control, image_source &image) {
    unsigned long u = 0;
    auto &i = c.id;
    auto &p = c.prof;
    switch (id) {
    case o_serial: return parse_uint(arg, 0xFFFF, u) && ((i.serial = (uint16_t)u), true);
    case o_firmware: return parse_uint(arg, 0xFFFF, u) && ((i.firmware = (uint16_t)u), true);
    case o_prog: return parse_uint(arg, 0xFFFF, u) && ((i.prog_checksum = (uint16_t)u), true);
    case o_boot: return parse_uint(arg, 0xFFFF, u) && ((i.boot_checksum = (uint16_t)u), true);
    case o_resolution: return parse_uint(arg, 0xFFFF, u) && ((i.resolution = (uint16_t)u), true);
    case o_wavelength: return parse_uint(arg, 0xFFFF, u) && ((i.wavelength = (uint16_t)u), true);
    case o_short: return parse_uint(arg, 0xFFFF, u) && ((i.short_sample_size = (uint16_t)u), true);
    case o_long: return parse_uint(arg, 0xFFFFFFFF, u) && ((i.long_sample_size = (uint32_t)u), true);
    case o_num: return parse_uint(arg, 0xFFFF, u) && ((i.num_samples = (uint16_t)u), true);
    case o_type: return parse_uint(arg, 0xFF, u) && ((i.reader_type = (uint8_t)u), true);
    case o_drive: return parse_uint(arg, 0xFF, u) && ((i.motive_power = (uint8_t)u), true);
    case o_bad: i.bad_checksum = true; return true;
    case o_silent: c.silent = true; return true;
    case o_cut: return parse_uint(arg, readersim::frame_bytes, u) && ((c.frame_cut = (int)u), true);
    case o_hangup: c.hangup_after_frame_bytes = true; return true;
    case o_stray: return parse_bytes(arg, c.stray_before_announce);
    case o_rate: return parse_double(arg, 0, 1e9, c.line_rate);
    case o_every: return parse_double(arg, 0, 1e6, c.announce_every);
    case o_stdin: stdin_control = true; return true;
    case o_text: p.text = arg; return true;
    case o_narrow: return parse_uint(arg, readersim::sample_count, u) && ((p.narrow = (int)u), true);
    case o_ratio: return parse_double(arg, 1, 10, p.ratio);
    case o_low: return parse_double(arg, 0, 255, p.low);
    case o_high: return parse_double(arg, 0, 255, p.high);
    case o_blur: return parse_double(arg, 0, 1000, p.blur);
    case o_noise: return parse_double(arg, 0, 1000, p.noise);
    case o_seed: return parse_uint(arg, 0xFFFFFFFF, u) && ((p.seed = (uint32_t)u), true);
    case o_png: image.path = arg; return !image.path.empty();
    case o_png_row: return parse_uint(arg, 0x7FFFFFFF, u) && ((image.row = (int)u), true);
    default: return false;
    }
}

// Handles the complete lines in buf; false once "quit" is read.
bool run_commands(std::string &buf, readersim::simulator &sim) {
    size_t nl;
    while ((nl = buf.find('\n')) != std::string::npos) {
        std::string line = buf.substr(0, nl);
        buf.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "announce")
            sim.announce();
        else if (line == "hangup")
            sim.hangup();
        else if (line == "quit")
            return false;
        else if (!line.empty())
            fprintf(stderr, "kestrel-readersim: unknown command '%s'\n", line.c_str());
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    readersim::config cfg;
    bool stdin_control = false;
    image_source image;
    opterr = 0;
    int id, which = 0;
    while ((id = getopt_long(argc, argv, "", options, &which)) != -1) {
        if (id == o_help) {
            fputs(usage, stdout);
            return 0;
        }
        if (id == '?' || id == ':') {
            fprintf(stderr, "kestrel-readersim: unknown option or missing value: %s\n", argv[optind - 1]);
            fputs("Try 'kestrel-readersim --help'.\n", stderr);
            return 2;
        }
        if (!apply(id, optarg, cfg, stdin_control, image)) {
            fprintf(stderr, "kestrel-readersim: bad value for --%s: '%s'\n", options[which].name,
                    optarg ? optarg : "");
            return 2;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "kestrel-readersim: unexpected argument '%s'\n", argv[optind]);
        return 2;
    }
    if (cfg.hangup_after_frame_bytes && cfg.frame_cut < 0) {
        fputs("kestrel-readersim: --hangup-after-cut needs --frame-cut\n", stderr);
        return 2;
    }
    std::string error;
    if (!image.path.empty() && !readersim::samples_from_png(image.path, image.row, cfg.prof.low,
                                                            cfg.prof.high, cfg.samples, error)) {
        fprintf(stderr, "kestrel-readersim: --png: cannot take a profile from %s\n", error.c_str());
        return 2;
    }

    // The serving thread inherits a mask without the stop signals, so they
    // reach the main thread and interrupt its wait at once.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    readersim::simulator sim;
    bool ok = sim.start(cfg);
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    if (!ok) {
        fprintf(stderr, "kestrel-readersim: cannot open a pseudo-terminal: %s\n", strerror(errno));
        return 1;
    }
    printf("%s\n", sim.path().c_str());
    fflush(stdout);

    std::string pending;
    bool serving = true;
    while (serving && !stop_signal) {
        struct pollfd pfd = {0, POLLIN, 0};
        if (!stdin_control) {
            poll(nullptr, 0, 200);
            continue;
        }
        if (poll(&pfd, 1, 200) <= 0)
            continue;
        char buf[256];
        ssize_t n = read(0, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        pending.append(buf, (size_t)n);
        serving = run_commands(pending, sim);
    }
    sim.stop();
    return 0;
}
