// --mac's value: the three forms accepted, everything else refused, and the
// match against a received target.
#include "linux/mac_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr unsigned char kTarget[kMacAddressLength] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

const char* const kAccepted[] = {
    "00:1A:2B:3C:4D:5E", "00:1a:2b:3c:4d:5e", "00-1a-2b-3c-4d-5e", "00-1A-2B-3C-4D-5E",
    "001a2b3c4d5e",      "001A2B3C4D5E",      "00:1a:2B:3c:4D:5e",
};

const char* const kRefused[] = {
    "",                    // nothing
    "00:1A:2B:3C:4D",      // five bytes
    "00:1A:2B:3C:4D:5E:6F",  // seven
    "001a2b3c4d5",         // plain, a digit short
    "001a2b3c4d5e0",       // plain, a digit over
    "00:1A-2B:3C:4D:5E",   // mixed separators
    "00.1A.2B.3C.4D.5E",   // another separator
    "00 1A 2B 3C 4D 5E",   // spaces
    " 001a2b3c4d5e",       // leading space
    "001a2b3c4d5e ",       // trailing space
    "+0:1A:2B:3C:4D:5E",   // a sign where a digit goes
    "0x1a2b3c4d5e",        // a prefix
    "00:1G:2B:3C:4D:5E",   // not hex
    "0:1A:2B:3C:4D:5E:",   // one-digit byte, separator moved
};

TEST(MacFilter, AcceptsTheThreeFormsInEitherCase) {
    for (const char* text : kAccepted) {
        MacAddress mac{};
        EXPECT_TRUE(ParseMacAddress(text, &mac)) << text;
        EXPECT_EQ(std::memcmp(mac.bytes, kTarget, sizeof kTarget), 0) << text;
    }
}

TEST(MacFilter, RefusesAnythingElseAndLeavesTheAddressAlone) {
    for (const char* text : kRefused) {
        MacAddress mac{{1, 2, 3, 4, 5, 6}};
        EXPECT_FALSE(ParseMacAddress(text, &mac)) << '"' << text << '"';
        EXPECT_EQ(mac.bytes[0], 1) << text;
        EXPECT_EQ(mac.bytes[5], 6) << text;
    }
}

struct MatchCase {
    const char* name;
    unsigned char received[kMacAddressLength];
    int available;
    bool matches;
};

const MatchCase kMatches[] = {
    {"same", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, 6, true},
    {"last byte differs", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F}, 6, false},
    {"first byte differs", {0x01, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, 6, false},
    {"packet ended inside the MAC", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, 5, false},
    {"nothing received", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, 0, false},
};

TEST(MacFilter, MatchesOnlyAWholeEqualTarget) {
    MacAddress wanted{};
    ASSERT_TRUE(ParseMacAddress("00:1a:2b:3c:4d:5e", &wanted));
    for (const MatchCase& c : kMatches) EXPECT_EQ(MacMatches(wanted, c.received, c.available), c.matches) << c.name;
}

}  // namespace
