// Internal services of the core that every layer of the library uses: the
// host's scan-data callback and the checksum of an information reply.
// The core includes nothing of the other reader folders.
#pragma once

#include "kestrel/kestrel.h"

// The host's scan-data callback, stored by reader_start and never cleared;
// reader_digitise hands scan data to it.
extern callback_t digitise_callback;

// 16-bit checksum of an information reply: sum byte low, exclusive-or byte high.
reader_long CalcCKSum(const unsigned char *buf, unsigned int count);
