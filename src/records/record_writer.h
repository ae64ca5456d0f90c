// The writer both record forms are built with: the caller's buffer, filled
// front to back in one pass and never past its end, and the pieces the line
// and json forms share (escaped interface names, JSON strings, hints).
// Internal to src/records.
#pragma once

#include "analysis/hints.h"
#include "analysis/wake_diagnosis.h"
#include "records/sighting.h"

namespace record_writer {

inline constexpr char kUpperHex[] = "0123456789ABCDEF";
inline constexpr char kLowerHex[] = "0123456789abcdef";

// Once a piece does not fit, nothing more is written and the result is a
// failure.
struct Output {
    char* text;
    int size;
    int length;
    bool full;
};

void Put(Output& out, const char* piece, int count);
void PutText(Output& out, const char* piece);
void PutChar(Output& out, char c);
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void PutFormat(Output& out, const char* format, ...);
void PutHexByte(Output& out, unsigned char byte, const char* digits);
// Upper-case hex pairs, `separator` between them.
void PutHex(Output& out, const unsigned char* bytes, int count, const char* separator);
// The length written, terminated; or -1 with "" when something did not fit.
int Finish(Output& out);

// An interface name for a line: "-" for none; controls, space, DEL and
// backslash as \xNN.
void PutLineInterface(Output& out, const char* name);

// A JSON string: '"' and '\' escaped, bytes below 0x20 and any byte outside a
// valid UTF-8 sequence as \u00xx (its Latin-1 reading).
void PutJsonString(Output& out, const char* text);
void PutJsonStringKey(Output& out, const char* key, const char* value);
// "key":"text", or "key":null for nullptr or "".
void PutJsonOptionalKey(Output& out, const char* key, const char* value);
void PutJsonNumberKey(Output& out, const char* key, int value);
void PutJsonHexKey(Output& out, const char* key, const unsigned char* bytes, int count);
// "hints":[{"code":...,"text":...,"guide":...}, ...]
void PutJsonHints(Output& out, const Hints& hints);
const char* TristateJson(Tristate value);

// A capture time as RFC 3339 local time with microseconds and UTC offset;
// false when it does not fit or no calendar takes it.
bool Rfc3339Time(const CaptureTime& time, char* text, int size);

// A hint's reason or advice with its subjects put in.
void PutHintText(Output& out, const char* pattern, const Hint& hint);

}  // namespace record_writer
