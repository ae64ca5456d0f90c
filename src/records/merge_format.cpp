#include "records/merge_format.h"

#include <ctime>

namespace {

constexpr long long kMicrosecondsPerSecond = 1000000;
constexpr int kClockSize = 16;
constexpr int kNamesShown = 3;  // per list in the line, then "and N more"

constexpr int kEscapedByte = 6;         // \u00XX, the most one byte can take
constexpr int kEntryPunctuation = 64;   // an entry's keys, quotes and braces
constexpr int kAttemptPunctuation = 512;
constexpr int kEntryText = (kMergeHostSize + kMergeInterfaceSize + kMergeAddressSize) * kEscapedByte +
                           kMergeHintNames * (kMergeHintCodeSize * kEscapedByte + kEntryPunctuation);
static_assert(kMergeAttemptTextSize > (kMergeMaxSenders + kMergeMaxMonitors) * kEntryText +
                                          (kMergeWhySize + kMergeVendorSize + 2 * kMergeTimeSize) * kEscapedByte +
                                          kAttemptPunctuation,
              "room for an attempt with every list full and every byte escaped");

// --- line ---

void PutClock(MergeText* out, long long instant) {
    const std::time_t seconds = static_cast<std::time_t>(instant / kMicrosecondsPerSecond);
    const long long micro = instant % kMicrosecondsPerSecond;
    std::tm local{};
    char clock[kClockSize];
    if (localtime_r(&seconds, &local) == nullptr || std::strftime(clock, sizeof clock, "%H:%M:%S", &local) == 0) {
        out->full = true;
        return;
    }
    MergePutFormat(out, "%s.%06lld", clock, micro < 0 ? micro + kMicrosecondsPerSecond : micro);
}

void PutLineSender(MergeText* out, const MergeSender& s) {
    MergePutLineName(out, s.host);
    MergePutChar(out, ' ');
    MergePutLineName(out, s.interface);
    MergePutText(out, " > ");
    MergePutLineName(out, s.destination);
}

void PutLineMonitor(MergeText* out, const MergeMonitor& m) {
    MergePutLineName(out, m.host);
    MergePutChar(out, ' ');
    MergePutLineName(out, m.interface);
}

void PutLineSenders(MergeText* out, const MergeAttempt& a) {
    const int shown = a.senderCount < kNamesShown ? a.senderCount : kNamesShown;
    for (int i = 0; i < shown; ++i) {
        MergePutText(out, i == 0 ? ", sent by " : ", ");
        PutLineSender(out, a.senders[i]);
    }
    if (shown < a.senderCount) MergePutFormat(out, " and %d more", a.senderCount - shown);
}

void PutLineMonitors(MergeText* out, const MergeAttempt& a) {
    const int shown = a.monitorCount < kNamesShown ? a.monitorCount : kNamesShown;
    for (int i = 0; i < shown; ++i) {
        MergePutText(out, i == 0 ? ", seen by " : ", ");
        PutLineMonitor(out, a.monitors[i]);
    }
    if (shown < a.monitorCount) MergePutFormat(out, " and %d more", a.monitorCount - shown);
}

std::uint64_t AllHints(const MergeAttempt& a) {
    std::uint64_t hints = 0;
    for (int i = 0; i < a.senderCount; ++i) hints |= a.senders[i].hints;
    for (int i = 0; i < a.monitorCount; ++i) hints |= a.monitors[i].hints;
    return hints;
}

void PutLinePackets(MergeText* out, const MergeAttempt& a) {
    MergePutFormat(out, ", %ld packet%s", a.packets, a.packets == 1 ? "" : "s");
    if (a.packets > 1)
        MergePutFormat(out, " over %.1f s", static_cast<double>(a.last - a.first) / kMicrosecondsPerSecond);
}

// --- json ---

void PutJsonHints(MergeText* out, std::uint64_t hints, const MergeHintNames& names) {
    MergePutText(out, ",\"hints\":[");
    bool first = true;
    for (int i = 0; i < names.count; ++i) {
        if ((hints >> i & 1u) == 0) continue;
        if (!first) MergePutChar(out, ',');
        MergePutJsonString(out, names.names[i]);
        first = false;
    }
    MergePutChar(out, ']');
}

void PutJsonKey(MergeText* out, const char* key, const char* value) {
    MergePutFormat(out, ",\"%s\":", key);
    MergePutJsonOptional(out, value);
}

const char* TristateJson(MergeTristate value) {
    if (value == MergeTristate::kUnknown) return "null";
    return value == MergeTristate::kYes ? "true" : "false";
}

void PutJsonSenders(MergeText* out, const MergeAttempt& a, const MergeHintNames& names) {
    MergePutText(out, ",\"sent_by\":[");
    for (int i = 0; i < a.senderCount; ++i) {
        const MergeSender& s = a.senders[i];
        MergePutText(out, i == 0 ? "{\"host\":" : ",{\"host\":");
        MergePutJsonOptional(out, s.host);
        PutJsonKey(out, "interface", s.interface);
        PutJsonKey(out, "destination", s.destination);
        PutJsonHints(out, s.hints, names);
        MergePutChar(out, '}');
    }
    MergePutChar(out, ']');
}

void PutJsonMonitors(MergeText* out, const MergeAttempt& a, const MergeHintNames& names) {
    MergePutText(out, ",\"seen_by\":[");
    for (int i = 0; i < a.monitorCount; ++i) {
        const MergeMonitor& m = a.monitors[i];
        MergePutText(out, i == 0 ? "{\"host\":" : ",{\"host\":");
        MergePutJsonOptional(out, m.host);
        PutJsonKey(out, "interface", m.interface);
        MergePutFormat(out, ",\"would_wake\":%s", TristateJson(m.wouldWake));
        PutJsonHints(out, m.hints, names);
        MergePutChar(out, '}');
    }
    MergePutChar(out, ']');
}

const char* OutcomeName(MergeOutcome outcome) {
    switch (outcome) {
        case MergeOutcome::kWoke: return "woke";
        case MergeOutcome::kAlreadyAwake: return "already_awake";
        case MergeOutcome::kNoSign: return "no_sign";
        case MergeOutcome::kNone: break;
    }
    return "";
}

void PutJsonAwake(MergeText* out, const MergeAwake& w) {
    PutJsonKey(out, "outcome", OutcomeName(w.outcome));
    PutJsonKey(out, "outcome_host", w.outcome == MergeOutcome::kNone ? "" : w.host);
    if (w.outcome != MergeOutcome::kNone && w.hasSeconds)
        MergePutFormat(out, ",\"seconds\":%.15g", w.seconds);
    else
        MergePutText(out, ",\"seconds\":null");
    PutJsonKey(out, "evidence", w.evidence);
    PutJsonKey(out, "evidence_source", w.evidenceSource);
}

}  // namespace

int FormatMergeAttemptLine(const MergeAttempt& a, const MergeHintNames& names, MergeVerdict verdict, const char* why,
                           char* text, int size) {
    MergeText out = MergeTextOn(text, size);
    char mac[kMergeMacTextSize];
    FormatMergeMac(a.target, mac);
    PutClock(&out, a.first);
    MergePutFormat(&out, " %s target %s", MergeVerdictName(verdict), mac);
    if (a.vendor[0] != '\0') {
        MergePutText(&out, " (");
        MergePutLineText(&out, a.vendor);
        MergePutChar(&out, ')');
    }
    PutLinePackets(&out, a);
    PutLineSenders(&out, a);
    PutLineMonitors(&out, a);
    const std::uint64_t hints = AllHints(a);
    if (hints != 0) MergePutText(&out, ", hints ");
    PutMergeHintCodes(&out, hints, names, " ");
    MergePutText(&out, ": ");
    MergePutLineText(&out, why);
    MergePutChar(&out, '\n');
    return MergeTextFinish(&out);
}

int FormatMergeAttemptJson(const MergeAttempt& a, const MergeHintNames& names, MergeVerdict verdict, const char* why,
                           char* text, int size) {
    MergeText out = MergeTextOn(text, size);
    char mac[kMergeMacTextSize];
    FormatMergeMac(a.target, mac);
    MergePutFormat(&out, "{\"target_mac\":\"%s\"", mac);
    PutJsonKey(&out, "target_vendor", a.vendor);
    PutJsonKey(&out, "first", a.firstTime);
    PutJsonKey(&out, "last", a.lastTime);
    MergePutFormat(&out, ",\"packets\":%ld", a.packets);
    PutJsonSenders(&out, a, names);
    PutJsonMonitors(&out, a, names);
    PutJsonAwake(&out, a.awake);
    PutJsonKey(&out, "verdict", MergeVerdictName(verdict));
    PutJsonKey(&out, "why", why);
    MergePutText(&out, "}\n");
    return MergeTextFinish(&out);
}

int FormatMergeSummary(const long counts[kMergeVerdictCount], char* text, int size) {
    MergeText out = MergeTextOn(text, size);
    long total = 0;
    for (int i = 0; i < kMergeVerdictCount; ++i) total += counts[i];
    if (total == 0) {
        MergePutText(&out, "lumora: no wake attempts\n");
        return MergeTextFinish(&out);
    }
    MergePutFormat(&out, "lumora: %ld wake attempt%s:", total, total == 1 ? "" : "s");
    bool first = true;
    for (int i = 0; i < kMergeVerdictCount; ++i) {
        if (counts[i] == 0) continue;
        MergePutFormat(&out, "%s %ld %s", first ? "" : ",", counts[i], MergeVerdictName(static_cast<MergeVerdict>(i)));
        first = false;
    }
    MergePutChar(&out, '\n');
    return MergeTextFinish(&out);
}
