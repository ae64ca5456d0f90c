// Who a target MAC belongs to: its maker, from the IEEE's registry as
// Debian's ieee-data ships it, and what the address's own two flag bits say.
// Portable: the registry comes in as bytes.
#pragma once

#include <cstdint>

// The registry's CSV files, oui.csv (MA-L, 24-bit blocks), mam.csv (MA-M,
// 28-bit) and oui36.csv and iab.csv (MA-S and IAB, 36-bit), have some 46,000
// blocks between them; room for their growth.
inline constexpr int kOuiEntryCapacity = 65536;

// A maker's name as lumora shows it, terminated; longer ones are cut short.
inline constexpr int kVendorNameSize = 96;

// One block: its first MAC and its prefix length, and where its
// organisation's name lies in the registry text.
struct OuiEntry {
    std::uint64_t prefix;  // the MAC as 48 bits, the bits past the prefix clear
    std::uint32_t nameOffset;
    std::uint16_t nameLength;  // the field as written, quotes included
    std::uint8_t bits;         // 24, 28 or 36
};

// The caller owns both the text, which must outlive the lookups, and the entries.
struct OuiRegistry {
    const char* text;
    int length;
    const OuiEntry* entries;  // sorted for the lookup
    int count;
    bool full;  // more blocks than entries: the rest are left out
};

// Indexes registry CSV text, one or several of the files one after the
// other: every record whose assignment is 6, 7 or 9 hex digits and that has
// a name. Anything else (the header lines, damage) is skipped. Reads no byte
// at or past `length`.
OuiRegistry ParseOuiRegistry(const char* text, int length, OuiEntry* entries, int capacity);

// The maker of the longest block that holds `mac` (six bytes), into
// name[0, size), terminated: the registry's text with its quoting undone,
// control bytes as spaces and the ends trimmed. False, name "", when no
// block holds it or nothing of its name fits.
bool LookUpVendor(const OuiRegistry& registry, const unsigned char* mac, char* name, int size);
