// MAC addresses as the user types them (--mac) and as lumora prints them.
#pragma once

#include "analysis/frame_fields.h"

constexpr int kMacAddressLength = frame_fields::kMacLength;
// "00:1A:2B:3C:4D:5E" and its terminator.
constexpr int kMacTextSize = 18;

struct MacAddress {
    unsigned char bytes[kMacAddressLength];
};

// Accepts 00:1A:2B:3C:4D:5E, 00-1a-2b-3c-4d-5e and 001a2b3c4d5e, in either
// case; anything else (mixed separators, another length, spaces, signs) is
// rejected and leaves *mac unchanged.
bool ParseMacAddress(const char* text, MacAddress* mac);

// Whether the `available` bytes at `mac` (a target MAC as received; fewer
// than six when the packet ended inside it) are exactly `wanted`.
bool MacMatches(const MacAddress& wanted, const unsigned char* mac, int available);

// Writes "00:1A:2B:3C:4D:5E" into `text` (kMacTextSize bytes), "--" for each
// byte past `available`, as the report shows bytes that never arrived.
void FormatMacAddress(const unsigned char* mac, int available, char* text);
