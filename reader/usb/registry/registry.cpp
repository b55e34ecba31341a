// Serial-device listing: the host list of serial_registry_set, and the copy
// of the current listing that discovery walks.
#include "usb/registry/registry.h"

#include <cstdio>
#include <cstring>

#include "kestrel/kestrel.h"

namespace {

registry_device_t host_list[registry_host_max];
int host_count; // 0: the system listing is in force

registry_device_t listing[registry_system_max];
int listing_count;

static_assert(registry_host_max <= registry_system_max, "a host list must fit the listing");

bool fits(const char *text, size_t size) { return text == nullptr || strlen(text) < size; }

// Copies an optional text that fits; a null text is a missing property.
bool store_optional(char *field, size_t size, const char *text) {
    field[0] = '\0';
    if (text == nullptr)
        return false;
    snprintf(field, size, "%s", text);
    return true;
}

} // namespace

int serial_registry_set(const char *const *ttynames, const char *const *paths, int count) {
    if (count < 0 || count > registry_host_max)
        return -1;
    if (count > 0 && (ttynames == nullptr || paths == nullptr))
        return -1;
    for (int i = 0; i < count; i++) {
        if (!fits(ttynames[i], registry_name_size) || !fits(paths[i], registry_path_size))
            return -1;
    }
    for (int i = 0; i < count; i++) {
        registry_device_t *dev = &host_list[i];
        dev->has_name = store_optional(dev->name, sizeof dev->name, ttynames[i]);
        dev->has_path = store_optional(dev->path, sizeof dev->path, paths[i]);
    }
    host_count = count;
    return 0;
}

int registry_open(registry_iter_t *iter) {
    *iter = 0;
    listing_count = 0;
    if (host_count > 0) {
        memcpy(listing, host_list, sizeof host_list[0] * (size_t)host_count);
        listing_count = host_count;
        return 0;
    }
    int n = registry_system_scan(listing, registry_system_max);
    if (n < 0)
        return -1;
    listing_count = n;
    return 0;
}

const registry_device_t *registry_next(registry_iter_t *iter) {
    if (*iter < 0 || *iter >= listing_count)
        return nullptr;
    return &listing[(*iter)++];
}
