#include "merge/verdict.h"

#include "base/text_writer.h"

#include <cstring>

using namespace text_writer;

namespace {

constexpr int kNamesShown = 3;  // then "and N more"
constexpr char kUnnamedHost[] = "an unnamed host";

const char* HostName(const char* host) { return host[0] == '\0' ? kUnnamedHost : host; }

bool SameKnownHost(const char* a, const char* b) { return a[0] != '\0' && std::strcmp(a, b) == 0; }

// A monitor on a host that sent none of the packets: the packet crossed to
// another network. A host that is not named may be any other.
bool OnAnotherHost(const MergeAttempt& a, const MergeMonitor& m) {
    for (int i = 0; i < a.senderCount; ++i)
        if (SameKnownHost(m.host, a.senders[i].host)) return false;
    return true;
}

bool SeenElsewhere(const MergeAttempt& a) {
    for (int i = 0; i < a.monitorCount; ++i)
        if (OnAnotherHost(a, a.monitors[i])) return true;
    return false;
}

const MergeMonitor* RefusingMonitor(const MergeAttempt& a) {
    for (int i = 0; i < a.monitorCount; ++i)
        if (a.monitors[i].wouldWake == Tristate::kNo) return &a.monitors[i];
    return nullptr;
}

bool NamedBefore(const MergeAttempt& a, int index) {
    for (int i = 0; i < index; ++i)
        if (std::strcmp(a.monitors[i].host, a.monitors[index].host) == 0) return true;
    return false;
}

// "lab-1", "lab-1 and lab-2", "lab-1, lab-2, lab-3 and 2 more": each host once.
void PutMonitorHosts(TextWriter& out, const MergeAttempt& a) {
    const char* hosts[kMergeMaxMonitors];
    int count = 0;
    for (int i = 0; i < a.monitorCount; ++i)
        if (!NamedBefore(a, i)) hosts[count++] = HostName(a.monitors[i].host);
    const int shown = count < kNamesShown ? count : kNamesShown;
    for (int i = 0; i < shown; ++i) {
        const bool lastNamed = i == shown - 1 && shown == count;
        PutFormat(out, "%s%s", i == 0 ? "" : lastNamed ? " and " : ", ", hosts[i]);
    }
    if (shown < count) PutFormat(out, " and %d more", count - shown);
}

// " (dhcp from 10.2.0.77)", or nothing when the record named no evidence.
void PutEvidence(TextWriter& out, const MergeAwake& w) {
    if (w.evidence[0] == '\0') return;
    PutFormat(out, " (%s", w.evidence);
    if (w.evidenceSource[0] != '\0') PutFormat(out, " from %s", w.evidenceSource);
    PutChar(out, ')');
}

void PutWoke(TextWriter& out, const MergeAwake& w) {
    if (w.outcome == WakeOutcome::kAlreadyAwake) {
        PutFormat(out, "%s found it already awake", HostName(w.host));
    } else {
        PutFormat(out, "%s saw it wake", HostName(w.host));
        if (w.hasSeconds) PutFormat(out, " %.1f s after the first packet", w.seconds);
    }
    PutEvidence(out, w);
}

void PutNoSign(TextWriter& out, const MergeAwake& w) {
    PutFormat(out, "%s saw no sign of waking", HostName(w.host));
    if (w.hasSeconds) PutFormat(out, " within %.1f s", w.seconds);
}

void PutRefusal(TextWriter& out, const MergeMonitor& m, const MergeHintNames& names) {
    PutText(out, HostName(m.host));
    if (m.interface[0] != '\0') PutFormat(out, " %s", m.interface);
    if (m.hints == 0) {
        PutText(out, " received it and said it would not wake");
        return;
    }
    PutText(out, " received it and would not wake (");
    PutMergeHintCodes(out, m.hints, names, ", ");
    PutChar(out, ')');
}

// "left pc-a by eth0 for 10.2.0.255 and pc-b by eth1 for 10.3.0.255".
void PutDepartures(TextWriter& out, const MergeAttempt& a) {
    const int shown = a.senderCount < kNamesShown ? a.senderCount : kNamesShown;
    PutText(out, "left ");
    for (int i = 0; i < shown; ++i) {
        const MergeSender& s = a.senders[i];
        const bool lastNamed = i == shown - 1 && shown == a.senderCount;
        PutFormat(out, "%s%s", i == 0 ? "" : lastNamed ? " and " : ", ", HostName(s.host));
        if (s.interface[0] != '\0') PutFormat(out, " by %s", s.interface);
        if (s.destination[0] != '\0') PutFormat(out, " for %s", s.destination);
    }
    if (shown < a.senderCount) PutFormat(out, " and %d more", a.senderCount - shown);
}

MergeVerdict Lost(TextWriter& out, const MergeAttempt& a) {
    PutDepartures(out, a);
    PutText(out, "; no monitor saw it");
    if (a.awake.outcome != WakeOutcome::kNoSign) return MergeVerdict::kLost;
    PutText(out, "; ");
    PutNoSign(out, a.awake);
    return MergeVerdict::kLost;
}

MergeVerdict Unknown(TextWriter& out, const MergeAttempt& a) {
    if (a.monitorCount > 0) {
        PutText(out, "seen by ");
        PutMonitorHosts(out, a);
        PutText(out, " but no awake record came");
    } else {
        PutNoSign(out, a.awake);  // an awake record alone: no packet of the attempt was read
    }
    return MergeVerdict::kUnknown;
}

MergeVerdict Judge(TextWriter& out, const MergeAttempt& a, const MergeHintNames& names) {
    const WakeOutcome outcome = a.awake.outcome;
    if (outcome == WakeOutcome::kWoke || outcome == WakeOutcome::kAlreadyAwake) {
        PutWoke(out, a.awake);
        return outcome == WakeOutcome::kWoke ? MergeVerdict::kWoke : MergeVerdict::kAlreadyAwake;
    }
    if (const MergeMonitor* refusing = RefusingMonitor(a)) {
        PutRefusal(out, *refusing, names);
        return MergeVerdict::kNoWake;
    }
    if (outcome == WakeOutcome::kNoSign && a.monitorCount > 0) {
        PutText(out, "seen by ");
        PutMonitorHosts(out, a);
        PutText(out, ", but ");
        PutNoSign(out, a.awake);
        return MergeVerdict::kNoWake;
    }
    if (a.senderCount > 0 && !SeenElsewhere(a)) return Lost(out, a);
    return Unknown(out, a);
}

}  // namespace

const char* MergeVerdictName(MergeVerdict verdict) {
    switch (verdict) {
        case MergeVerdict::kWoke: return "woke";
        case MergeVerdict::kAlreadyAwake: return "already_awake";
        case MergeVerdict::kNoWake: return "no_wake";
        case MergeVerdict::kLost: return "lost";
        case MergeVerdict::kUnknown:
        case MergeVerdict::kCount: break;
    }
    return "unknown";
}

void PutMergeHintCodes(TextWriter& out, std::uint64_t hints, const MergeHintNames& names, const char* separator) {
    bool first = true;
    for (int i = 0; i < names.count; ++i) {
        if ((hints >> i & 1u) == 0) continue;
        PutFormat(out, "%s%s", first ? "" : separator, names.names[i]);
        first = false;
    }
}

MergeVerdict JudgeMergeAttempt(const MergeAttempt& attempt, const MergeHintNames& names, char* why, int size) {
    TextWriter out = WriterOn(why, size);
    const MergeVerdict verdict = Judge(out, attempt, names);
    if (attempt.packets == 0) PutText(out, "; no magic packet of it was read");
    if (size > 0) why[out.length] = '\0';  // should it not fit: the sentence up to its last whole piece
    return verdict;
}
