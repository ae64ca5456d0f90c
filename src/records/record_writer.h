// The pieces of lumora's records that need more than the text writer: the
// hints with their guide sections, and the capture time as RFC 3339.
// Internal to src/records.
#pragma once

#include "analysis/hints.h"
#include "base/text_writer.h"
#include "records/sighting.h"

namespace record_writer {

using namespace text_writer;

// "hints":[{"code":...,"text":...,"guide":...}, ...]
void PutJsonHints(TextWriter& out, const Hints& hints);

// A capture time as RFC 3339 local time with microseconds and UTC offset;
// false when it does not fit or no calendar takes it.
bool Rfc3339Time(const CaptureTime& time, char* text, int size);

// A hint's reason or advice with its subjects put in.
void PutHintText(TextWriter& out, const char* pattern, const Hint& hint);

}  // namespace record_writer
