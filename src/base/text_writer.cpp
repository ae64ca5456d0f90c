#include "base/text_writer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/hex_digits.h"

namespace text_writer {

namespace {

constexpr unsigned char kFirstNonControl = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr char kUnknownName[] = "-";

// The well-formed UTF-8 sequences by lead byte: their length and the range
// the second byte must lie in (narrower after E0, ED, F0 and F4, which rules
// out overlong forms, surrogates and code points past U+10FFFF).
struct Utf8Lead {
    unsigned char first;
    unsigned char last;
    int length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

constexpr unsigned char kContinuationLow = 0x80;
constexpr unsigned char kContinuationHigh = 0xBF;
constexpr Utf8Lead kUtf8Leads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

bool IsContinuation(unsigned char byte) { return byte >= kContinuationLow && byte <= kContinuationHigh; }

// Length of the valid UTF-8 sequence at `s` (2-4), or 0. Stops at the first
// byte that does not fit, so it never reads past the terminator.
int Utf8SequenceLength(const unsigned char* s) {
    for (const Utf8Lead& lead : kUtf8Leads) {
        if (s[0] < lead.first || s[0] > lead.last) continue;
        if (s[1] < lead.secondLow || s[1] > lead.secondHigh) return 0;
        for (int i = 2; i < lead.length; ++i)
            if (!IsContinuation(s[i])) return 0;
        return lead.length;
    }
    return 0;
}

void PutEscaped(TextWriter& out, const char* prefix, unsigned char byte) {
    PutText(out, prefix);
    PutHexByte(out, byte, kLowerHex);
}

bool IsControl(unsigned char byte) { return byte < kFirstNonControl || byte == kDelete; }

bool BreaksLine(unsigned char byte, bool name) { return IsControl(byte) || (name && (byte == ' ' || byte == '\\')); }

void PutLine(TextWriter& out, const char* text, bool name) {
    for (const char* c = text; *c != '\0' && !out.full;) {
        const char* plain = c;  // a run that needs no escape, put whole
        while (*plain != '\0' && !BreaksLine(static_cast<unsigned char>(*plain), name)) ++plain;
        if (plain != c) {
            Put(out, c, static_cast<int>(plain - c));
            c = plain;
            continue;
        }
        PutEscaped(out, "\\x", static_cast<unsigned char>(*c++));
    }
}

}  // namespace

void Put(TextWriter& out, const char* piece, int count) {
    if (out.full) return;
    if (count > out.size - 1 - out.length) {
        out.full = true;
        return;
    }
    std::memcpy(out.text + out.length, piece, static_cast<std::size_t>(count));
    out.length += count;
}

void PutText(TextWriter& out, const char* piece) { Put(out, piece, static_cast<int>(std::strlen(piece))); }

void PutChar(TextWriter& out, char c) { Put(out, &c, 1); }

void PutFormat(TextWriter& out, const char* format, ...) {
    if (out.full) return;
    const int room = out.size - out.length;
    std::va_list args;
    va_start(args, format);
    const int count = std::vsnprintf(out.text + out.length, static_cast<std::size_t>(room), format, args);
    va_end(args);
    if (count < 0 || count >= room) {
        out.full = true;
        return;
    }
    out.length += count;
}

void PutHexByte(TextWriter& out, unsigned char byte, const char* digits) {
    const char pair[] = {digits[byte >> kNibbleBits], digits[byte & kNibbleMask]};
    Put(out, pair, sizeof pair);
}

void PutHex(TextWriter& out, const unsigned char* bytes, int count, const char* separator) {
    for (int i = 0; i < count && !out.full; ++i) {
        if (i > 0) PutText(out, separator);
        PutHexByte(out, bytes[i], kUpperHex);
    }
}

int Finish(TextWriter& out) {
    if (out.text == nullptr || out.size <= 0) return -1;
    if (out.full) {
        out.text[0] = '\0';
        return -1;
    }
    out.text[out.length] = '\0';
    return out.length;
}

void PutLineText(TextWriter& out, const char* text) { PutLine(out, text, false); }

void PutLineName(TextWriter& out, const char* name) {
    PutLine(out, name == nullptr || name[0] == '\0' ? kUnknownName : name, true);
}

void PutJsonString(TextWriter& out, const char* text) {
    PutChar(out, '"');
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text == nullptr ? "" : text);
    while (*s != '\0' && !out.full) {
        const unsigned char* plain = s;  // most text: a run that needs no escape, put whole
        while (*plain >= kFirstNonControl && *plain < kFirstNonAscii && *plain != '"' && *plain != '\\') ++plain;
        if (plain != s) {
            Put(out, reinterpret_cast<const char*>(s), static_cast<int>(plain - s));
            s = plain;
            continue;
        }
        if (*s == '"' || *s == '\\') {
            const char escaped[] = {'\\', static_cast<char>(*s++)};
            Put(out, escaped, sizeof escaped);
            continue;
        }
        const int sequence = *s < kFirstNonControl ? 0 : *s < kFirstNonAscii ? 1 : Utf8SequenceLength(s);
        if (sequence == 0) {
            PutEscaped(out, "\\u00", *s++);
            continue;
        }
        Put(out, reinterpret_cast<const char*>(s), sequence);
        s += sequence;
    }
    PutChar(out, '"');
}

void PutJsonOptional(TextWriter& out, const char* text) {
    if (text == nullptr || text[0] == '\0')
        PutText(out, "null");
    else
        PutJsonString(out, text);
}

void PutJsonStringKey(TextWriter& out, const char* key, const char* value) {
    PutFormat(out, ",\"%s\":", key);
    PutJsonString(out, value);
}

void PutJsonOptionalKey(TextWriter& out, const char* key, const char* value) {
    PutFormat(out, ",\"%s\":", key);
    PutJsonOptional(out, value);
}

void PutJsonNumberKey(TextWriter& out, const char* key, long value) { PutFormat(out, ",\"%s\":%ld", key, value); }

void PutJsonHexKey(TextWriter& out, const char* key, const unsigned char* bytes, int count) {
    PutFormat(out, ",\"%s\":\"", key);
    PutHex(out, bytes, count, "");
    PutChar(out, '"');
}

const char* TristateJson(Tristate value) {
    if (value == Tristate::kUnknown) return "null";
    return value == Tristate::kYes ? "true" : "false";
}

}  // namespace text_writer
