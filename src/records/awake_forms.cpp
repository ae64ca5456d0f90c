// The awake record's line, json and words.
#include "records/awake_forms.h"

#include "analysis/frame_magic.h"
#include "records/record_writer.h"

#include <cstdio>

namespace {

using namespace record_writer;

constexpr int kTimeTextSize = 64;
constexpr WatchTime kTenths = kMicrosecondsPerSecond / 10;

CaptureTime CaptureTimeOf(WatchTime time) {
    return CaptureTime{time / kMicrosecondsPerSecond, static_cast<int>(time % kMicrosecondsPerSecond)};
}

// Whole seconds as they are ("300 s"), others to the tenth ("42.5 s").
void FormatSeconds(double seconds, char* text, int size) {
    const WatchTime tenths = static_cast<WatchTime>(seconds * kMicrosecondsPerSecond + kTenths / 2) / kTenths;
    if (tenths % 10 == 0)
        std::snprintf(text, static_cast<std::size_t>(size), "%lld", static_cast<long long>(tenths / 10));
    else
        std::snprintf(text, static_cast<std::size_t>(size), "%lld.%lld", static_cast<long long>(tenths / 10),
                      static_cast<long long>(tenths % 10));
}

// The sign's sender as text, "" when it had no IP header.
void FormatSignSource(const WakeSignSource& source, char* text) {
    text[0] = '\0';
    if (source.family == kIpv4 || source.family == kIpv6) FormatIpAddress(source.family, source.address, text);
}

}  // namespace

int FormatOutcomeWords(const WakeOutcomeRecord& r, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    char seconds[kOutcomeWordsSize];
    FormatSeconds(r.seconds, seconds, sizeof seconds);
    const char* sign = WakeSignInfoOf(r.evidence).text;
    int count = -1;
    switch (r.outcome) {
        case WakeOutcome::kWoke:
            count = std::snprintf(text, static_cast<std::size_t>(size), "woke %s s after the magic packet (%s)",
                                  seconds, sign);
            break;
        case WakeOutcome::kAlreadyAwake:
            count = std::snprintf(text, static_cast<std::size_t>(size),
                                  "already awake (%s %s s before the magic packet)", sign, seconds);
            break;
        case WakeOutcome::kNoSign:
            count = r.captureEnded ? std::snprintf(text, static_cast<std::size_t>(size),
                                                   "no sign before the capture ended, %s s after the magic packet",
                                                   seconds)
                                   : std::snprintf(text, static_cast<std::size_t>(size),
                                                   "no sign of waking within %s s", seconds);
            break;
        case WakeOutcome::kNone: break;  // the watch decides every attempt
    }
    if (count >= 0 && count < size) return count;
    text[0] = '\0';
    return -1;
}

int FormatAwakeLine(const WakeOutcomeRecord& r, const char* interfaceName, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    const CaptureTime time = CaptureTimeOf(r.time);
    char clock[kTimeTextSize];
    char words[kOutcomeWordsSize];
    char mac[kMacTextSize];
    if (!FormatLocalTime(time, "%H:%M:%S", clock, sizeof clock) || FormatOutcomeWords(r, words, sizeof words) < 0)
        out.full = true;
    FormatMac(r.target, 0, mac);
    PutFormat(out, "%s.%06d ", clock, time.microseconds);
    PutLineName(out, interfaceName);
    PutFormat(out, " awake %s: %s\n", mac, words);
    return Finish(out);
}

int FormatAwakeJson(const WakeOutcomeRecord& r, const char* host, const char* interfaceName, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    char time[kTimeTextSize];
    char magicTime[kTimeTextSize];
    char mac[kMacTextSize];
    char source[kEndpointTextSize];
    if (!Rfc3339Time(CaptureTimeOf(r.time), time, sizeof time) ||
        !Rfc3339Time(CaptureTimeOf(r.firstMagic), magicTime, sizeof magicTime))
        out.full = true;
    FormatMac(r.target, 0, mac);
    FormatSignSource(r.source, source);
    PutText(out, "{\"record\":\"awake\",\"time\":");
    PutJsonString(out, time);
    PutJsonOptionalKey(out, "host", host);
    if (interfaceName == nullptr)
        PutText(out, ",\"interface\":null");
    else
        PutJsonStringKey(out, "interface", interfaceName);
    PutJsonStringKey(out, "target_mac", mac);
    PutJsonStringKey(out, "outcome", WakeOutcomeWord(r.outcome));
    PutFormat(out, ",\"seconds\":%.3f", r.seconds);
    PutJsonOptionalKey(out, "evidence", WakeSignInfoOf(r.evidence).code);
    PutJsonOptionalKey(out, "evidence_source", source);
    PutJsonStringKey(out, "magic_time", magicTime);
    PutText(out, "}\n");
    return Finish(out);
}
