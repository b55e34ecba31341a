// Puts the library on a simulated reader: starts the simulator and activates
// it as reader 0x100 through the control API, as a host would after discovery.
#pragma once

#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

#include "kestrel/kestrel.h"
#include "readersim.h"
#include "usb/transport.h"

namespace bench {

// Starts the simulator with `cfg` and activates it; the activation drains
// the line for about a second. On failure the benchmark is marked skipped
// and false returned.
inline bool activate_simulated_reader(benchmark::State &state, readersim::simulator &sim,
                                      const readersim::config &cfg) {
    if (!sim.start(cfg)) {
        state.SkipWithError("simulator did not start");
        return false;
    }
    snprintf(bsdPaths[0], sizeof bsdPaths[0], "%s", sim.path().c_str());
    int r = reader_activate(nullptr, nullptr, nullptr, READER_CLASS_USB, 0);
    if (r != RDR_OK) {
        state.SkipWithError(("reader_activate returned " + std::to_string(r)).c_str());
        reader_usb_close();
        return false;
    }
    return true;
}

// Stops the reader and closes the library's channel, before the simulator goes.
inline void finish_simulated_reader() {
    reader_stop();
    reader_usb_close();
}

} // namespace bench
