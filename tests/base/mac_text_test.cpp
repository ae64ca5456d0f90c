// --mac's value: the three forms accepted, everything else refused, and the
// match against a received target.
#include "base/mac_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr MacAddress kTarget{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};

TEST(MacFilter, AcceptsTheThreeFormsInEitherCase) {
    for (const char* text : {"00:1A:2B:3C:4D:5E", "00:1a:2B:3c:4D:5e", "00-1a-2b-3c-4d-5e", "00-1A-2B-3C-4D-5E",
                             "001a2b3c4d5e", "001A2B3C4D5E"}) {
        MacAddress mac{};
        EXPECT_TRUE(ParseMac(text, std::strlen(text), &mac)) << text;
        EXPECT_EQ(std::memcmp(mac.bytes, kTarget.bytes, kMacLength), 0) << text;
    }
}

TEST(MacFilter, RefusesAnythingElseAndLeavesTheAddressAlone) {
    const char* const refused[] = {
        "",                   // nothing
        "00:1A:2B:3C:4D",     // a length no form has: five bytes, seven, a digit short or a space more
        "00:1A-2B:3C:4D:5E",  // mixed separators
        "00.1A.2B.3C.4D.5E",  // another separator
        "0x1a2b3c4d5e",       // not hex, bare
        "00:1G:2B:3C:4D:5E",  // not hex, separated
    };
    for (const char* text : refused) {
        const MacAddress before{{1, 2, 3, 4, 5, 6}};
        MacAddress mac = before;
        EXPECT_FALSE(ParseMac(text, std::strlen(text), &mac)) << '"' << text << '"';
        EXPECT_EQ(std::memcmp(mac.bytes, before.bytes, kMacLength), 0) << text;
    }
}

TEST(MacFilter, MatchesOnlyAWholeEqualTarget) {
    struct MatchCase {
        unsigned char received[kMacLength];
        int available;
        bool matches;
    };
    const MatchCase cases[] = {
        {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, 6, true},
        {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F}, 6, false},  // the last byte differs
        {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, 5, false},  // the packet ended inside the MAC
    };
    for (const MatchCase& c : cases) EXPECT_EQ(MacMatches(kTarget, c.received, c.available), c.matches) << c.available;
}

}  // namespace
