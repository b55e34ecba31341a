// Serial-device listing for discovery: the system's serial devices, or a list
// handed in by the host, in a stable order; each with an optional TTY name
// and an optional path to open. Fixed tables only.
#pragma once

constexpr int registry_name_size = 128;  // TTY name with its NUL
constexpr int registry_path_size = 1024; // path with its NUL
constexpr int registry_host_max = 16;    // devices in a host list
constexpr int registry_system_max = 64;  // devices kept from the system listing

struct registry_device_t {
    bool has_name; // false: the device has no TTY name
    bool has_path; // false: the device has no path to open
    char name[registry_name_size];
    char path[registry_path_size];
};

// Position in the listing taken by registry_open.
typedef int registry_iter_t;

// Takes a fresh copy of the current listing (the host list when one is set,
// otherwise the system's) and puts *iter before its first device.
// 0, or -1 when the system listing cannot be read.
int registry_open(registry_iter_t *iter);
// The next device of the copy, or null when there are no more.
const registry_device_t *registry_next(registry_iter_t *iter);

// ---- System backend (one file per platform) ----

// Fills table with at most capacity devices of the system listing;
// their number, or -1 when it cannot be read.
int registry_system_scan(registry_device_t *table, int capacity);

// Linux: the serial devices under a sysfs tree at root ("/sys" on a live
// system); their number, or -1 when root/class/tty cannot be read.
int registry_scan_sysfs(const char *root, registry_device_t *table, int capacity);
// Where registry_system_scan looks: a sysfs root, or null for "/sys".
// 0, or -1 when the text is too long (nothing changed then).
int registry_set_sysfs_root(const char *root);
