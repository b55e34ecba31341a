// Library-internal declarations shared by the reader/common sources.
#pragma once

#include "kestrel/kestrel.h"

// The host's scan-data callback, stored by reader_start and never cleared.
extern callback_t digitise_callback;

// 16-bit checksum of an information reply: sum byte low, exclusive-or byte high.
reader_long CalcCKSum(const unsigned char *buf, unsigned int count);

// Id of the active reader, READER_NONE when none.
extern int current_id;
// Status callback of the selection callback; set only while reader_find enumerates.
extern statfunc_t dummy_readerfound_showstat;
