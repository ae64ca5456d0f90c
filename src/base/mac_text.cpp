#include "base/mac_text.h"

#include <cstring>

#include "base/hex_digits.h"

namespace {

constexpr int kDigitsPerByte = 2;
constexpr std::size_t kPlainLength = kMacLength * kDigitsPerByte;                    // 001a2b3c4d5e
constexpr std::size_t kSeparatedLength = kPlainLength + kMacLength - 1;              // 00:1a:2b:3c:4d:5e
constexpr unsigned kAllMissing = (1u << kMacLength) - 1;
constexpr char kMissingByte[] = "--";

// Six two-digit bytes, `stride` characters apart, each gap holding
// `separator`; "--" allowed where `missing` is given.
bool ReadBytes(const char* text, int stride, char separator, unsigned char* bytes, unsigned* missing) {
    for (int i = 0; i < kMacLength; ++i) {
        const char* at = text + i * stride;
        if (separator != '\0' && i + 1 < kMacLength && at[kDigitsPerByte] != separator) return false;
        if (missing != nullptr && at[0] == '-' && at[1] == '-') {
            *missing |= 1u << i;
            bytes[i] = 0;
            continue;
        }
        const int high = HexDigitValue(at[0]);
        const int low = HexDigitValue(at[1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<unsigned char>((high << kNibbleBits) | low);
    }
    return true;
}

}  // namespace

bool ParseMac(const char* text, std::size_t length, MacAddress* mac, unsigned* missing) {
    if (text == nullptr || mac == nullptr) return false;
    unsigned char bytes[kMacLength];
    unsigned absent = 0;
    bool parsed = false;
    if (length == kPlainLength) {
        parsed = ReadBytes(text, kDigitsPerByte, '\0', bytes, nullptr);
    } else if (length == kSeparatedLength) {
        // The first gap fixes the separator; ReadBytes holds every other gap to it.
        const char separator = text[kDigitsPerByte];
        parsed = (separator == ':' || separator == '-') &&
                 ReadBytes(text, kDigitsPerByte + 1, separator, bytes, separator == ':' ? &absent : nullptr);
    }
    if (!parsed || (absent != 0 && missing == nullptr)) return false;
    std::memcpy(mac->bytes, bytes, sizeof bytes);
    if (missing != nullptr) *missing = absent;
    return true;
}

bool MacMatches(const MacAddress& wanted, const unsigned char* mac, int available) {
    if (mac == nullptr || available < kMacLength) return false;
    return std::memcmp(wanted.bytes, mac, kMacLength) == 0;
}

unsigned MissingPast(int available) {
    if (available <= 0) return kAllMissing;
    return available >= kMacLength ? 0 : kAllMissing & ~((1u << available) - 1);
}

void FormatMac(const unsigned char* mac, unsigned missing, char* text) {
    char* out = text;
    for (int i = 0; i < kMacLength; ++i) {
        if (i > 0) *out++ = ':';
        const bool received = mac != nullptr && (missing >> i & 1u) == 0;
        out[0] = received ? kUpperHex[mac[i] >> kNibbleBits] : kMissingByte[0];
        out[1] = received ? kUpperHex[mac[i] & kNibbleMask] : kMissingByte[1];
        out += kDigitsPerByte;
    }
    *out = '\0';
}
