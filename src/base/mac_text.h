// MAC addresses as text: the one parser (--mac as the user types it, and the
// records lumora writes) and the one formatter.
#pragma once

#include <cstddef>

inline constexpr int kMacLength = 6;
// "00:1A:2B:3C:4D:5E" and its terminator.
inline constexpr int kMacTextSize = 18;
// Of a MAC's first byte: a group (broadcast or multicast) address, and one
// chosen by software rather than burnt in by a maker.
inline constexpr unsigned char kMacGroupBit = 0x01;
inline constexpr unsigned char kMacLocalBit = 0x02;

struct MacAddress {
    unsigned char bytes[kMacLength];
};

// Accepts 00:1A:2B:3C:4D:5E, 00-1a-2b-3c-4d-5e and 001a2b3c4d5e, in either
// case, from text[0, length); anything else (mixed separators, another
// length, spaces, signs) is rejected and leaves *mac unchanged. With
// `missing`, the colon form may also hold "--" for a byte never received,
// as lumora writes it: byte i sets bit i of *missing, and reads as 0.
bool ParseMac(const char* text, std::size_t length, MacAddress* mac, unsigned* missing = nullptr);

// Whether the `available` bytes at `mac` (a target MAC as received; fewer
// than six when the packet ended inside it) are exactly `wanted`.
bool MacMatches(const MacAddress& wanted, const unsigned char* mac, int available);

// The bytes past the first `available`, as a `missing` mask.
unsigned MissingPast(int available);

// "00:1A:2B:3C:4D:5E" into text[0, kMacTextSize), "--" for each byte whose
// bit is set in `missing` (all of them when `mac` is nullptr).
void FormatMac(const unsigned char* mac, unsigned missing, char* text);
