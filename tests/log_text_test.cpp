// The log's text buffer: the newest text goes in whole, the oldest lines make room.
#include "ui/log_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Appends in an exact-size heap buffer, so the sanitizers see any write past it.
std::string Append(const std::string& log, const std::string& text, int capacity) {
    std::vector<char> buffer(static_cast<std::size_t>(capacity), '\0');
    std::copy(log.begin(), log.end(), buffer.begin());
    AppendToLog(buffer.data(), capacity, text.c_str());
    EXPECT_EQ(buffer.back(), '\0');
    return buffer.data();
}

TEST(LogText, AppendsWhileItFitsThenDropsWholeOldLines) {
    EXPECT_EQ(Append("one\r\n", "two\r\n", 32), "one\r\ntwo\r\n");
    EXPECT_EQ(Append("one\r\ntwo\r\n", "six\r\n", 16), "one\r\ntwo\r\nsix\r\n");  // full with its terminator
    EXPECT_EQ(Append("one\r\ntwo\r\n", "seven\r\n", 16), "two\r\nseven\r\n");     // a byte more: a whole line goes
    EXPECT_EQ(Append("one\r\ntwo\r\nthree\r\n", "a much longer line\r\n", 32), "three\r\na much longer line\r\n");
    EXPECT_EQ(Append("no line end at all", "xy", 20), "xy");
    EXPECT_EQ(Append("old\r\n", std::string(40, 'n'), 16), std::string(15, 'n'));  // too long: its beginning stays
    EXPECT_EQ(Append("", "", 4), "");
}

}  // namespace
