// Peers for cross-checks: present or missing, and whether this is CI.
#include "peers.h"

#include <cstdlib>
#include <cstring>

#include "support.h"

namespace testsupport {

bool in_ci() {
    const char *ci = std::getenv("CI");
    return ci && *ci && std::strcmp(ci, "false") != 0 && std::strcmp(ci, "0") != 0;
}

std::string missing_peers(std::initializer_list<std::string> peers) {
    std::string missing;
    for (const std::string &peer : peers) {
        bool present = peer == "python3-stdnum"
                           ? run_program({"/usr/bin/python3", "-c", "import stdnum.luhn"}, 30.0).status == 0
                           : have_program(peer);
        if (!present)
            missing += (missing.empty() ? "" : " ") + peer;
    }
    return missing;
}

} // namespace testsupport
