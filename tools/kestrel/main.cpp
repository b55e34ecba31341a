// kestrel: a command-line host of libkestrel.so and the plug-in modules.
// Finds, activates and calibrates readers, captures and grades scans, and
// offers decoded symbols to the plug-ins; "demo" runs it all on a simulated
// reader.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "files.h"
#include "interrupt.h"
#include "json_output.h"
#include "latin1.h"
#include "output.h"
#include "plugins.h"

namespace {

using namespace host;

struct command_def {
    const char *name;
    const char *summary; // one line in the program's help
    const char *usage;   // synopsis and description in the command's help
    option_group (*options)();
    int (*run)(const parsed_args &);
    bool reflectance_note; // the help explains reflectance
};

const char reflectance_note[] =
    "A sample s (0..255) is the raw reading 256*s on the reader's 16-bit scale; its\n"
    "reflectance is R = (256*s - calmin) / (calmax - calmin), limited to 0..1, with\n"
    "calmin and calmax from the reader's record (its calibration).\n";

const char exit_statuses[] = "Exit status: 0 done; 1 the operation failed, a scan graded below --min-grade,\n"
                             "or a plug-in rejected interpret's symbol; 2 bad use; 3 no plug-in claims\n"
                             "interpret's symbol; 128+N ended by signal N (130 for Ctrl-C), with the reader\n"
                             "stopped and its line restored.\n";

const command_def commands[] = {
    {"demo", "run the whole road on a simulated reader and plot a scan",
     "usage: kestrel demo [--out DIR] [--text TEXT] [options]\n"
     "Starts a simulated reader (a Code 39 symbol) on a pseudo-terminal in this\n"
     "process, finds and activates it, captures three scans, calibrates from a black\n"
     "and a white reference scan, prints the calibrated record, grades the last scan,\n"
     "decodes it and offers the data to the plug-ins, and writes the last scan as\n"
     "DIR/scan.csv and DIR/scan.svg. Takes a few seconds.\n",
     demo_options, run_demo, true},
    {"list", "list the readers on the serial devices",
     "usage: kestrel list [--device NAME=PATH]... [options]\n"
     "Probes the system's serial devices (or the --device list) and prints the id,\n"
     "port and serial number of each reader that answers, and why each device that\n"
     "gave no reader was skipped.\n",
     list_options, run_list, false},
    {"scan", "capture scans, grade them and write them as CSV or SVG",
     "usage: kestrel scan [--count N] [--timeout SECONDS] [--getscan] [--grade]\n"
     "                    [--min-grade LETTER] [--csv PATH] [--svg PATH]\n"
     "                    [--json PATH [--samples]] [options]\n"
     "Activates the reader found first (or --id N), captures N scans as the reader\n"
     "announces them and shows each as a line of block characters. With --grade,\n"
     "each scan's profile is graded (Rmin, symbol contrast, ECmin, modulation,\n"
     "defects, decodability, decode; the scan grade is the lowest), its Code 39\n"
     "symbol decoded and the data offered to the plug-ins.\n",
     scan_options, run_scan, true},
    {"info", "show the reader's information record",
     "usage: kestrel info [options]\n"
     "Activates the reader and prints its record field by field, calibration included.\n",
     info_options, run_info, false},
    {"calibrate", "measure the references, compute and save a calibration",
     "usage: kestrel calibrate --true-min T --true-max T\n"
     "                         (--raw-min R --raw-max R | --measure | --black-csv PATH --white-csv PATH)\n"
     "                         [--extra TEXT] [options]\n"
     "Activates the reader, computes its calibration from a dark and a light\n"
     "reference (their true reflectances and raw readings) and saves it in the\n"
     "calibration file, whose directory is created when missing. The raw readings\n"
     "are given, measured now with the reader (--measure: scan each reference when\n"
     "asked), or taken from two scans saved with kestrel scan --csv; a raw reading\n"
     "is 256 times the scan's mean sample.\n",
     calibrate_options, run_calibrate, false},
    {"interpret", "offer a decoded symbol to the plug-ins",
     "usage: kestrel interpret [options] ']A0DATA'\n"
     "Offers one decoded symbol (\"]\", the symbology identifier letter, a modifier,\n"
     "then the data, as the plug-in programs take it) to every plug-in module beside\n"
     "the program and prints each answer in the locale's character set. Exits 0 when\n"
     "a plug-in accepts the symbol, 1 when one rejects it and none accepts it, 3 when\n"
     "no plug-in claims it.\n",
     interpret_options, run_interpret, false},
};

void program_help(FILE *to) {
    fputs("usage: kestrel [options] COMMAND [options]\n"
          "       kestrel -h | --help | -V | --version | COMMAND --help\n"
          "A host for libkestrel: finds verifier readers on serial devices, captures,\n"
          "grades and calibrates scans, and offers decoded symbols to the plug-ins.\n"
          "Data goes to standard output; status lines, progress and errors to standard\n"
          "error. Options may come before or after the command.\n\nCommands:\n",
          to);
    for (const auto &c : commands)
        fprintf(to, "  %-10s %s\n", c.name, c.summary);
    fprintf(to, "\nOptions of every command:\n%s\n%s\n%s", options_help(general_options).c_str(),
            reflectance_note, exit_statuses);
}

void command_help(const command_def &c) {
    printf("%s\nOptions:\n%s", c.usage, options_help(c.options()).c_str());
    if (c.run == run_interpret)
        printf("\nSymbology identifier letters: %s.\n", symbology_letters_text().c_str());
    if (c.reflectance_note)
        printf("\n%s", reflectance_note);
}

// Every option any command takes, to tell which options before the
// command take a value.
option_group all_options() {
    option_group all;
    for (const auto &c : commands) {
        option_group o = c.options();
        all.insert(all.end(), o.begin(), o.end());
    }
    return all;
}

// The outputs the parsed options name.
std::vector<output_file> outputs_of(const parsed_args &args) {
    std::vector<output_file> outputs;
    for (const char *option : {"csv", "svg", "json"})
        if (args.has(option))
            outputs.push_back({option, args.last(option)});
    return outputs;
}

int run_command(const command_def &c, const std::vector<std::string> &args) {
    set_command(c.name);
    parsed_args parsed;
    std::string error;
    if (!parse_args(c.options(), args, parsed, error))
        return usage_error(error);
    if (parsed.has("help")) {
        command_help(c);
        return 0;
    }
    if (parsed.has("version")) {
        printf("kestrel %s\n", KESTREL_VERSION);
        return 0;
    }
    if (parsed.has("quiet") && parsed.has("verbose"))
        return usage_error("--quiet and --verbose exclude each other");
    set_verbosity(parsed.has("quiet"), parsed.has("verbose"));
    std::vector<output_file> outputs = outputs_of(parsed);
    if (!check_outputs(outputs, error))
        return usage_error(error);
    for (const auto &o : outputs)
        if (o.to_stdout())
            reserve_stdout();

    report_begin(c.name);
    int status = c.run(parsed);
    if (caught_signal())
        status = signal_status();
    if (parsed.has("json")) {
        output_file json_out{"json", parsed.last("json")};
        if (!write_output(json_out, report_text(status, last_error()), error) && status == 0)
            status = fail(error);
    }
    return status;
}

} // namespace

int main(int argc, char **argv) {
    install_signal_handlers();
    use_locale_charset();

    // Options before the command; those that take a value take the next
    // argument with them.
    option_group known = all_options();
    std::vector<std::string> leading;
    int at = 1;
    for (; at < argc && argv[at][0] == '-' && argv[at][1] != '\0'; at++) {
        std::string arg = argv[at];
        leading.push_back(arg);
        const option_spec *o = find_option(known, arg);
        if (o && o->value && arg.find('=') == std::string::npos && at + 1 < argc)
            leading.push_back(argv[++at]);
    }

    if (at == argc) {
        parsed_args parsed;
        std::string error;
        if (!parse_args(general_options, leading, parsed, error))
            return usage_error(error);
        if (parsed.has("help")) {
            program_help(stdout);
            return 0;
        }
        if (parsed.has("version")) {
            printf("kestrel %s\n", KESTREL_VERSION);
            return 0;
        }
        program_help(stderr);
        return 2;
    }
    std::string name = argv[at];
    for (const auto &c : commands) {
        if (name != c.name)
            continue;
        std::vector<std::string> args = leading;
        args.insert(args.end(), argv + at + 1, argv + argc);
        return run_command(c, args);
    }
    return usage_error("unknown command '" + name + "'");
}
