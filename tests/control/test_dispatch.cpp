// The control dispatch, cell by cell: every operation on every connection
// class, with no device behind the USB class.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "control/control.h"

namespace {

std::vector<std::string> lines;
int keep_line(const char *line) {
    lines.push_back(line);
    return 0;
}
int ignore_scan(unsigned char *, int) { return 0; }

enum { start, poll, getscan, getscan8bits, turboboost, stop, activation, ops };

struct column {
    int id;
    int want[ops];
};

// Expected results by class; the USB class has no device, so its scan
// fetch fails inside (reported to the callback) and still returns 0, and
// its activation finds no path for the index (69).
const column columns[] = {
    {0x101, {0, 0, 0, -1, -1, 0, 69}},
    {0x201, {-1, -1, -1, -1, -700, -1, -1}},
    {0x301, {0, -700, -700, -700, 0, -700, -700}},
    {0x401, {-101, -700, -700, -101, -700, -700, -100}},
    {0x501, {-101, -101, -101, -101, -101, -101, -100}},
    {-1, {-101, -101, -101, -101, -101, -101, -100}},
};

int run(int op) {
    switch (op) {
    case start: return reader_start(ignore_scan);
    case poll: return reader_poll();
    case getscan: return reader_getscan();
    case getscan8bits: return reader_getscan8bits();
    case turboboost: return reader_turboboost(1);
    default: return reader_stop();
    }
}

TEST(Dispatch, EveryOperationOnEveryClass) {
    for (const column &c : columns) {
        for (int op = start; op <= stop; op++) {
            SCOPED_TRACE(testing::Message() << "id 0x" << std::hex << c.id << " op " << op);
            current_id = c.id;
            current_info = nullptr;
            EXPECT_EQ(run(op), c.want[op]);
        }
        // reader_stop forgets the reader in every column.
        current_id = c.id;
        reader_stop();
        EXPECT_EQ(current_id, READER_NONE);
    }
}

TEST(Dispatch, ActivationOfEveryClass) {
    for (const column &c : columns) {
        SCOPED_TRACE(testing::Message() << "id 0x" << std::hex << c.id);
        current_id = READER_NONE;
        lines.clear();
        EXPECT_EQ(reader_activate(keep_line, "cal.txt", "set.ini", c.id, 0), c.want[activation]);
        EXPECT_EQ(current_id, READER_NONE);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "Reader not activated: error " + std::to_string(c.want[activation]));
    }
}

TEST(Dispatch, StopClearsLeftoverRecord) {
    current_id = READER_NONE;
    usb_info[3].SerialNumber = 0x4321;
    usb_info[3].calmin = 77;
    current_info = &usb_info[3];
    EXPECT_EQ(reader_stop(), RDR_NO_READER);
    EXPECT_EQ(current_info, nullptr);
    EXPECT_EQ(usb_info[3].SerialNumber, 0);
    EXPECT_EQ(usb_info[3].calmin, 0);
    EXPECT_EQ(usb_info[3].calmax, 0xFF00);
    EXPECT_EQ(reader_info(&usb_info[4]), RDR_NO_RECORD);
}

TEST(Dispatch, NoReaderOperations) {
    current_id = READER_NONE;
    for (int op = start; op <= stop; op++) {
        SCOPED_TRACE(op);
        EXPECT_EQ(run(op), RDR_NO_READER);
    }
}

TEST(SelectionRule, ReportsEachReaderAndTakesTheFirstWithARecord) {
    readerinfo_t info = {};
    info.SerialNumber = 0x00AB;
    lines.clear();
    dummy_readerfound_showstat = keep_line;
    // No previous reader (the hooks remember none): a reader without a
    // record is only the fallback, the first with a record is taken.
    EXPECT_EQ(dummy_readerfound_func(256, "/dev/ttyUSB0", nullptr), 0);
    EXPECT_EQ(dummy_readerfound_func(257, "/dev/ttyUSB1", &info), 1);
    dummy_readerfound_showstat = nullptr;
    EXPECT_EQ(dummy_readerfound_func(258, "/dev/ttyUSB2", &info), 1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "256: '/dev/ttyUSB0' (FFFF)");
    EXPECT_EQ(lines[1], "257: '/dev/ttyUSB1' (00AB)");
}

// Who the rule takes, reader by reader: the previous reader when it comes,
// else (with no previous reader) the first with a record, and failing both
// the first reader reported, kept as the fallback while discovery goes on.
TEST(SelectionRule, PreviousReaderThenFirstWithRecordThenFallback) {
    readerinfo_t info = {};
    struct report {
        int id;
        bool record;
        int result;   // what the callback answers
        int found_id; // the choice after the call
    };
    struct row {
        int previous_id;
        std::vector<report> reports;
    };
    const row rows[] = {
        // No previous reader: readers without a record are only fallbacks.
        {READER_NONE, {{256, false, 0, 256}, {257, false, 0, 256}, {258, true, 1, 258}}},
        // A previous reader that comes is taken, after other readers with records.
        {257, {{256, true, 0, 256}, {257, true, 1, 257}}},
        {257, {{256, false, 0, 256}, {258, true, 0, 256}, {257, false, 1, 257}}},
        // A previous reader that never comes: the first reported stays chosen.
        {300, {{256, true, 0, 256}, {257, true, 0, 256}, {258, false, 0, 256}}},
    };
    for (size_t r = 0; r < sizeof rows / sizeof rows[0]; r++) {
        previous_id = rows[r].previous_id;
        found_id = READER_NONE;
        for (size_t k = 0; k < rows[r].reports.size(); k++) {
            const report &rep = rows[r].reports[k];
            SCOPED_TRACE("row " + std::to_string(r) + ", report " + std::to_string(k));
            EXPECT_EQ(dummy_readerfound_func(rep.id, "/dev/ttyUSB0", rep.record ? &info : nullptr),
                      rep.result);
            EXPECT_EQ(found_id, rep.found_id);
        }
    }
    previous_id = READER_NONE;
    found_id = READER_NONE;
}

} // namespace
