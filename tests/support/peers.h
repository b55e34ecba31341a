// Independent peers for cross-checks (zint, ZXingReader, zbarimg, Debian's
// python3-stdnum): a test that needs one skips where it is missing, but
// fails under CI (the CI environment variable set and not "false" or "0"),
// so that a missing install step never turns a cross-check into a pass.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "support.h"

namespace testsupport {

// The peers of the list that are missing here, separated by spaces; "" when
// all are present. A name is a program looked for on PATH, except
// "python3-stdnum", which is the module under Debian's /usr/bin/python3.
std::string missing_peers(std::initializer_list<std::string> peers);

} // namespace testsupport

// Skips the test (fails it under CI) unless every named peer is present.
#define REQUIRE_PEERS(...)                                                                                   \
    do {                                                                                                     \
        std::string missing_peers_ = testsupport::missing_peers({__VA_ARGS__});                              \
        if (!missing_peers_.empty()) {                                                                       \
            if (testsupport::under_ci())                                                                     \
                FAIL() << "peer missing under CI: " << missing_peers_ << " (scripts/install-deps.sh peers)"; \
            else                                                                                             \
                GTEST_SKIP() << "peer missing: " << missing_peers_ << " (scripts/install-deps.sh peers)";    \
        }                                                                                                    \
    } while (0)
