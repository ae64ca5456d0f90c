#include "records/merge_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned char kFirstNonControl = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr int kNibbleBits = 4;
constexpr int kNibbleMask = 0x0F;
constexpr char kLowerHex[] = "0123456789abcdef";

bool IsControl(unsigned char byte) { return byte < kFirstNonControl || byte == kDelete; }

void PutEscaped(MergeText* out, const char* prefix, unsigned char byte) {
    const char digits[] = {kLowerHex[byte >> kNibbleBits], kLowerHex[byte & kNibbleMask]};
    MergePutText(out, prefix);
    MergePut(out, digits, sizeof digits);
}

void PutLine(MergeText* out, const char* text, bool name) {
    for (const char* c = text; *c != '\0' && !out->full; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        const bool breaks = IsControl(byte) || (name && (byte == ' ' || byte == '\\'));
        if (breaks)
            PutEscaped(out, "\\x", byte);
        else
            MergePutChar(out, *c);
    }
}

}  // namespace

void MergePut(MergeText* out, const char* piece, int count) {
    if (out->full) return;
    if (count > out->size - 1 - out->length) {
        out->full = true;
        return;
    }
    std::memcpy(out->text + out->length, piece, static_cast<std::size_t>(count));
    out->length += count;
}

void MergePutText(MergeText* out, const char* piece) { MergePut(out, piece, static_cast<int>(std::strlen(piece))); }

void MergePutChar(MergeText* out, char c) { MergePut(out, &c, 1); }

void MergePutFormat(MergeText* out, const char* format, ...) {
    if (out->full) return;
    const int room = out->size - out->length;
    std::va_list args;
    va_start(args, format);
    const int count = std::vsnprintf(out->text + out->length, static_cast<std::size_t>(room), format, args);
    va_end(args);
    if (count < 0 || count >= room) {
        out->full = true;
        return;
    }
    out->length += count;
}

void MergePutLineText(MergeText* out, const char* text) { PutLine(out, text, false); }

void MergePutLineName(MergeText* out, const char* name) { PutLine(out, name[0] == '\0' ? "-" : name, true); }

void MergePutJsonString(MergeText* out, const char* text) {
    MergePutChar(out, '"');
    for (const char* c = text; *c != '\0' && !out->full; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            const char escaped[] = {'\\', *c};
            MergePut(out, escaped, sizeof escaped);
        } else if (byte < kFirstNonControl) {
            PutEscaped(out, "\\u00", byte);
        } else {
            MergePutChar(out, *c);
        }
    }
    MergePutChar(out, '"');
}

void MergePutJsonOptional(MergeText* out, const char* text) {
    if (text[0] == '\0') {
        MergePutText(out, "null");
        return;
    }
    MergePutJsonString(out, text);
}

int MergeTextFinish(MergeText* out) {
    if (out->text == nullptr || out->size <= 0) return -1;
    if (out->full) {
        out->text[0] = '\0';
        return -1;
    }
    out->text[out->length] = '\0';
    return out->length;
}
