// The record pieces that need more than the text writer.
#include "records/record_writer.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace record_writer {

namespace {

constexpr int kHintTextSize = 512;  // the longest advice with both subjects
// The troubleshooting guide the package installs beside the manual: each
// hint code has its section there, anchored by the code.
constexpr char kGuidePage[] = "troubleshooting.html";
constexpr int kClockTextSize = 64;
constexpr int kSecondsPerMinute = 60;
constexpr int kMinutesPerHour = 60;

}  // namespace

void PutHintText(TextWriter& out, const char* pattern, const Hint& hint) {
    char text[kHintTextSize];
    ExpandHintText(pattern, hint, text, sizeof text);
    PutText(out, text);
}

void PutJsonHints(TextWriter& out, const Hints& hints) {
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
