#include "merge/forms.h"

#include <ctime>

#include "base/time_units.h"

using namespace text_writer;

namespace {

constexpr int kNamesShown = 3;  // per list in the line, then "and N more"

constexpr int kEscapedByte = 6;         // \u00XX, the most one byte can take
constexpr int kEntryPunctuation = 64;   // an entry's keys, quotes and braces
constexpr int kAttemptPunctuation = 512;
constexpr int kEntryText = (kMergeHostSize + kMergeInterfaceSize + kMergeAddressSize) * kEscapedByte +
                           kMergeHintNames * (kMergeHintCodeSize * kEscapedByte + kEntryPunctuation);
constexpr int kReadinessText = (kMergeTimeSize + kMergeHostSize + kMergeEventSize + kMergeInterfaceSize +
                                kMergeWakeOnSize) * kEscapedByte + kEntryPunctuation;
constexpr int kUnansweredText = (kMergeTimeSize + kMergeHostSize + kMergeInterfaceSize + 3 * kMergeAddressSize) *
                                    kEscapedByte + kEntryPunctuation;
static_assert(kMergeAttemptTextSize > (kMergeMaxSenders + kMergeMaxMonitors) * kEntryText +
                                          (kMergeWhySize + kMergeVendorSize + 2 * kMergeTimeSize) * kEscapedByte +
                                          kReadinessText + kMergeMaxUnanswered * kUnansweredText +
                                          kAttemptPunctuation,
              "room for an attempt with every list full and every byte escaped");

// --- line ---

void PutLineSender(TextWriter& out, const MergeSender& s) {
    PutLineName(out, s.host);
    PutChar(out, ' ');
    PutLineName(out, s.interface);
    PutText(out, " > ");
    PutLineName(out, s.destination);
}

void PutLineMonitor(TextWriter& out, const MergeMonitor& m) {
    PutLineName(out, m.host);
    PutChar(out, ' ');
    PutLineName(out, m.interface);
}

void PutLineSenders(TextWriter& out, const MergeAttempt& a) {
    const int shown = a.senderCount < kNamesShown ? a.senderCount : kNamesShown;
    for (int i = 0; i < shown; ++i) {
        PutText(out, i == 0 ? ", sent by " : ", ");
        PutLineSender(out, a.senders[i]);
    }
    if (shown < a.senderCount) PutFormat(out, " and %d more", a.senderCount - shown);
}

void PutLineMonitors(TextWriter& out, const MergeAttempt& a) {
    const int shown = a.monitorCount < kNamesShown ? a.monitorCount : kNamesShown;
    for (int i = 0; i < shown; ++i) {
        PutText(out, i == 0 ? ", seen by " : ", ");
        PutLineMonitor(out, a.monitors[i]);
    }
    if (shown < a.monitorCount) PutFormat(out, " and %d more", a.monitorCount - shown);
}

std::uint64_t AllHints(const MergeAttempt& a) {
    std::uint64_t hints = 0;
    for (int i = 0; i < a.senderCount; ++i) hints |= a.senders[i].hints;
    for (int i = 0; i < a.monitorCount; ++i) hints |= a.monitors[i].hints;
    return hints;
}

void PutLinePackets(TextWriter& out, const MergeAttempt& a) {
    PutFormat(out, ", %ld %s", a.packets, Plural(a.packets, "packet", "packets"));
    if (a.packets > 1)
        PutFormat(out, " over %.1f s", static_cast<double>(a.last - a.first) / kMicrosecondsPerSecond);
}

// --- json ---

void PutJsonHints(TextWriter& out, std::uint64_t hints, const MergeHintNames& names) {
    PutText(out, ",\"hints\":[");
    bool first = true;
    for (int i = 0; i < names.count; ++i) {
        if ((hints >> i & 1u) == 0) continue;
        if (!first) PutChar(out, ',');
        PutJsonString(out, names.names[i]);
        first = false;
    }
    PutChar(out, ']');
}

void PutJsonSenders(TextWriter& out, const MergeAttempt& a, const MergeHintNames& names) {
    PutText(out, ",\"sent_by\":[");
    for (int i = 0; i < a.senderCount; ++i) {
        const MergeSender& s = a.senders[i];
        PutText(out, i == 0 ? "{\"host\":" : ",{\"host\":");
        PutJsonOptional(out, s.host);
        PutJsonOptionalKey(out, "interface", s.interface);
        PutJsonOptionalKey(out, "destination", s.destination);
        PutJsonHints(out, s.hints, names);
        PutChar(out, '}');
    }
    PutChar(out, ']');
}

void PutJsonMonitors(TextWriter& out, const MergeAttempt& a, const MergeHintNames& names) {
    PutText(out, ",\"seen_by\":[");
    for (int i = 0; i < a.monitorCount; ++i) {
        const MergeMonitor& m = a.monitors[i];
        PutText(out, i == 0 ? "{\"host\":" : ",{\"host\":");
        PutJsonOptional(out, m.host);
        PutJsonOptionalKey(out, "interface", m.interface);
        PutFormat(out, ",\"would_wake\":%s", TristateJson(m.wouldWake));
        PutJsonHints(out, m.hints, names);
        PutChar(out, '}');
    }
    PutChar(out, ']');
}

// "target_readiness": what the target's machine recorded last before the
// attempt, or null.
void PutJsonReadiness(TextWriter& out, const MergeReadiness& r) {
    if (!r.known) {
        PutText(out, ",\"target_readiness\":null");
        return;
    }
    PutText(out, ",\"target_readiness\":{\"host\":");
    PutJsonOptional(out, r.host);
    PutJsonOptionalKey(out, "time", r.time);
    PutJsonOptionalKey(out, "event", r.event);
    PutJsonOptionalKey(out, "interface", r.interface);
    PutJsonOptionalKey(out, "wake_on", r.wakeOn);
    PutFormat(out, ",\"would_wake\":%s}", TristateJson(r.wouldWake));
}

void PutJsonUnanswered(TextWriter& out, const MergeAttempt& a) {
    PutText(out, ",\"unanswered\":[");
    const int kept = a.unansweredCount < kMergeMaxUnanswered ? a.unansweredCount : kMergeMaxUnanswered;
    for (int i = 0; i < kept; ++i) {
        const MergeUnanswered& u = a.unanswered[i];
        PutText(out, i == 0 ? "{\"host\":" : ",{\"host\":");
        PutJsonOptional(out, u.host);
        PutJsonOptionalKey(out, "interface", u.interface);
        PutJsonOptionalKey(out, "time", u.time);
        PutJsonOptionalKey(out, "target_ip", u.targetIp);
        PutJsonOptionalKey(out, "asked_by_mac", u.askedByMac);
        PutJsonOptionalKey(out, "asked_by_ip", u.askedByIp);
        PutFormat(out, ",\"count\":%ld}", u.count);
    }
    PutChar(out, ']');
}

void PutJsonAwake(TextWriter& out, const MergeAwake& w) {
    PutJsonOptionalKey(out, "outcome", WakeOutcomeWord(w.outcome));
    PutJsonOptionalKey(out, "outcome_host", w.outcome == WakeOutcome::kNone ? "" : w.host);
    if (w.outcome != WakeOutcome::kNone && w.hasSeconds)
        PutFormat(out, ",\"seconds\":%.15g", w.seconds);
    else
        PutText(out, ",\"seconds\":null");
    PutJsonOptionalKey(out, "evidence", w.evidence);
    PutJsonOptionalKey(out, "evidence_source", w.evidenceSource);
}

}  // namespace

int FormatMergeAttemptLine(const MergeAttempt& a, const MergeHintNames& names, MergeVerdict verdict, const char* why,
                           char* text, int size) {
    TextWriter out = WriterOn(text, size);
    char mac[kMacTextSize];
    FormatMergeMac(a.target, mac);
    PutMergeClock(out, a.first, true);
    PutFormat(out, " %s target %s", MergeVerdictName(verdict), mac);
    if (a.vendor[0] != '\0') {
        PutText(out, " (");
        PutLineText(out, a.vendor);
        PutChar(out, ')');
    }
    PutLinePackets(out, a);
    PutLineSenders(out, a);
    PutLineMonitors(out, a);
    const std::uint64_t hints = AllHints(a);
    if (hints != 0) PutText(out, ", hints ");
    PutMergeHintCodes(out, hints, names, " ");
    PutText(out, ": ");
    PutLineText(out, why);
    PutChar(out, '\n');
    return Finish(out);
}

int FormatMergeAttemptJson(const MergeAttempt& a, const MergeHintNames& names, MergeVerdict verdict, const char* why,
                           char* text, int size) {
    TextWriter out = WriterOn(text, size);
    char mac[kMacTextSize];
    FormatMergeMac(a.target, mac);
    PutFormat(out, "{\"target_mac\":\"%s\"", mac);
    PutJsonOptionalKey(out, "target_vendor", a.vendor);
    PutJsonOptionalKey(out, "first", a.firstTime);
    PutJsonOptionalKey(out, "last", a.lastTime);
    PutFormat(out, ",\"packets\":%ld", a.packets);
    PutJsonSenders(out, a, names);
    PutJsonMonitors(out, a, names);
    PutJsonAwake(out, a.awake);
    PutJsonReadiness(out, a.readiness);
    PutJsonUnanswered(out, a);
    PutJsonOptionalKey(out, "verdict", MergeVerdictName(verdict));
    PutJsonOptionalKey(out, "why", why);
    PutText(out, "}\n");
    return Finish(out);
}

int FormatMergeSummary(const long counts[kMergeVerdictCount], char* text, int size) {
    TextWriter out = WriterOn(text, size);
    long total = 0;
    for (int i = 0; i < kMergeVerdictCount; ++i) total += counts[i];
    if (total == 0) {
        PutText(out, "no wake attempts");
        return Finish(out);
    }
    PutFormat(out, "%ld wake %s:", total, Plural(total, "attempt", "attempts"));
    bool first = true;
    for (int i = 0; i < kMergeVerdictCount; ++i) {
        if (counts[i] == 0) continue;
        PutFormat(out, "%s %ld %s", first ? "" : ",", counts[i], MergeVerdictName(static_cast<MergeVerdict>(i)));
        first = false;
    }
    return Finish(out);
}
