// The engine against the peers, one test per row of peer_cases.cpp.
#include <gtest/gtest.h>

#include "peer_harness.h"
#include "peers.h"
#include "support.h"

using namespace verifytest;

namespace verifytest {
// Rows print as their names in GoogleTest's messages.
void PrintTo(const peer_case &c, std::ostream *os) { *os << c.name; }
} // namespace verifytest

namespace {

class VerifyPeers : public testing::TestWithParam<peer_case> {};

TEST_P(VerifyPeers, ReadsWhatThePeersRead) {
    const peer_case &c = GetParam();
    if (c.zxing_format && c.zbar_symbology) {
        REQUIRE_PEERS("zint", "ZXingReader", "zbarimg");
    } else if (c.zxing_format) {
        REQUIRE_PEERS("zint", "ZXingReader");
    } else if (c.zbar_symbology) {
        REQUIRE_PEERS("zint", "zbarimg");
    } else {
        REQUIRE_PEERS("zint");
    }
    cross_check(c);
}

INSTANTIATE_TEST_SUITE_P(Rows, VerifyPeers, testing::ValuesIn(peer_cases()),
                         [](const testing::TestParamInfo<peer_case> &info) {
                             return std::string(info.param.name);
                         });

// A peer that is never there: the test skips outside CI and fails under
// CI. Disabled; the test below runs it as a child process both ways.
TEST(VerifyPeersRule, DISABLED_NeedsAMissingPeer) { REQUIRE_PEERS("zint", "kestrel-no-such-peer"); }

TEST(VerifyPeersRule, MissingPeerSkipsOutsideCIAndFailsUnderCI) {
    std::vector<std::string> argv = {testsupport::bin_dir() + "/test_verify",
                                     "--gtest_filter=VerifyPeersRule.DISABLED_NeedsAMissingPeer",
                                     "--gtest_also_run_disabled_tests"};
    struct row {
        const char *ci;
        int status;
        const char *says;
    };
    static const row rows[] = {
        {"CI=", 0, "peer missing: kestrel-no-such-peer"},
        {"CI=false", 0, "peer missing: kestrel-no-such-peer"},
        {"CI=true", 1, "peer missing under CI: kestrel-no-such-peer"},
        {"CI=1", 1, "peer missing under CI: kestrel-no-such-peer"},
    };
    for (const row &r : rows) {
        auto run = testsupport::run_program(argv, 60.0, "", {r.ci});
        EXPECT_EQ(run.status, r.status) << r.ci << "\n" << run.out;
        EXPECT_NE(run.out.find(r.says), std::string::npos) << r.ci << "\n" << run.out;
    }
}

} // namespace
