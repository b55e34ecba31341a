// What discovery did with each serial device, read from the library's
// status lines (their texts are fixed), and why a device gave no reader.
#pragma once

#include <string>
#include <vector>

namespace host {

struct probed_device {
    std::string name; // TTY name, "" when the device has none
    std::string path; // "" when it has none
    bool name_matched = false;
    int slot = -1; // the library's path slot while it was probed
    enum outcome { not_probed, found, no_answer, skipped } result = not_probed;
    unsigned serial = 0;            // when found
    std::vector<std::string> notes; // further status lines about it
};

// Starts a fresh record; the library's status callback feeds every line to
// observe_status.
void discovery_begin();
void observe_status(const std::string &line);
const std::vector<probed_device> &discovered_devices();
// The reader id of the last "Activating reader N:" line, or -1.
int activated_id();
// The path discovery last put in a slot, or "".
std::string slot_path(int slot);

// Why a device gave no reader, in a few words: the system's reason when it
// cannot be opened, no answer, a reply that failed its checksum, or the
// library's own note. "" for a device that was found.
std::string skip_reason(const probed_device &d);

// The system's reason why a device cannot be opened for reading and
// writing, with the group that usually grants access when permission is
// denied; "" when it opens.
std::string device_open_problem(const std::string &path);

} // namespace host
