// kestrel-readersim: serves the reader's protocol on a new pseudo-terminal
// and prints the terminal's path on the first line of standard output.
#include "readersim.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "help_text.h"
#include "numbers.h"

namespace {

// Everything the command line sets.
struct settings {
    readersim::config cfg;
    bool stdin_control = false;
    std::string png; // take the profile from this image
    int png_row = -1;
    std::string link; // a symbolic link to the terminal, kept while serving
    bool help = false;
    bool version = false;
};

template <class T> bool set_number(const char *arg, long long max, T &field) {
    long long v = 0;
    if (!tools::parse_int(arg, 0, max, v))
        return false;
    field = (T)v;
    return true;
}

bool set_real(const char *arg, double min, double max, double &field) {
    return tools::parse_double(arg, min, max, field);
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

// One row per option: the help section it is listed under, its names, the
// name of its value (nullptr for a flag), its help, what a value must be,
// and what it sets. The
// option parser and the help text are both made from this table.
struct option_row {
    const char *section;
    const char *name;
    char short_name; // 0 when it has none
    const char *value;
    const char *help;
    const char *accepts; // what a value must be, for the error line
    bool (*apply)(const char *arg, settings &s);
};

const char reply_section[] = "Information reply:";
const char behaviour_section[] = "Behaviour:";
const char profile_section[] = "Scan profile (a Code 39 symbol):";
const char program_section[] = "Program:";

const option_row option_rows[] = {
    {reply_section, "serial", 0, "N", "serial number (default 0x1234)", "0..0xFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFF, s.cfg.id.serial); }},
    {reply_section, "firmware", 0, "N", "firmware version (default 0x0206)", "0..0xFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFF, s.cfg.id.firmware); }},
    {reply_section, "prog-checksum", 0, "N", "program checksum (default 0xBEEF)", "0..0xFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFF, s.cfg.id.prog_checksum); }},
    {reply_section, "boot-checksum", 0, "N", "boot code checksum (default 0xCAFE)", "0..0xFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFF, s.cfg.id.boot_checksum); }},
    {reply_section, "resolution", 0, "N", "resolution (default 200)", "0..0xFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFF, s.cfg.id.resolution); }},
    {reply_section, "wavelength", 0, "N", "wavelength in nm (default 660)", "0..0xFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFF, s.cfg.id.wavelength); }},
    {reply_section, "short-sample-size", 0, "N", "short form of the sample size (default 8)", "0..0xFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFF, s.cfg.id.short_sample_size); }},
    {reply_section, "long-sample-size", 0, "N", "long form of the sample size (default 0)", "0..0xFFFFFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFFFFFF, s.cfg.id.long_sample_size); }},
    {reply_section, "num-samples", 0, "N", "number of samples (default 2048)", "0..0xFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFF, s.cfg.id.num_samples); }},
    {reply_section, "reader-type", 0, "N", "reader type byte (default 1, wand)", "0..255",
     [](const char *a, settings &s) { return set_number(a, 0xFF, s.cfg.id.reader_type); }},
    {reply_section, "drive", 0, "N", "motive power byte (default 1, hand)", "0..255",
     [](const char *a, settings &s) { return set_number(a, 0xFF, s.cfg.id.motive_power); }},
    {reply_section, "bad-checksum", 0, nullptr, "send a reply whose checksum does not match", nullptr,
     [](const char *, settings &s) { return s.cfg.id.bad_checksum = true; }},

    {behaviour_section, "silent", 0, nullptr, "never answer", nullptr,
     [](const char *, settings &s) { return s.cfg.silent = true; }},
    {behaviour_section, "frame-cut", 0, "N", "send only the first N bytes of each frame (0..4096)", "0..4096",
     [](const char *a, settings &s) { return set_number(a, readersim::frame_bytes, s.cfg.frame_cut); }},
    {behaviour_section, "hangup-after-cut", 0, nullptr, "with --frame-cut: hang up after the cut frame",
     nullptr, [](const char *, settings &s) { return s.cfg.hangup_after_frame_bytes = true; }},
    {behaviour_section, "stray", 0, "BYTES", "bytes sent before each \"!\" (\\xHH and \\\\ escapes)",
     "bytes, with \\xHH and \\\\ escapes",
     [](const char *a, settings &s) { return parse_bytes(a, s.cfg.stray_before_announce); }},
    {behaviour_section, "rate", 0, "BPS",
     "line rate in bits per second, 10 bits per byte (default 0: unpaced; a real reader runs at 115200)",
     "0..1e9", [](const char *a, settings &s) { return set_real(a, 0, 1e9, s.cfg.line_rate); }},
    {behaviour_section, "announce-every", 0, "S",
     "send \"!\" every S seconds while started (default 0: never)", "0..1e6",
     [](const char *a, settings &s) { return set_real(a, 0, 1e6, s.cfg.announce_every); }},
    {behaviour_section, "stdin-control", 0, nullptr,
     "read commands from standard input, one a line: announce, hangup, quit; end of input also quits",
     nullptr, [](const char *, settings &s) { return s.stdin_control = true; }},

    {profile_section, "text", 0, "T", "text of the symbol (default KESTREL)", "any text",
     [](const char *a, settings &s) { return (s.cfg.prof.text = a), true; }},
    {profile_section, "narrow", 0, "N", "samples per narrow module (default 8; shrinks to fit)", "0..2048",
     [](const char *a, settings &s) { return set_number(a, readersim::sample_count, s.cfg.prof.narrow); }},
    {profile_section, "ratio", 0, "R", "wide/narrow ratio, 1..10 (default 2.5)", "1..10",
     [](const char *a, settings &s) { return set_real(a, 1, 10, s.cfg.prof.ratio); }},
    {profile_section, "low", 0, "V", "bar reflectance, 0..255 (default 30)", "0..255",
     [](const char *a, settings &s) { return set_real(a, 0, 255, s.cfg.prof.low); }},
    {profile_section, "high", 0, "V", "space reflectance, 0..255 (default 220)", "0..255",
     [](const char *a, settings &s) { return set_real(a, 0, 255, s.cfg.prof.high); }},
    {profile_section, "blur", 0, "S", "edge blur, standard deviation in samples (default 1)", "0..1000",
     [](const char *a, settings &s) { return set_real(a, 0, 1000, s.cfg.prof.blur); }},
    {profile_section, "noise", 0, "S", "noise, standard deviation in sample units (default 0)", "0..1000",
     [](const char *a, settings &s) { return set_real(a, 0, 1000, s.cfg.prof.noise); }},
    {profile_section, "seed", 0, "N", "noise seed (default 1)", "0..0xFFFFFFFF",
     [](const char *a, settings &s) { return set_number(a, 0xFFFFFFFF, s.cfg.prof.seed); }},
    {profile_section, "png", 0, "FILE",
     "serve a row of pixels of a PNG image instead: black becomes --low, white --high, resampled to 2048 "
     "samples",
     "a PNG file", [](const char *a, settings &s) { return !(s.png = a).empty(); }},
    {profile_section, "png-row", 0, "N", "the pixel row to take (default: the middle one)",
     "a row number from 0", [](const char *a, settings &s) { return set_number(a, 0x7FFFFFFF, s.png_row); }},

    {program_section, "link", 0, "PATH",
     "also make PATH a symbolic link to the terminal while serving (an old link there is replaced)", "a path",
     [](const char *a, settings &s) { return !(s.link = a).empty(); }},
    {program_section, "help", 'h', nullptr, "show this text", nullptr,
     [](const char *, settings &s) { return s.help = true; }},
    {program_section, "version", 'V', nullptr, "show the version", nullptr,
     [](const char *, settings &s) { return s.version = true; }},
};

const char usage_head[] = "usage: kestrel-readersim [options]\n"
                          "Emulates the scanning head on a pseudo-terminal. Prints the terminal's path\n"
                          "on the first line of standard output, then serves until SIGINT, SIGTERM or\n"
                          "SIGHUP. Numbers are decimal, or hexadecimal with 0x (--firmware 0x0206).\n";

std::string usage_text() {
    std::string text = usage_head;
    const char *section = nullptr;
    for (const auto &r : option_rows) {
        if (r.section != section) {
            section = r.section;
            text += std::string("\n") + section + "\n";
        }
        std::string head = "  ";
        head += r.short_name ? std::string("-") + r.short_name + ", " : "";
        head += std::string("--") + r.name + (r.value ? std::string(" ") + r.value : "");
        text += tools::help_entry(head, r.help);
    }
    return text;
}

volatile sig_atomic_t stop_signal = 0;

void on_signal(int) { stop_signal = 1; }

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

// Parses the command line into `s`; returns -1 to go on serving, or the
// exit status.
int parse_command_line(int argc, char **argv, settings &s) {
    std::vector<struct option> long_options;
    std::string short_options = ":";
    for (const auto &r : option_rows) {
        int id = (int)(&r - option_rows) + 256;
        long_options.push_back({r.name, r.value ? required_argument : no_argument, nullptr, id});
        if (r.short_name)
            short_options += r.short_name;
    }
    long_options.push_back({nullptr, 0, nullptr, 0});
    opterr = 0;
    int id;
    while ((id = getopt_long(argc, argv, short_options.c_str(), long_options.data(), nullptr)) != -1) {
        const option_row *row = nullptr;
        for (const auto &r : option_rows)
            if ((id >= 256 && &r - option_rows == id - 256) || (r.short_name && id == r.short_name))
                row = &r;
        if (!row) {
            const char *what = id == ':' ? "missing value for" : "unknown option";
            fprintf(stderr, "kestrel-readersim: %s %s\nTry 'kestrel-readersim --help'.\n", what,
                    argv[optind - 1]);
            return 2;
        }
        if (!row->apply(optarg ? optarg : "", s)) {
            fprintf(stderr, "kestrel-readersim: bad value for --%s: '%s' (%s)\n", row->name,
                    optarg ? optarg : "", row->accepts);
            return 2;
        }
    }
    if (s.help) {
        fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (s.version) {
        printf("kestrel-readersim %s\n", KESTREL_VERSION);
        return 0;
    }
    if (optind < argc) {
        fprintf(stderr, "kestrel-readersim: unexpected argument '%s'\n", argv[optind]);
        return 2;
    }
    if (s.cfg.hangup_after_frame_bytes && s.cfg.frame_cut < 0) {
        fputs("kestrel-readersim: --hangup-after-cut needs --frame-cut\n", stderr);
        return 2;
    }
    std::string error;
    if (!s.png.empty() && !readersim::samples_from_png(s.png, s.png_row, s.cfg.prof.low, s.cfg.prof.high,
                                                       s.cfg.samples, error)) {
        fprintf(stderr, "kestrel-readersim: --png: cannot take a profile from %s\n", error.c_str());
        return 2;
    }
    return -1;
}

// Points `link` at `target`, replacing an old symbolic link but nothing else.
bool make_link(const std::string &link, const std::string &target) {
    struct stat st;
    if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        unlink(link.c_str());
    return symlink(target.c_str(), link.c_str()) == 0;
}

// Removes the link when it still points at `target`.
void remove_link(const std::string &link, const std::string &target) {
    char buf[4096];
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, (size_t)n) == target)
        unlink(link.c_str());
}

} // namespace

int main(int argc, char **argv) {
    settings s;
    int status = parse_command_line(argc, argv, s);
    if (status >= 0)
        return status;

    // The serving thread inherits a mask without the stop signals, so they
    // reach the main thread and interrupt its wait at once.
    const int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
    sigset_t stops;
    sigemptyset(&stops);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    for (int sig : stop_signals) {
        sigaddset(&stops, sig);
        sigaction(sig, &sa, nullptr);
    }
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    readersim::simulator sim;
    bool ok = sim.start(s.cfg);
    int start_errno = errno;
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    if (!ok) {
        fprintf(stderr, "kestrel-readersim: cannot open a pseudo-terminal: %s\n", strerror(start_errno));
        return 1;
    }
    if (!s.link.empty() && !make_link(s.link, sim.path())) {
        fprintf(stderr, "kestrel-readersim: cannot make the link %s: %s\n", s.link.c_str(), strerror(errno));
        return 1;
    }
    printf("%s\n", sim.path().c_str());
    fflush(stdout);

    std::string pending;
    bool serving = true;
    while (serving && !stop_signal) {
        struct pollfd pfd = {0, POLLIN, 0};
        if (!s.stdin_control) {
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
    if (!s.link.empty())
        remove_link(s.link, sim.path());
    sim.stop();
    return 0;
}
