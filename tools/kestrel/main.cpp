// kestrel: a command-line host of libkestrel.so and the plug-in modules.
// Finds, activates and calibrates readers, captures scans, and offers
// decoded symbols to the plug-ins; "demo" runs it all on a simulated reader.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "session.h"

namespace {

struct command_def {
    const char *name;
    const char *summary; // one line in the program's help
    const char *usage;   // synopsis and description in the command's help
    std::vector<host::option_spec> (*specs)();
    int (*run)(const host::parsed_args &);
};

const char reflectance_note[] =
    "A sample s (0..255) is the raw reading 256*s on the reader's 16-bit scale; its\n"
    "reflectance is R = (256*s - calmin) / (calmax - calmin), limited to 0..1, with\n"
    "calmin and calmax from the reader's record (its calibration).\n";

const command_def commands[] = {
    {"demo", "run the whole road on a simulated reader and plot a scan",
     "usage: kestrel demo [--out DIR] [--text TEXT] [options]\n"
     "Starts a simulated reader (a Code 39 symbol) on a pseudo-terminal in this\n"
     "process, finds and activates it, captures three scans, calibrates from a black\n"
     "and a white reference scan, prints the calibrated record, grades the last scan,\n"
     "decodes it and offers the data to the plug-ins, and writes the last scan as\n"
     "DIR/scan.csv and DIR/scan.svg. Takes a few seconds.\n",
     host::demo_specs, host::run_demo},
    {"list", "list the readers on the serial devices",
     "usage: kestrel list [--device NAME=PATH]... [options]\n"
     "Probes the system's serial devices (or the --device list) and prints the id,\n"
     "port and serial number of each reader that answers.\n",
     host::list_specs, host::run_list},
    {"scan", "capture scans and write them as CSV or SVG",
     "usage: kestrel scan [--count N] [--timeout SECONDS] [--getscan] [--csv PATH] [--svg PATH] [--grade]\n"
     "                    [--plugin-dir DIR] [options]\n"
     "Activates the reader found first (or --id N), captures N scans as the reader\n"
     "announces them and shows each as a line of block characters. With --grade,\n"
     "each scan's profile is graded (Rmin, symbol contrast, ECmin, modulation,\n"
     "defects, decodability, decode; the scan grade is the lowest), its Code 39\n"
     "symbol decoded and the data offered to the plug-ins.\n",
     host::scan_specs, host::run_scan},
    {"info", "show the reader's information record",
     "usage: kestrel info [options]\n"
     "Activates the reader and prints its record field by field, calibration included.\n",
     host::info_specs, host::run_info},
    {"calibrate", "compute and save a calibration",
     "usage: kestrel calibrate --raw-min R --raw-max R --true-min T --true-max T [--extra TEXT] [options]\n"
     "Activates the reader, computes its calibration from two reference points (raw\n"
     "reading and true reflectance of a dark and a light reference) and saves it in\n"
     "the calibration file, whose directory is created when missing.\n",
     host::calibrate_specs, host::run_calibrate},
    {"interpret", "offer a decoded symbol to the plug-ins",
     "usage: kestrel interpret [options] ']A0DATA'\n"
     "Offers one decoded symbol (\"]\", the symbology identifier letter, a modifier,\n"
     "then the data, as the plug-in programs take it) to every plug-in module beside\n"
     "the program and prints each answer; texts are shown in UTF-8.\n"
     "Letters: E EAN/UPC, A Code 39, I Interleaved 2 of 5, F Codabar, C Code 128,\n"
     "e GS1 DataBar, M MSI, G Code 93.\n",
     host::interpret_specs, host::run_interpret},
};

void program_help(FILE *to) {
    fputs("usage: kestrel COMMAND [options]\n"
          "       kestrel --help | --version | COMMAND --help\n"
          "A host for libkestrel: finds verifier readers on serial devices, captures and\n"
          "calibrates scans, and offers decoded symbols to the plug-ins.\n\nCommands:\n",
          to);
    for (const auto &c : commands)
        fprintf(to, "  %-10s %s\n", c.name, c.summary);
    fprintf(to, "\n%s\nExit status: 0 done, 1 the operation failed, 2 bad use.\n", reflectance_note);
}

void command_help(const command_def &c) {
    printf("%s\nOptions:\n%s", c.usage, host::options_help(c.specs()).c_str());
    if (c.specs == host::scan_specs || c.specs == host::demo_specs)
        printf("\n%s", reflectance_note);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        program_help(stderr);
        return 2;
    }
    std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        program_help(stdout);
        return 0;
    }
    if (first == "--version") {
        printf("kestrel %s\n", KESTREL_VERSION);
        return 0;
    }
    for (const auto &c : commands) {
        if (first != c.name)
            continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        host::parsed_args parsed;
        std::string error;
        if (!host::parse_args(c.specs(), args, parsed, error))
            return host::fail(c.name, error + " (see kestrel " + c.name + " --help)", 2);
        if (parsed.has("help")) {
            command_help(c);
            return 0;
        }
        return c.run(parsed);
    }
    return host::fail("", "unknown command '" + first + "' (see kestrel --help)", 2);
}
