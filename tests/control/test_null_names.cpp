// Null names in status lines: a null calibration file, settings file or port
// name prints as "(null)", as printf prints it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control/control.h"
#include "kestrel/kestrel.h"

namespace {

std::vector<std::string> lines;

int keep_line(const char *line) {
    lines.push_back(line);
    return 0;
}

TEST(NullNames, PrintAsNull) {
    struct row {
        const char *calfile, *inifile;
        const char *calibration_line, *settings_line;
    };
    const row rows[] = {
        {nullptr, nullptr, "   Calibration: '(null)'", "   Settings   : '(null)'"},
        {"cal.txt", nullptr, "   Calibration: 'cal.txt'", "   Settings   : '(null)'"},
        {"", "host.ini", "   Calibration: ''", "   Settings   : 'host.ini'"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        SCOPED_TRACE("row " + std::to_string(i));
        lines.clear();
        // Class 0x200 is refused without touching any device.
        EXPECT_EQ(reader_activate(keep_line, rows[i].calfile, rows[i].inifile, 0x200, 0), RDR_UNSUPPORTED);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[1], rows[i].calibration_line);
        EXPECT_EQ(lines[2], rows[i].settings_line);
    }

    lines.clear();
    dummy_readerfound_showstat = keep_line;
    dummy_readerfound_func(256, nullptr, nullptr);
    dummy_readerfound_showstat = nullptr;
    EXPECT_EQ(lines, std::vector<std::string>{"256: '(null)' (FFFF)"});
}

} // namespace
