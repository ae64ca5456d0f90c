// Who a target MAC belongs to: its maker, from the IEEE's registry as
// Debian's ieee-data ships it. Portable: the registry comes in as text, one
// file after the other, and is indexed in one pass over each, so that a
// maker costs a few milliseconds when the first one is needed.
#pragma once

#include <cstdint>

// The registry's CSV files, oui.csv (MA-L, 24-bit blocks), mam.csv (MA-M,
// 28-bit) and oui36.csv and iab.csv (MA-S and IAB, 36-bit), have some 46,000
// blocks between them; the index takes up to three quarters of its slots.
inline constexpr int kOuiSlotCapacity = 1 << 16;

// A maker's name as lumora shows it, terminated; longer ones are cut short.
inline constexpr int kVendorNameSize = 96;

// One block: its first MAC and prefix length, and its organisation's name
// as the registry writes it.
struct OuiEntry {
    std::uint64_t key;  // the block's first MAC as 48 bits, and the prefix length above them; 0: a free slot
    const char* name;   // the field as written, quotes included
    int nameLength;
};

// Open addressing over caller-owned slots (a power of two of them are
// used). The texts must outlive the lookups.
struct OuiRegistry {
    OuiEntry* slots;
    int capacity;
    int slotBits;  // capacity is 1 << slotBits
    int count;
    bool full;  // more blocks than the slots take: the rest are left out
};

void StartOuiRegistry(OuiRegistry* registry, OuiEntry* slots, int capacity);

// Indexes one file's CSV text: every record whose assignment is 6, 7 or 9
// hex digits and that has a name; the first of two records for one block
// wins. Anything else (the header lines, damage, a line inside a quoted
// field) is skipped. Reads no byte at or past `length`.
void AddOuiText(OuiRegistry* registry, const char* text, int length);

// Without an index: one block found for a MAC by scanning the registry's
// texts, the few times a run needs a maker.
struct OuiMatch {
    const char* name;  // the name field as written; nullptr: none found yet
    int nameLength;
    int bits;          // the block's prefix length; 0: none found yet
};

// Looks through one file's text for the blocks that hold `mac` (six bytes),
// as AddOuiText would index them, keeping in *best the longest found so far
// (the first of equals, so files scanned in order agree with the index).
// Reads no byte at or past `length`.
void ScanOuiText(const char* text, int length, const unsigned char* mac, OuiMatch* best);

// The match's maker, as LookUpVendor gives it.
bool VendorOfMatch(const OuiMatch& match, char* name, int size);

// The maker of the longest block that holds `mac` (six bytes), into
// name[0, size), terminated: the registry's text with its quoting undone,
// control bytes as spaces and the ends trimmed. False, name "", when no
// block holds it or nothing of its name fits.
bool LookUpVendor(const OuiRegistry& registry, const unsigned char* mac, char* name, int size);
