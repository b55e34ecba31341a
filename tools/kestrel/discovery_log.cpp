// Discovery's status lines turned into what happened to each device.
#include "discovery_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

std::vector<probed_device> devices;
bool in_probe = false; // between a device's path line and the end of its probe
int last_activated = -1;
std::map<int, std::string> slot_paths;

// The status lines of discovery and activation, as the library words them.
const char name_line[] = "Serial stream name: ";
const char matched_line[] = " Path matched!";
const char path_line[] = "BSD path ";
const char no_answer_line[] = "No response from ";
const char found_line[] = "Got info for reader ";
const char activating_line[] = "Activating reader ";
const char found_count_end[] = " found!";

// The group that usually grants access to serial devices on Debian.
const char serial_group[] = "dialout";

} // namespace

void discovery_begin() {
    devices.clear();
    in_probe = false;
    last_activated = -1;
}

void observe_status(const std::string &line) {
    if (line.starts_with(name_line)) {
        in_probe = false;
        devices.push_back({});
        devices.back().name = line.substr(sizeof name_line - 1);
    } else if (line == matched_line && !devices.empty()) {
        devices.back().name_matched = true;
    } else if (line.starts_with(path_line)) {
        int slot = -1, consumed = 0;
        if (sscanf(line.c_str() + sizeof path_line - 1, "%d: %n", &slot, &consumed) != 1 || consumed == 0)
            return;
        // A named device announces its name first; an unnamed one starts here.
        if (devices.empty() || !devices.back().path.empty() || !devices.back().name_matched)
            devices.push_back({});
        probed_device &d = devices.back();
        d.path = line.substr(sizeof path_line - 1 + (size_t)consumed);
        d.slot = slot;
        d.result = probed_device::skipped;
        slot_paths[slot] = d.path;
        in_probe = true;
    } else if (line.starts_with(no_answer_line) && in_probe) {
        devices.back().result = probed_device::no_answer;
        in_probe = false;
    } else if (line.starts_with(found_line) && in_probe) {
        devices.back().result = probed_device::found;
        devices.back().serial = (unsigned)strtoul(line.c_str() + sizeof found_line - 1, nullptr, 16);
        in_probe = false;
    } else if (line.starts_with(activating_line)) {
        last_activated = atoi(line.c_str() + sizeof activating_line - 1);
    } else if (line.ends_with(found_count_end) && line.find(" reader") != std::string::npos) {
        in_probe = false; // "N readers found!": discovery has ended
    } else if (in_probe) {
        devices.back().notes.push_back(line);
    }
}

const std::vector<probed_device> &discovered_devices() { return devices; }

int activated_id() { return last_activated; }

std::string slot_path(int slot) {
    auto it = slot_paths.find(slot);
    return it == slot_paths.end() ? "" : it->second;
}

std::string device_open_problem(const std::string &path) {
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        return "";
    }
    int err = errno;
    std::string reason = strerror(err);
    if (err == EACCES || err == EPERM) {
        // Serial devices belong to a group whose members may use them.
        struct stat st;
        const struct group *g =
            stat(path.c_str(), &st) == 0 && st.st_gid != 0 ? getgrgid(st.st_gid) : nullptr;
        std::string group = g ? g->gr_name : serial_group;
        reason += " (membership of the group " + group + " usually grants access to " +
                  (g ? std::string("this device") : std::string("serial devices")) + ")";
    }
    return reason;
}

std::string skip_reason(const probed_device &d) {
    switch (d.result) {
    case probed_device::found: return "";
    case probed_device::no_answer: return "no answer to the information request";
    case probed_device::not_probed:
        if (!d.name.empty() && !d.name_matched)
            return "not probed: its name does not begin with usbserial-0000";
        return d.path.empty() ? "no device path" : "not probed";
    case probed_device::skipped: break;
    }
    if (!d.notes.empty())
        return d.notes.back();
    std::string problem = device_open_problem(d.path);
    if (!problem.empty())
        return "cannot open it: " + problem;
    return "its information reply failed the checksum";
}

} // namespace host
