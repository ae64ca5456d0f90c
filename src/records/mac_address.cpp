// MAC addresses: --mac's three spellings, the match, and the text lumora writes.
#include "records/mac_address.h"

#include <cstring>

namespace {

constexpr int kHexDigitsPerByte = 2;
constexpr int kPlainLength = kMacAddressLength * kHexDigitsPerByte;          // 001a2b3c4d5e
constexpr int kSeparatedLength = kPlainLength + kMacAddressLength - 1;        // 00:1a:2b:3c:4d:5e
constexpr int kDigitValueBase = 10;
constexpr int kNibbleBits = 4;
constexpr int kNibbleMask = 0x0F;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kMissingByte[] = "--";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + kDigitValueBase;
    if (c >= 'A' && c <= 'F') return c - 'A' + kDigitValueBase;
    return -1;
}

// Reads six two-digit bytes, `stride` characters apart, checking that each
// gap holds `separator`.
bool ReadBytes(const char* text, int stride, char separator, unsigned char* bytes) {
    for (int i = 0; i < kMacAddressLength; ++i) {
        const char* at = text + i * stride;
        const int high = HexValue(at[0]);
        const int low = HexValue(at[1]);
        if (high < 0 || low < 0) return false;
        if (separator != '\0' && i + 1 < kMacAddressLength && at[kHexDigitsPerByte] != separator) return false;
        bytes[i] = static_cast<unsigned char>((high << kNibbleBits) | low);
    }
    return true;
}

}  // namespace

bool ParseMacAddress(const char* text, MacAddress* mac) {
    if (text == nullptr || mac == nullptr) return false;
    const std::size_t length = std::strlen(text);
    unsigned char bytes[kMacAddressLength];
    bool parsed = false;
    if (length == kPlainLength) {
        parsed = ReadBytes(text, kHexDigitsPerByte, '\0', bytes);
    } else if (length == kSeparatedLength) {
        // The first gap fixes the separator; ReadBytes holds every other gap to it.
        const char separator = text[kHexDigitsPerByte];
        parsed = (separator == ':' || separator == '-') &&
                 ReadBytes(text, kHexDigitsPerByte + 1, separator, bytes);
    }
    if (parsed) std::memcpy(mac->bytes, bytes, sizeof bytes);
    return parsed;
}

bool MacMatches(const MacAddress& wanted, const unsigned char* mac, int available) {
    if (mac == nullptr || available < kMacAddressLength) return false;
    return std::memcmp(wanted.bytes, mac, kMacAddressLength) == 0;
}

void FormatMacAddress(const unsigned char* mac, int available, char* text) {
    char* out = text;
    for (int i = 0; i < kMacAddressLength; ++i) {
        if (i > 0) *out++ = ':';
        const bool received = mac != nullptr && i < available;
        out[0] = received ? kHexDigits[mac[i] >> kNibbleBits] : kMissingByte[0];
        out[1] = received ? kHexDigits[mac[i] & kNibbleMask] : kMissingByte[1];
        out += kHexDigitsPerByte;
    }
    *out = '\0';
}
