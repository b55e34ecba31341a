// Peers for cross-checks: present or missing, and whether this is CI.
#include "peers.h"

#include "support.h"

namespace testsupport {

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
