// The one bounded text writer: a caller's buffer filled front to back in one
// pass, never past its end, and the escapers every form of lumora's output
// shares. Once a piece does not fit, nothing more is written and Finish
// fails, so no text is ever handed on cut short by accident.
#pragma once

#include "base/tristate.h"

namespace text_writer {

struct TextWriter {
    char* text;
    int size;
    int length;
    bool full;
};

inline TextWriter WriterOn(char* text, int size) { return TextWriter{text, size, 0, text == nullptr || size <= 0}; }

void Put(TextWriter& out, const char* piece, int count);
void PutText(TextWriter& out, const char* piece);
void PutChar(TextWriter& out, char c);
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void PutFormat(TextWriter& out, const char* format, ...);
// Two hex digits from `digits` (kUpperHex or kLowerHex).
void PutHexByte(TextWriter& out, unsigned char byte, const char* digits);
// Upper-case hex pairs, `separator` between them.
void PutHex(TextWriter& out, const unsigned char* bytes, int count, const char* separator);

// The length written, terminated; or -1 with "" when something did not fit.
int Finish(TextWriter& out);

// For the line forms: bytes that would break a line (controls, DEL) as \xNN.
void PutLineText(TextWriter& out, const char* text);
// A name in a line (a host, an interface), one word: space and backslash
// escaped too; "-" for nullptr or "", a name not known.
void PutLineName(TextWriter& out, const char* name);

// A JSON string: '"' and '\' escaped, bytes below 0x20 and any byte outside
// a valid UTF-8 sequence as \u00xx (its Latin-1 reading).
void PutJsonString(TextWriter& out, const char* text);
// The string, or null for nullptr or "".
void PutJsonOptional(TextWriter& out, const char* text);
// ,"key":"text"   ,"key":"text" or ,"key":null   ,"key":123   ,"key":"HEX"
void PutJsonStringKey(TextWriter& out, const char* key, const char* value);
void PutJsonOptionalKey(TextWriter& out, const char* key, const char* value);
void PutJsonNumberKey(TextWriter& out, const char* key, long value);
void PutJsonHexKey(TextWriter& out, const char* key, const unsigned char* bytes, int count);
const char* TristateJson(Tristate value);  // true, false or null

// `one` for a count of 1, else `more`: "1 frame", "2 frames".
inline const char* Plural(long count, const char* one, const char* more) { return count == 1 ? one : more; }

}  // namespace text_writer
