// Status lines reach the host's callback with their indentation; scan data
// reaches the stored scan-data callback.
#include <gtest/gtest.h>
#include <string>

#include "core/core.h"

namespace {

std::string last_line;
int lines_seen;

int record_line(const char *line) {
    last_line = line;
    lines_seen++;
    return 42;
}

TEST(Statprintf, IndentsByLevel) {
    struct row {
        int level;
        const char *want;
    };
    static const row rows[] = {{0, "Found 3"}, {1, " Found 3"}, {3, "   Found 3"}, {-2, "Found 3"}};
    for (const row &r : rows) {
        SCOPED_TRACE(r.level);
        EXPECT_EQ(statprintf(record_line, r.level, "Found %d", 3), 42);
        EXPECT_EQ(last_line, r.want);
    }
}

TEST(Statprintf, NullCallbackFormatsNothing) {
    lines_seen = 0;
    EXPECT_EQ(statprintf(nullptr, 0, "%s", "ignored"), -1);
    EXPECT_EQ(lines_seen, 0);
}

TEST(Statprintf, LongLineIsCutAt255Characters) {
    std::string path(1023, 'p');
    EXPECT_EQ(statprintf(record_line, 0, "BSD path %d: %s", 0, path.c_str()), 42);
    ASSERT_EQ(last_line.size(), 255u);
    EXPECT_EQ(last_line.substr(0, 12), "BSD path 0: ");
    EXPECT_EQ(last_line.back(), 'p');

    // Indentation larger than the line leaves only spaces, still terminated.
    EXPECT_EQ(statprintf(record_line, 400, "%s", "text"), 42);
    EXPECT_EQ(last_line, std::string(255, ' '));
}

int scans_seen;
int record_scan(unsigned char *, int count) {
    scans_seen++;
    return count * 2;
}

TEST(ReaderDigitise, CallsStoredCallback) {
    digitise_callback = nullptr;
    unsigned char buf[4] = {};
    EXPECT_EQ(reader_digitise(buf, 4), 0);
    digitise_callback = record_scan;
    scans_seen = 0;
    EXPECT_EQ(reader_digitise(buf, 4), 8);
    EXPECT_EQ(reader_digitise(nullptr, -1), -2);
    EXPECT_EQ(scans_seen, 2);
    digitise_callback = nullptr;
}

} // namespace
