// The log's text buffer: the newest text goes in whole, the oldest lines make room.
#include "ui/log_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Append { std::string log, text; int capacity; std::string expected; };

TEST(LogText, AppendsWhileItFitsThenDropsWholeOldLines) {
    const Append cases[] = {
        {"one\r\n", "two\r\n", 32, "one\r\ntwo\r\n"},
        {"one\r\ntwo\r\n", "six\r\n", 16, "one\r\ntwo\r\nsix\r\n"},  // exactly full with its terminator
        {"one\r\ntwo\r\n", "seven\r\n", 16, "two\r\nseven\r\n"},     // a byte more: the whole first line goes
        {"one\r\ntwo\r\nthree\r\n", "a much longer line\r\n", 32, "three\r\na much longer line\r\n"},
        {"no line end at all", "xy", 20, "xy"},
        {"old\r\n", std::string(40, 'n'), 16, std::string(15, 'n')},  // too long: its beginning stays
        {"", "", 4, ""},
    };
    for (const Append& c : cases) {
        std::vector<char> buffer(static_cast<std::size_t>(c.capacity), '\0');
        std::copy(c.log.begin(), c.log.end(), buffer.begin());
        AppendToLog(buffer.data(), c.capacity, c.text.c_str());
        EXPECT_EQ(buffer.back(), '\0');
        EXPECT_EQ(std::string(buffer.data()), c.expected) << c.log << " + " << c.text;
    }
}

}  // namespace
