#include "analysis/oui_registry.h"

#include <cstring>

#include "base/hex_digits.h"
#include "base/mac_text.h"

namespace {

constexpr int kMacBits = 48;
constexpr int kBitsPerHexDigit = 4;
constexpr int kBitsPerByte = 8;
constexpr int kBlockBits[] = {36, 28, 24};  // longest first: MA-S and IAB lie inside MA-L blocks
constexpr int kLongestName = 0xFFFF;
constexpr char kQuote = '"';
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kUtf8ContinuationMask = 0xC0;
constexpr unsigned char kUtf8Continuation = 0x80;
constexpr unsigned char kUtf8Lead2 = 0xC0;  // lead bytes of 2-, 3- and 4-byte sequences
constexpr unsigned char kUtf8Lead3 = 0xE0;
constexpr unsigned char kUtf8Lead4 = 0xF0;
constexpr std::uint64_t kFibonacciMultiplier = 0x9E3779B97F4A7C15;  // 2^64 / golden ratio
constexpr int kKeyBits = 64;
constexpr int kLongestAssignment = 9;    // hex digits, MA-S and IAB
constexpr int kLongestRegistryName = 16; // "MA-L", "IAB", with room
constexpr int kPrefixDigits = 6;         // every block's assignment starts with the MA-L part
// Linear probing stays short with a quarter of the slots free.
constexpr int kMostFullEighths = 6;
constexpr int kEighths = 8;

std::uint64_t KeyOf(std::uint64_t prefix, int bits) {
    return prefix | static_cast<std::uint64_t>(bits) << kMacBits;
}

int Log2(int capacity) {
    int bits = 0;
    while ((1 << (bits + 1)) <= capacity) ++bits;
    return bits;
}

int HomeSlot(const OuiRegistry& registry, std::uint64_t key) {
    return static_cast<int>((key * kFibonacciMultiplier) >> (kKeyBits - registry.slotBits));
}

// The slot that holds `key`, or the free one where it belongs.
OuiEntry* SlotOf(const OuiRegistry& registry, std::uint64_t key) {
    const int mask = registry.capacity - 1;
    for (int at = HomeSlot(registry, key);; at = (at + 1) & mask) {
        OuiEntry* slot = &registry.slots[at];
        if (slot->key == key || slot->key == 0) return slot;
    }
}

bool IsControl(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < kFirstPrintable || byte == kDelete;
}

// Where the line ends, and whether the quotes in it leave a quoted field open.
const char* LineEnd(const char* at, const char* end, bool* quoted) {
    const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    const char* stop = newline != nullptr ? newline : end;
    for (const char* q = at; q < stop; ++q) {
        q = static_cast<const char*>(std::memchr(q, kQuote, static_cast<std::size_t>(stop - q)));
        if (q == nullptr) break;
        *quoted = !*quoted;
    }
    return stop;
}

// One record line as the registry writes it: its registry's name, the
// assignment in hex, the organisation's name.
struct Record {
    std::uint64_t value;  // the assignment
    int bits;             // its length: 24, 28 or 36
    const char* name;     // the name field as written
    const char* nameEnd;
};

// The name field from `at` (just past the assignment's comma) to its
// unquoted comma or the line's end: quotes may hold commas, "" stands for one.
const char* NameEnd(const char* at, const char* stop) {
    if (at < stop && *at != kQuote) {  // most names: no quotes, so the next comma ends it
        const char* comma = static_cast<const char*>(std::memchr(at, ',', static_cast<std::size_t>(stop - at)));
        if (comma == nullptr) return stop;
        if (std::memchr(at, kQuote, static_cast<std::size_t>(comma - at)) == nullptr) return comma;
    }
    bool quoted = false;
    for (const char* c = at; c < stop; ++c) {
        if (*c == kQuote) quoted = !quoted;
        if (!quoted && *c == ',') return c;
    }
    return stop;
}

// By the rule DecodeName shows it: spaces, control bytes and quotes alone are no name.
bool HoldsName(const char* name, const char* end) {
    for (const char* c = name; c < end; ++c)
        if (*c != ' ' && *c != kQuote && !IsControl(*c)) return true;
    return false;
}

bool IsBlockLength(int bits) {
    for (const int length : kBlockBits)
        if (length == bits) return true;
    return false;
}

// The record on the line [line, stop), if it is one: an assignment of 6, 7
// or 9 hex digits after the first comma, then a name.
bool ReadRecord(const char* line, const char* stop, Record* record) {
    const char* comma = static_cast<const char*>(std::memchr(line, ',', static_cast<std::size_t>(stop - line)));
    if (comma == nullptr) return false;
    record->value = 0;
    const char* at = comma + 1;
    for (; at < stop && *at != ','; ++at) {
        const int digit = HexDigitValue(*at);
        if (digit < 0 || at - comma > kLongestAssignment) return false;
        record->value = (record->value << kBitsPerHexDigit) | static_cast<std::uint64_t>(digit);
    }
    record->bits = static_cast<int>(at - comma - 1) * kBitsPerHexDigit;
    if (at == stop || !IsBlockLength(record->bits)) return false;
    record->name = at + 1;
    record->nameEnd = NameEnd(record->name, stop);
    return HoldsName(record->name, record->nameEnd);
}

int NameLength(const Record& record) {
    const long length = record.nameEnd - record.name;
    return static_cast<int>(length < kLongestName ? length : kLongestName);
}

void AddRecord(OuiRegistry* registry, const char* line, const char* stop) {
    Record record{};
    if (!ReadRecord(line, stop, &record)) return;
    if (registry->count >= registry->capacity * kMostFullEighths / kEighths) {
        registry->full = true;
        return;
    }
    const std::uint64_t key = KeyOf(record.value << (kMacBits - record.bits), record.bits);
    OuiEntry* slot = SlotOf(*registry, key);
    if (slot->key != 0) return;  // the file's first record for the block wins
    *slot = OuiEntry{key, record.name, NameLength(record)};
    ++registry->count;
}

std::uint64_t MacValue(const unsigned char* mac) {
    std::uint64_t value = 0;
    for (int i = 0; i < kMacLength; ++i) value = (value << kBitsPerByte) | mac[i];
    return value;
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & kUtf8ContinuationMask) == kUtf8Continuation;
}

// name[0, length) less a UTF-8 sequence the end cuts in two.
int WholeCharacters(const char* name, int length) {
    int lead = length;
    while (lead > 0 && IsContinuation(name[lead - 1])) --lead;
    if (lead == 0) return length;
    const unsigned char first = static_cast<unsigned char>(name[lead - 1]);
    if (first < kUtf8Lead2) return length;
    const int needs = first >= kUtf8Lead4 ? 4 : first >= kUtf8Lead3 ? 3 : 2;
    return length - (lead - 1) == needs ? length : lead - 1;
}

// The field's text with its quoting undone, control bytes as spaces and the
// ends trimmed, into name[0, size), terminated.
void DecodeName(const char* raw, int length, char* name, int size) {
    int written = 0;
    int kept = 0;  // up to the last byte that is not a space
    bool quoted = false;
    for (int i = 0; i < length; ++i) {
        const bool escaped = quoted && raw[i] == kQuote && i + 1 < length && raw[i + 1] == kQuote;
        if (raw[i] == kQuote && !escaped) {
            quoted = !quoted;
            continue;
        }
        if (escaped) ++i;  // "" inside quotes stands for one
        const char c = IsControl(raw[i]) ? ' ' : raw[i];
        if (c == ' ' && written == 0) continue;
        if (written == size - 1) {
            name[WholeCharacters(name, kept)] = '\0';
            return;
        }
        name[written++] = c;
        if (c != ' ') kept = written;
    }
    name[kept] = '\0';
}


// Quote parity, kept while a scan moves forward through one text: a line
// inside a quoted field is no record.
struct QuoteCursor {
    const char* at;
    bool quoted;
};

bool InsideQuotes(QuoteCursor* cursor, const char* to) {
    for (const char* q = cursor->at; q < to; ++q) {
        q = static_cast<const char*>(std::memchr(q, kQuote, static_cast<std::size_t>(to - q)));
        if (q == nullptr) break;
        cursor->quoted = !cursor->quoted;
    }
    cursor->at = to;
    return cursor->quoted;
}

// The start of the line whose first comma is text[comma], or nullptr when
// another comma comes before it there.
const char* LineStartBefore(const char* text, int comma) {
    for (int at = comma - 1; at >= 0 && comma - at <= kLongestRegistryName; --at) {
        if (text[at] == '\n') return text + at + 1;
        if (text[at] == ',') return nullptr;
    }
    return comma <= kLongestRegistryName ? text : nullptr;
}

}  // namespace

void ScanOuiText(const char* text, int length, const unsigned char* mac, OuiMatch* best) {
    if (text == nullptr || length <= 0 || mac == nullptr || best == nullptr) return;
    // ",001A2B": the first six digits of every block that may hold the MAC.
    char needle[1 + kPrefixDigits] = {','};
    for (int i = 0; i < kPrefixDigits; ++i)
        needle[1 + i] = kUpperHex[(mac[i / 2] >> (i % 2 == 0 ? kBitsPerHexDigit : 0)) & kNibbleMask];
    const std::uint64_t value = MacValue(mac);
    const char* end = text + length;
    QuoteCursor quotes{text, false};
    for (const char* at = text; at < end; ++at) {
        at = static_cast<const char*>(memmem(at, static_cast<std::size_t>(end - at), needle, sizeof needle));
        if (at == nullptr) return;
        const char* line = LineStartBefore(text, static_cast<int>(at - text));
        if (line == nullptr) continue;
        const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
        Record record{};
        if (!ReadRecord(line, newline != nullptr ? newline : end, &record) || record.bits <= best->bits) continue;
        if (record.value != value >> (kMacBits - record.bits) || InsideQuotes(&quotes, line)) continue;
        *best = OuiMatch{record.name, NameLength(record), record.bits};
    }
}

bool VendorOfMatch(const OuiMatch& match, char* name, int size) {
    if (name == nullptr || size <= 0) return false;
    name[0] = '\0';
    if (match.name == nullptr) return false;
    DecodeName(match.name, match.nameLength, name, size);
    return name[0] != '\0';  // a buffer too small for the first character holds none
}

void StartOuiRegistry(OuiRegistry* registry, OuiEntry* slots, int capacity) {
    // A power of two, for the probe's mask; a registry without slots takes nothing.
    const int bits = capacity > 1 && slots != nullptr ? Log2(capacity) : 0;
    const int usable = bits > 0 ? 1 << bits : 0;
    if (usable > 0) std::memset(slots, 0, sizeof(OuiEntry) * static_cast<std::size_t>(usable));
    *registry = OuiRegistry{slots, usable, bits, 0, false};
}

void AddOuiText(OuiRegistry* registry, const char* text, int length) {
    if (text == nullptr || length <= 0 || registry->capacity == 0) return;
    const char* end = text + length;
    bool quoted = false;  // a quoted field runs on into the next line
    for (const char* line = text; line < end && !registry->full;) {
        const bool continued = quoted;
        const char* stop = LineEnd(line, end, &quoted);
        if (!continued) AddRecord(registry, line, stop);
        line = stop + 1;
    }
}

bool LookUpVendor(const OuiRegistry& registry, const unsigned char* mac, char* name, int size) {
    OuiMatch match{nullptr, 0, 0};
    if (mac != nullptr && registry.count > 0) {
        const std::uint64_t value = MacValue(mac);
        for (const int bits : kBlockBits) {
            const OuiEntry* block = SlotOf(registry, KeyOf((value >> (kMacBits - bits)) << (kMacBits - bits), bits));
            if (block->key == 0) continue;
            match = OuiMatch{block->name, block->nameLength, bits};
            break;
        }
    }
    return VendorOfMatch(match, name, size);
}
