// Who the target is: its maker from registry lines in ieee-data's CSV form,
// and the hints its address bits give.
#include "analysis/hints.h"
#include "analysis/oui_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The forms the registry files hold: quoted names with commas and "",
// addresses over two lines, both line ends, a second file's header, damage.
const std::string kRegistry =
    "Registry,Assignment,Organization Name,Organization Address\r\n"
    "MA-L,001A2B,Lumora Test Devices,1 Test Street Springfield US 00001 \r\n"
    "MA-L,F4BD9E,\"Comma Networks, Inc\",80 Example Drive San Jose CA US 94568 \r\n"
    "MA-L,001EFC,\"JSC \"\"QUOTED\"\"\",\"15, A, Quay Saint-Petersburg RU 194044 \"\r\n"
    "MA-L,5885E9,Two Line Ltd,\"No.24 Boulevard,\r\nMA-L,112233,Block B, Chongqing CN 401120 \"\r\n"
    "MA-L,70B3D5,IEEE Registration Authority,445 Hoes Lane Piscataway NJ US 08554 \r\n"
    "MA-M,741AE09,Private,\r\n"
    "Registry,Assignment,Organization Name,Organization Address\r\n"
    "MA-S,70B3D5F2F,Thirty-Six Bits Ltd,\"Polbina st., 3/1 Moscow RU 109388 \"\r\n"
    "MA-M,208593B,Twenty-Eight Bits LLC,9737 Avenue Chatsworth CA US 91311\n"
    "MA-L,00ZZ00,Broken Hex,nowhere\r\n"
    "MA-L,0012,Too Short,nowhere\r\n"
    "MA-L,AABBCC,   ,no name\r\n"
    "MA-L,0A0B0C,Sn\xC3\xA5sa Maskin AS,NO 7760";

struct VendorCase {
    std::vector<unsigned char> mac;
    int size;
    const char* vendor;  // "": none found
};

const VendorCase kVendorCases[] = {
    {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, kVendorNameSize, "Lumora Test Devices"},
    {{0xF4, 0xBD, 0x9E, 0x00, 0x00, 0x01}, kVendorNameSize, "Comma Networks, Inc"},
    {{0x00, 0x1E, 0xFC, 0x00, 0x00, 0x01}, kVendorNameSize, "JSC \"QUOTED\""},
    {{0x58, 0x85, 0xE9, 0x00, 0x00, 0x01}, kVendorNameSize, "Two Line Ltd"},
    {{0x11, 0x22, 0x33, 0x00, 0x00, 0x01}, kVendorNameSize, ""},  // inside a quoted address
    {{0x70, 0xB3, 0xD5, 0xF2, 0xF1, 0x23}, kVendorNameSize, "Thirty-Six Bits Ltd"},
    {{0x70, 0xB3, 0xD5, 0xF3, 0x00, 0x00}, kVendorNameSize, "IEEE Registration Authority"},
    {{0x74, 0x1A, 0xE0, 0x9F, 0xFF, 0xFF}, kVendorNameSize, "Private"},
    {{0x74, 0x1A, 0xE0, 0x8F, 0xFF, 0xFF}, kVendorNameSize, ""},
    {{0x20, 0x85, 0x93, 0xB0, 0x00, 0x01}, kVendorNameSize, "Twenty-Eight Bits LLC"},
    {{0xAA, 0xBB, 0xCC, 0x00, 0x00, 0x01}, kVendorNameSize, ""},
    {{0x0A, 0x0B, 0x0C, 0x00, 0x00, 0x01}, kVendorNameSize, "Sn\xC3\xA5sa Maskin AS"},
    {{0x0A, 0x0B, 0x0C, 0x00, 0x00, 0x01}, 5, "Sn\xC3\xA5"},
    {{0x0A, 0x0B, 0x0C, 0x00, 0x00, 0x01}, 4, "Sn"},  // not half of the å
    {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, kVendorNameSize, ""},
};

constexpr int kRegistryBlocks = 9;

TEST(OuiRegistry, Vendors) {
    std::vector<OuiEntry> slots(kOuiSlotCapacity);
    // Exact-size copies, two files as lumora reads them, so the sanitizers see
    // any read past a text.
    const std::size_t split = kRegistry.find("Registry", 1);
    const std::vector<char> first(kRegistry.begin(), kRegistry.begin() + static_cast<long>(split));
    const std::vector<char> second(kRegistry.begin() + static_cast<long>(split), kRegistry.end());
    OuiRegistry registry{};
    StartOuiRegistry(&registry, slots.data(), kOuiSlotCapacity);
    AddOuiText(&registry, first.data(), static_cast<int>(first.size()));
    AddOuiText(&registry, second.data(), static_cast<int>(second.size()));
    EXPECT_EQ(registry.count, kRegistryBlocks);
    for (const VendorCase& c : kVendorCases) {
        SCOPED_TRACE(c.vendor);
        std::vector<char> name(static_cast<std::size_t>(c.size), 'x');
        EXPECT_EQ(LookUpVendor(registry, c.mac.data(), name.data(), c.size), *c.vendor != '\0');
        EXPECT_STREQ(name.data(), c.vendor);
        // The scan a run starts with finds the same maker as the index.
        OuiMatch match{nullptr, 0, 0};
        ScanOuiText(first.data(), static_cast<int>(first.size()), c.mac.data(), &match);
        ScanOuiText(second.data(), static_cast<int>(second.size()), c.mac.data(), &match);
        std::vector<char> scanned(static_cast<std::size_t>(c.size), 'x');
        EXPECT_EQ(VendorOfMatch(match, scanned.data(), c.size), *c.vendor != '\0');
        EXPECT_STREQ(scanned.data(), c.vendor);
    }
    std::vector<OuiEntry> few(4);
    OuiRegistry small{};
    StartOuiRegistry(&small, few.data(), static_cast<int>(few.size()));  // takes three blocks
    AddOuiText(&small, first.data(), static_cast<int>(first.size()));
    EXPECT_TRUE(small.full);
    EXPECT_EQ(small.count, 3);
}

struct MacHintCase {
    std::vector<unsigned char> mac;
    const char* hints;
};

// A universal MAC's none and a local one's are the end-to-end goldens'.
const MacHintCase kMacHintCases[] = {
    {{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}, "multicast-mac"},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "multicast-mac locally-administered"},
};

TEST(OuiRegistry, TargetMacHints) {
    for (const MacHintCase& c : kMacHintCases) {
        Hints hints{};
        AddTargetMacHints(c.mac.data(), "MAC-TEXT", &hints);
        std::string codes;
        for (int i = 0; i < hints.count; ++i)
            codes += (i > 0 ? " " : "") + std::string(HintInfoOf(hints.items[i].code).name);
        EXPECT_EQ(codes, c.hints);
    }
}

}  // namespace
