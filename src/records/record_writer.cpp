// The bounded one-pass writer of the record forms and the pieces they share.
#include "records/record_writer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace record_writer {

namespace {

constexpr int kHintTextSize = 512;  // the longest advice with both subjects
// The troubleshooting guide the package installs beside the manual: each
// hint code has its section there, anchored by the code.
constexpr char kGuidePage[] = "troubleshooting.html";
constexpr int kNibbleBits = 4;
constexpr int kNibbleMask = 0x0F;
constexpr unsigned char kFirstPrintable = 0x21;  // space and below are escaped in lines
constexpr unsigned char kDelete = 0x7F;
constexpr int kClockTextSize = 64;
constexpr int kSecondsPerMinute = 60;
constexpr int kMinutesPerHour = 60;
constexpr unsigned char kFirstNonControl = 0x20;
constexpr unsigned char kFirstNonAscii = 0x80;

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

void PutUnicodeEscape(Output& out, unsigned char byte) {
    PutText(out, "\\u00");
    PutHexByte(out, byte, kLowerHex);
}

}  // namespace

void Put(Output& out, const char* piece, int count) {
    if (out.full) return;
    if (count > out.size - 1 - out.length) {
        out.full = true;
        return;
    }
    std::memcpy(out.text + out.length, piece, static_cast<std::size_t>(count));
    out.length += count;
}

void PutText(Output& out, const char* piece) { Put(out, piece, static_cast<int>(std::strlen(piece))); }

void PutChar(Output& out, char c) { Put(out, &c, 1); }

void PutFormat(Output& out, const char* format, ...) {
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

void PutHexByte(Output& out, unsigned char byte, const char* digits) {
    const char pair[] = {digits[byte >> kNibbleBits], digits[byte & kNibbleMask]};
    Put(out, pair, sizeof pair);
}

void PutHex(Output& out, const unsigned char* bytes, int count, const char* separator) {
    for (int i = 0; i < count && !out.full; ++i) {
        if (i > 0) PutText(out, separator);
        PutHexByte(out, bytes[i], kUpperHex);
    }
}

int Finish(Output& out) {
    if (out.full) {
        out.text[0] = '\0';
        return -1;
    }
    out.text[out.length] = '\0';
    return out.length;
}

// A capture file does not say which interface a frame came in on: "-".
void PutLineInterface(Output& out, const char* name) {
    for (const char* c = name == nullptr ? "-" : name; *c != '\0' && !out.full; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < kFirstPrintable || byte == kDelete || byte == '\\') {
            PutText(out, "\\x");
            PutHexByte(out, byte, kLowerHex);
        } else {
            PutChar(out, *c);
        }
    }
}

void PutJsonString(Output& out, const char* text) {
    PutChar(out, '"');
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text == nullptr ? "" : text);
    while (*s != '\0' && !out.full) {
        if (*s == '"' || *s == '\\') {
            const char escaped[] = {'\\', static_cast<char>(*s)};
            Put(out, escaped, sizeof escaped);
            ++s;
            continue;
        }
        if (*s < kFirstNonControl) {
            PutUnicodeEscape(out, *s++);
            continue;
        }
        const int sequence = *s < kFirstNonAscii ? 1 : Utf8SequenceLength(s);
        if (sequence == 0) {
            PutUnicodeEscape(out, *s++);
            continue;
        }
        Put(out, reinterpret_cast<const char*>(s), sequence);
        s += sequence;
    }
    PutChar(out, '"');
}

void PutJsonStringKey(Output& out, const char* key, const char* value) {
    PutFormat(out, ",\"%s\":", key);
    PutJsonString(out, value);
}

void PutJsonNumberKey(Output& out, const char* key, int value) { PutFormat(out, ",\"%s\":%d", key, value); }

void PutJsonHexKey(Output& out, const char* key, const unsigned char* bytes, int count) {
    PutFormat(out, ",\"%s\":\"", key);
    PutHex(out, bytes, count, "");
    PutChar(out, '"');
}

const char* TristateJson(Tristate value) {
    if (value == Tristate::kUnknown) return "null";
    return value == Tristate::kYes ? "true" : "false";
}

void PutHintText(Output& out, const char* pattern, const Hint& hint) {
    char text[kHintTextSize];
    ExpandHintText(pattern, hint, text, sizeof text);
    PutText(out, text);
}


// "key":"text" or "key":null for an empty text.
void PutJsonOptionalKey(Output& out, const char* key, const char* value) {
    if (value == nullptr || value[0] == '\0') {
        PutFormat(out, ",\"%s\":null", key);
        return;
    }
    PutJsonStringKey(out, key, value);
}

void PutJsonHints(Output& out, const Hints& hints) {
    PutText(out, ",\"hints\":[");
    for (int i = 0; i < hints.count; ++i) {
        const HintInfo& info = HintInfoOf(hints.items[i].code);
        PutFormat(out, "%s{\"code\":\"%s\",\"text\":", i == 0 ? "" : ",", info.name);
        char text[kHintTextSize];
        ExpandHintText(info.advice, hints.items[i], text, sizeof text);
        PutJsonString(out, text);
        PutFormat(out, ",\"guide\":\"%s#%s\"}", kGuidePage, info.name);
    }
    PutChar(out, ']');
}

bool Rfc3339Time(const CaptureTime& time, char* text, int size) {
    std::tm local{};
    if (!ToLocalTime(time, &local)) return false;
    char clock[kClockTextSize];
    if (std::strftime(clock, sizeof clock, "%Y-%m-%dT%H:%M:%S", &local) == 0) return false;
    const long offset = local.tm_gmtoff / kSecondsPerMinute;
    const long magnitude = offset < 0 ? -offset : offset;
    const int count = std::snprintf(text, static_cast<std::size_t>(size), "%s.%06d%c%02ld:%02ld", clock,
                                    time.microseconds, offset < 0 ? '-' : '+', magnitude / kMinutesPerHour,
                                    magnitude % kMinutesPerHour);
    return count > 0 && count < size;
}

}  // namespace record_writer
