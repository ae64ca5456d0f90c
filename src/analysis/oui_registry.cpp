#include "analysis/oui_registry.h"

#include "analysis/frame_fields.h"

#include <algorithm>

namespace {

constexpr int kMacBits = 48;
constexpr int kBitsPerHexDigit = 4;
constexpr int kBitsPerByte = 8;
constexpr int kBlockBits[] = {36, 28, 24};  // longest first: MA-S and IAB lie inside MA-L blocks
constexpr int kFieldsUsed = 3;              // registry, assignment, organisation name
constexpr int kAssignmentField = 1;
constexpr int kNameField = 2;
constexpr int kLongestName = 0xFFFF;
constexpr char kQuote = '"';
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kUtf8ContinuationMask = 0xC0;
constexpr unsigned char kUtf8Continuation = 0x80;
constexpr unsigned char kUtf8Lead2 = 0xC0;  // lead bytes of 2-, 3- and 4-byte sequences
constexpr unsigned char kUtf8Lead3 = 0xE0;
constexpr unsigned char kUtf8Lead4 = 0xF0;

struct Field {
    int start;
    int end;  // raw bytes [start, end), quotes included
};

// Reads one CSV field at *at, which moves past its delimiter; quotes may
// hold commas and line ends ("" toggles twice and stays inside). True when
// a comma ended it and the record has more.
bool ReadField(const char* text, int length, int* at, Field* field) {
    bool quoted = false;
    int i = *at;
    for (; i < length; ++i) {
        if (text[i] == kQuote) quoted = !quoted;
        if (!quoted && (text[i] == ',' || text[i] == '\n')) break;
    }
    *field = Field{*at, i};
    *at = i < length ? i + 1 : length;
    return i < length && text[i] == ',';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsBlockLength(int bits) {
    for (const int length : kBlockBits)
        if (length == bits) return true;
    return false;
}

// The block an assignment of 6, 7 or 9 hex digits names; false for anything else.
bool ParseAssignment(const char* text, const Field& field, OuiEntry* entry) {
    const int digits = field.end - field.start;
    const int bits = digits * kBitsPerHexDigit;
    if (!IsBlockLength(bits)) return false;
    std::uint64_t value = 0;
    for (int i = field.start; i < field.end; ++i) {
        const int digit = HexValue(text[i]);
        if (digit < 0) return false;
        value = (value << kBitsPerHexDigit) | static_cast<std::uint64_t>(digit);
    }
    entry->prefix = value << (kMacBits - bits);
    entry->bits = static_cast<std::uint8_t>(bits);
    return true;
}

bool IsControl(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < kFirstPrintable || byte == kDelete;
}

// By the rule DecodeName shows it: spaces, control bytes and quotes alone are no name.
bool HoldsName(const char* text, const Field& field) {
    for (int i = field.start; i < field.end; ++i)
        if (text[i] != ' ' && text[i] != kQuote && !IsControl(text[i])) return true;
    return false;
}

// Longest block first, then by prefix; the file's order among equals.
bool Before(const OuiEntry& a, const OuiEntry& b) {
    if (a.bits != b.bits) return a.bits > b.bits;
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return a.nameOffset < b.nameOffset;
}

std::uint64_t MacValue(const unsigned char* mac) {
    std::uint64_t value = 0;
    for (int i = 0; i < kMacBits / kBitsPerByte; ++i) value = (value << kBitsPerByte) | mac[i];
    return value;
}

const OuiEntry* FindBlock(const OuiRegistry& registry, std::uint64_t mac, int bits) {
    const OuiEntry key{(mac >> (kMacBits - bits)) << (kMacBits - bits), 0, 0, static_cast<std::uint8_t>(bits)};
    const OuiEntry* end = registry.entries + registry.count;
    const OuiEntry* found = std::lower_bound(registry.entries, end, key, Before);
    return found != end && found->bits == key.bits && found->prefix == key.prefix ? found : nullptr;
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

}  // namespace

OuiRegistry ParseOuiRegistry(const char* text, int length, OuiEntry* entries, int capacity) {
    OuiRegistry registry{text, text != nullptr && length > 0 ? length : 0, entries, 0, false};
    for (int at = 0; at < registry.length;) {
        Field fields[kFieldsUsed] = {};
        int count = 0;
        for (bool more = true; more;) {
            Field field{};
            more = ReadField(text, registry.length, &at, &field);
            if (count < kFieldsUsed) fields[count++] = field;
        }
        OuiEntry entry{};
        if (count < kFieldsUsed || !ParseAssignment(text, fields[kAssignmentField], &entry)) continue;
        if (!HoldsName(text, fields[kNameField])) continue;
        if (registry.count == capacity) {
            registry.full = true;
            break;
        }
        entry.nameOffset = static_cast<std::uint32_t>(fields[kNameField].start);
        entry.nameLength = static_cast<std::uint16_t>(std::min(fields[kNameField].end - fields[kNameField].start, kLongestName));
        entries[registry.count++] = entry;
    }
    std::sort(entries, entries + registry.count, Before);
    return registry;
}

bool LookUpVendor(const OuiRegistry& registry, const unsigned char* mac, char* name, int size) {
    if (name == nullptr || size <= 0) return false;
    name[0] = '\0';
    if (mac == nullptr || registry.entries == nullptr) return false;
    const std::uint64_t value = MacValue(mac);
    for (const int bits : kBlockBits) {
        const OuiEntry* block = FindBlock(registry, value, bits);
        if (block == nullptr) continue;
        DecodeName(registry.text + block->nameOffset, block->nameLength, name, size);
        return name[0] != '\0';  // a buffer too small for the first character holds none
    }
    return false;
}
