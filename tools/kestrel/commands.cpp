// The commands list, info and interpret.
#include "commands.h"

#include <cstdio>

#include "discovery_log.h"
#include "grade_output.h"
#include "interrupt.h"
#include "json_output.h"
#include "kestrel/kestrel.h"
#include "latin1.h"
#include "output.h"
#include "plugins.h"
#include "record_output.h"
#include "session.h"

namespace host {

namespace {

struct found_reader {
    int id;
    std::string port;
    readerinfo_t record;
};
std::vector<found_reader> found;

int on_found(int id, const char *portname, const readerinfo_t *info) {
    found.push_back({id, portname ? portname : "", info ? *info : readerinfo_t{}});
    return 0;
}

} // namespace

option_group list_options() { return combine({device_options, file_options, json_options, general_options}); }

int run_list(const parsed_args &args) {
    library_files files;
    reader_choice choice;
    std::string error;
    if (!prepare_reader(args, files, choice, error))
        return usage_error(error);
    found.clear();
    discovery_begin();
    int n = reader_enumerate(library_status, on_found, files.settings.c_str(), 0);
    if (caught_signal())
        return signal_status();
    std::vector<skipped_device> skipped = skipped_devices(choice);
    json readers = json::array(), skipped_json = json::array();
    for (const auto &f : found)
        readers.push_back(reader_json(f.id, f.port, f.record));
    for (const auto &s : skipped)
        skipped_json.push_back({{"name", s.name}, {"path", s.path}, {"reason", s.reason}});
    report()["readers"] = readers;
    report()["skipped"] = skipped_json;
    if (n <= 0)
        return fail(no_reader_text(skipped));
    for (const auto &s : skipped)
        warn("skipped " + s.line());
    char line[1200];
    snprintf(line, sizeof line, "%-6s %-32s %s\n", "ID", "PORT", "SERIAL");
    std::string table = line;
    for (const auto &f : found) {
        snprintf(line, sizeof line, "%-6d %-32s %04X\n", f.id, f.port.c_str(),
                 (unsigned)f.record.SerialNumber);
        table += line;
    }
    write_data(table);
    return 0;
}

option_group info_options() {
    return combine({device_options, reader_id_options, file_options, json_options, general_options});
}

int run_info(const parsed_args &args) {
    library_files files;
    reader_choice choice;
    std::string error;
    if (!prepare_reader(args, files, choice, error))
        return usage_error(error);
    reader_guard guard;
    activation a;
    int status = 0;
    if (!activate_for_command(files, choice, a, status))
        return status;
    char head[64];
    snprintf(head, sizeof head, "Reader %04X\n", (unsigned)a.record.SerialNumber);
    write_data(head + format_record(a.record));
    return 0;
}

option_group interpret_options() { return combine({plugin_options, json_options, general_options}); }

int run_interpret(const parsed_args &args) {
    if (args.positional.size() != 1)
        return usage_error("give one symbol, e.g. kestrel interpret ']A01234562'");
    symbol sym;
    std::string error;
    if (!parse_symbol(args.positional[0], sym, error))
        return usage_error(error);
    report()["symbol"] = latin1_to_utf8(args.positional[0]);
    report()["symbology"] = sym.symbology;
    report()["data"] = latin1_to_utf8(sym.data);

    std::string dir = args.last("plugin-dir", default_plugin_dir());
    std::vector<plugin_module> modules = load_plugins_noting_skipped(dir);
    if (modules.empty())
        return fail("no plug-in modules in " + dir);

    std::vector<module_answer> answers = offer_all(modules, sym);
    report()["answers"] = answers_json(answers);
    write_data(answers_text(answers));
    bool accepted = false, rejected = false;
    for (const auto &a : answers) {
        accepted |= a.answer.result == prAccepted;
        rejected |= a.answer.result == prRejected;
    }
    if (accepted)
        return 0;
    if (rejected)
        return fail("rejected: no plug-in accepts " + latin1_for_terminal(args.positional[0]));
    return fail("no plug-in claims " + latin1_for_terminal(args.positional[0]), status_unclaimed);
}

} // namespace host
