#include "merge/verdict.h"

#include "base/text_writer.h"

#include <cstring>
#include <ctime>

#include "base/time_units.h"

using namespace text_writer;

namespace {

constexpr int kNamesShown = 3;  // then "and N more"
constexpr int kClockSize = 16;
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

bool ReadinessSaysArmed(const MergeReadiness& r) { return r.known && r.wouldWake == Tristate::kYes; }

// "vm went to sleep (suspend) at 22:14:03 with eth0 Wake-on d: its card was
// not armed": what the target's machine recorded as it went to sleep or
// shut down, the card's state that counts.
void PutReadiness(TextWriter& out, const MergeReadiness& r) {
    const bool sleep = std::strcmp(r.event, "reboot") != 0 && std::strcmp(r.event, "kexec") != 0 &&
                       std::strcmp(r.event, "poweroff") != 0 && std::strcmp(r.event, "halt") != 0 &&
                       std::strcmp(r.event, "shutdown") != 0;
    const bool restart = std::strcmp(r.event, "reboot") == 0 || std::strcmp(r.event, "kexec") == 0;
    PutFormat(out, "%s %s (%s) at ", HostName(r.host), sleep ? "went to sleep" : restart ? "restarted" : "shut down",
              r.event);
    PutMergeClock(out, r.instant, false);
    PutFormat(out, " with %s Wake-on %s: ", r.interface[0] != '\0' ? r.interface : "its card",
              r.wakeOn[0] != '\0' ? r.wakeOn : "unknown");
    if (r.wouldWake == Tristate::kUnknown)
        PutText(out, "whether its card was armed is not known");
    else
        PutText(out, r.wouldWake == Tristate::kYes ? "its card was armed" : "its card was not armed");
}

bool Disarmed(const MergeReadiness& r) { return r.known && r.wouldWake == Tristate::kNo; }

// A card that was not armed is the cause, said first; one that was points
// past the card, said after what was seen.
MergeVerdict NoWake(TextWriter& out, const MergeAttempt& a) {
    if (!a.readiness.known || Disarmed(a.readiness)) return MergeVerdict::kNoWake;
    PutText(out, "; ");
    PutReadiness(out, a.readiness);
    if (ReadinessSaysArmed(a.readiness)) PutText(out, ", so look at the firmware");
    return MergeVerdict::kNoWake;
}

void PutCauseFirst(TextWriter& out, const MergeAttempt& a) {
    if (!Disarmed(a.readiness)) return;
    PutReadiness(out, a.readiness);
    PutText(out, "; ");
}

// A router with a packet for the sleeping target's own address asks for it
// first, and drops the packet when no answer comes.
void PutLostAtRouter(TextWriter& out, const MergeUnanswered& u) {
    const bool ipv6 = std::strchr(u.targetIp, ':') != nullptr;
    PutFormat(out, "lost at the router: its %s for %s went unanswered (the target asleep); wake by the segment's "
                   "broadcast address or give the router a static %s entry; ",
              ipv6 ? "neighbour solicitations" : "ARP requests", u.targetIp, ipv6 ? "neighbour" : "ARP");
}

MergeVerdict Lost(TextWriter& out, const MergeAttempt& a) {
    if (a.unansweredCount > 0) PutLostAtRouter(out, a.unanswered[0]);
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
        PutCauseFirst(out, a);
        PutRefusal(out, *refusing, names);
        return NoWake(out, a);
    }
    if (outcome == WakeOutcome::kNoSign && a.monitorCount > 0) {
        PutCauseFirst(out, a);
        PutText(out, "seen by ");
        PutMonitorHosts(out, a);
        PutText(out, ", but ");
        PutNoSign(out, a.awake);
        return NoWake(out, a);
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

void PutMergeClock(TextWriter& out, long long instant, bool microseconds) {
    const std::time_t seconds = static_cast<std::time_t>(instant / kMicrosecondsPerSecond);
    long long micro = instant % kMicrosecondsPerSecond;
    if (micro < 0) micro += kMicrosecondsPerSecond;
    std::tm local{};
    char clock[kClockSize];
    if (localtime_r(&seconds, &local) == nullptr || std::strftime(clock, sizeof clock, "%H:%M:%S", &local) == 0) {
        out.full = true;
        return;
    }
    PutText(out, clock);
    if (microseconds) PutFormat(out, ".%06lld", micro);
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
