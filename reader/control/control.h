// State of the control layer, shared by its sources and reached by the tests.
#pragma once

#include "kestrel/kestrel.h"

// The current reader belongs to the control layer: it alone decides which
// reader is current (current_id, set on activation, READER_NONE after
// reader_stop) and clears the record on stop. The record itself,
// current_info, is exported data kept by the core; the USB connection points
// it at the record it has just verified, because usb_activate, which a host
// may call directly, promises to make that record current.
extern int current_id;
// Status callback of the selection callback; set only while reader_find enumerates.
extern statfunc_t dummy_readerfound_showstat;
// The selection rule's state during reader_find: the reader the host used
// last (READER_NONE: none known) and the reader chosen so far.
extern volatile int previous_id;
extern volatile int found_id;
