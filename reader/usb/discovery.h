// Reader discovery internals: taking the listing and probing its devices.
#pragma once

#include "kestrel/kestrel.h"
#include "usb/registry/registry.h"

// Takes the current serial-device listing; 0, or the listing's failure.
int FindModems(registry_iter_t *matchingServices);
// Probes the listed candidates; the number of readers recorded, 0 to 4.
int GetModemPaths(registry_iter_t *serialPortIterator, statfunc_t showstat, rdrfound_t rdrfound);
