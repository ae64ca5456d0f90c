// Hex digits, written and read, in one place.
#pragma once

inline constexpr char kUpperHex[] = "0123456789ABCDEF";
inline constexpr char kLowerHex[] = "0123456789abcdef";
inline constexpr int kNibbleBits = 4;
inline constexpr int kNibbleMask = 0x0F;

// The value of a hex digit of either case, or -1.
inline int HexDigitValue(char c) {
    constexpr int kTen = 10;
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + kTen;
    if (c >= 'A' && c <= 'F') return c - 'A' + kTen;
    return -1;
}
