#include "merge/attempts.h"

#include "base/time_units.h"
#include "base/wake_outcome.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {


template <std::size_t N>
void Copy(char (&dst)[N], const char* src) {
    std::strncpy(dst, src, N - 1);
    dst[N - 1] = '\0';
}

long long Deadline(const MergeBook& book, const MergeAttempt& a) {
    const long long gapEnd = a.last + book.window;
    if (a.monitorCount == 0 || a.awake.outcome != WakeOutcome::kNone) return gapEnd;
    return std::max(gapEnd, a.first + book.outcomeWait);
}

// --- finding and opening attempts ---

// The open attempt for `target` that `instant` lies near: within `before` of
// its first packet or `after` of its last. The latest such, when several are.
MergeAttempt* FindAttempt(MergeBook* book, std::uint64_t target, long long instant, long long before,
                          long long after) {
    MergeAttempt* found = nullptr;
    for (int i = 0; i < book->openCount; ++i) {
        if (book->openTarget[i] != target) continue;
        MergeAttempt* a = &book->open[i];
        if (instant < a->first - before || instant > a->last + after) continue;
        if (found == nullptr || a->last > found->last) found = a;
    }
    return found;
}

void Emit(MergeBook* book, const MergeAttempt& a) {
    if (a.crowded) ++book->crowdedAttempts;
    book->emit(book->context, a);
}

void Remove(MergeBook* book, int index) {
    const int last = --book->openCount;
    if (index == last) return;
    book->open[index] = book->open[last];
    book->openTarget[index] = book->openTarget[last];
}

// Makes room at the cap: the attempt whose last packet is oldest goes first.
void CloseOldest(MergeBook* book) {
    int oldest = 0;
    for (int i = 1; i < book->openCount; ++i)
        if (book->open[i].last < book->open[oldest].last) oldest = i;
    Emit(book, book->open[oldest]);
    Remove(book, oldest);
    ++book->closedEarly;
}

void AddUnansweredTo(MergeAttempt* a, const MergeUnanswered& u) {
    if (a->unansweredCount < kMergeMaxUnanswered) a->unanswered[a->unansweredCount] = u;
    ++a->unansweredCount;
}

// What the book already knows of the new attempt's target: its card's last
// readiness before it, and who asked for its address around its start.
void Join(MergeBook* book, MergeAttempt* a) {
    for (int i = 0; i < book->readinessCount; ++i)
        if (book->readinessCard[i] == a->target && book->readiness[i].instant <= a->first + book->skew)
            a->readiness = book->readiness[i];
    for (MergeUnanswered& u : book->pending) {
        if (u.target != a->target || u.instant < a->first - book->skew || u.instant > a->first + book->window) continue;
        AddUnansweredTo(a, u);
        u = MergeUnanswered{};  // matched: a free slot
    }
}

MergeAttempt* OpenAttempt(MergeBook* book, std::uint64_t target, long long instant, const char* time) {
    if (book->openCount == kMergeMaxOpen) CloseOldest(book);
    const int index = book->openCount++;
    MergeAttempt* a = &book->open[index];
    std::memset(a, 0, sizeof *a);
    book->openTarget[index] = target;
    a->target = target;
    a->first = a->last = instant;
    Copy(a->firstTime, time);
    Copy(a->lastTime, time);
    book->nextDeadline = std::min(book->nextDeadline, Deadline(*book, *a));
    Join(book, a);
    return a;
}

// --- a magic packet's record ---

// The bit of `code` in the merge's table, added when new; 0 when it is full.
std::uint64_t HintBit(MergeBook* book, const char* code) {
    MergeHintNames& table = book->hintNames;
    for (int i = 0; i < table.count; ++i)
        if (std::strcmp(table.names[i], code) == 0) return std::uint64_t{1} << i;
    if (table.count == kMergeHintNames) {
        ++book->hintsDropped;
        return 0;
    }
    Copy(table.names[table.count], code);
    return std::uint64_t{1} << table.count++;
}

std::uint64_t HintBits(MergeBook* book, const MergeRecord& r) {
    std::uint64_t bits = 0;
    for (int i = 0; i < r.hintCount; ++i) bits |= HintBit(book, r.hints[i]);
    return bits;
}

// Each returns how many of the attempt's packets that sender or monitor has
// recorded now (1 when it found no room).
long AddSender(MergeAttempt* a, const MergeRecord& r, std::uint64_t hints) {
    for (int i = 0; i < a->senderCount; ++i) {
        MergeSender& s = a->senders[i];
        if (std::strcmp(s.host, r.host) == 0 && std::strcmp(s.interface, r.interface) == 0 &&
            std::strcmp(s.destination, r.destination) == 0) {
            s.hints |= hints;
            return ++s.packets;
        }
    }
    if (a->senderCount == kMergeMaxSenders) {
        a->crowded = true;
        return 1;
    }
    MergeSender& s = a->senders[a->senderCount++];
    Copy(s.host, r.host);
    Copy(s.interface, r.interface);
    Copy(s.destination, r.destination);
    s.hints = hints;
    return s.packets = 1;
}

// A monitor would wake once any packet would: one malformed copy among good
// ones does not make it stay asleep. Yes, then no, then not known.
void Combine(Tristate* wouldWake, Tristate said) { *wouldWake = std::max(*wouldWake, said); }

long AddMonitor(MergeAttempt* a, const MergeRecord& r, std::uint64_t hints) {
    for (int i = 0; i < a->monitorCount; ++i) {
        MergeMonitor& m = a->monitors[i];
        if (std::strcmp(m.host, r.host) == 0 && std::strcmp(m.interface, r.interface) == 0) {
            m.hints |= hints;
            Combine(&m.wouldWake, r.wouldWake);
            return ++m.packets;
        }
    }
    if (a->monitorCount == kMergeMaxMonitors) {
        a->crowded = true;
        return 1;
    }
    MergeMonitor& m = a->monitors[a->monitorCount++];
    Copy(m.host, r.host);
    Copy(m.interface, r.interface);
    m.wouldWake = r.wouldWake;
    m.hints = hints;
    return m.packets = 1;
}

void Widen(MergeBook* book, MergeAttempt* a, long long instant, const char* time) {
    if (instant < a->first) {
        a->first = instant;
        Copy(a->firstTime, time);
    }
    if (instant > a->last) {
        a->last = instant;
        Copy(a->lastTime, time);
    }
    book->nextDeadline = std::min(book->nextDeadline, Deadline(*book, *a));
}

void AddMagic(MergeBook* book, const MergeRecord& r) {
    MergeAttempt* a = FindAttempt(book, r.target, r.instant, book->window, book->window);
    if (a == nullptr) a = OpenAttempt(book, r.target, r.instant, r.time);
    if (a->packets == 0) {
        // The first packet stamps the attempt, even one an awake record opened.
        a->first = a->last = r.instant;
        Copy(a->firstTime, r.time);
        Copy(a->lastTime, r.time);
    }
    Widen(book, a, r.instant, r.time);
    if (a->vendor[0] == '\0') Copy(a->vendor, r.vendor);
    const std::uint64_t hints = HintBits(book, r);
    const long recorded = r.outgoing ? AddSender(a, r, hints) : AddMonitor(a, r, hints);
    a->packets = std::max(a->packets, recorded);
}

// --- an awake record ---

enum class OutcomeRank { kNone, kNoSign, kAwake };

OutcomeRank RankOf(WakeOutcome outcome) {
    switch (outcome) {
        case WakeOutcome::kWoke:
        case WakeOutcome::kAlreadyAwake: return OutcomeRank::kAwake;
        case WakeOutcome::kNoSign: return OutcomeRank::kNoSign;
        case WakeOutcome::kNone: break;
    }
    return OutcomeRank::kNone;
}

void SetAwake(MergeAttempt* a, const MergeRecord& r) {
    if (RankOf(r.outcome) <= RankOf(a->awake.outcome)) return;
    MergeAwake& w = a->awake;
    w.outcome = r.outcome;
    Copy(w.host, r.host);
    w.hasSeconds = r.hasSeconds;
    w.seconds = r.seconds;
    Copy(w.evidence, r.evidence);
    Copy(w.evidenceSource, r.evidenceSource);
}

// It answers the attempt whose packets its magic_time lies among; without
// one, the latest attempt that began before it.
void AddAwake(MergeBook* book, const MergeRecord& r) {
    const long long instant = r.hasMagicTime ? r.magicInstant : r.instant;
    const long long after = r.hasMagicTime ? book->skew : book->window;
    MergeAttempt* a = FindAttempt(book, r.target, instant, book->skew, after);
    if (a == nullptr) a = OpenAttempt(book, r.target, instant, r.hasMagicTime ? r.magicTime : r.time);
    SetAwake(a, r);
    book->nextDeadline = std::min(book->nextDeadline, Deadline(*book, *a));  // answered: the wait ends
}

// --- what the target's machine and its segment said ---

// The card's latest record; a full table gives up its oldest.
void AddReadiness(MergeBook* book, const MergeRecord& r) {
    int slot = -1;
    for (int i = 0; i < book->readinessCount && slot < 0; ++i)
        if (book->readinessCard[i] == r.target) slot = i;
    if (slot >= 0 && book->readiness[slot].instant > r.instant) return;
    if (slot < 0 && book->readinessCount < kMergeReadinessCards) slot = book->readinessCount++;
    if (slot < 0) {
        slot = 0;
        for (int i = 1; i < book->readinessCount; ++i)
            if (book->readiness[i].instant < book->readiness[slot].instant) slot = i;
    }
    book->readinessCard[slot] = r.target;
    MergeReadiness& card = book->readiness[slot];
    card = MergeReadiness{true, r.instant, {}, {}, {}, {}, {}, r.wouldWake};
    Copy(card.time, r.time);
    Copy(card.host, r.host);
    Copy(card.event, r.event);
    Copy(card.interface, r.interface);
    Copy(card.wakeOn, r.wakeOn);
}

// It belongs to the attempt it came during; else it waits for one to open.
void AddUnanswered(MergeBook* book, const MergeRecord& r) {
    MergeUnanswered u{r.target, r.instant, {}, {}, {}, {}, {}, {}, r.count};
    Copy(u.time, r.time);
    Copy(u.host, r.host);
    Copy(u.interface, r.interface);
    Copy(u.targetIp, r.targetIp);
    Copy(u.askedByMac, r.askedByMac);
    Copy(u.askedByIp, r.askedByIp);
    if (MergeAttempt* a = FindAttempt(book, r.target, r.instant, book->skew, book->window)) {
        AddUnansweredTo(a, u);
        return;
    }
    book->pending[book->pendingNext] = u;
    book->pendingNext = (book->pendingNext + 1) % kMergePendingUnanswered;
}

// --- closing ---

// Closes the attempts whose deadline the horizon passed, `all` for every one,
// in the order of their last packets.
void CloseDue(MergeBook* book, bool all) {
    int count = 0;
    long long next = LLONG_MAX;
    for (int i = 0; i < book->openCount; ++i) {
        const long long deadline = Deadline(*book, book->open[i]);
        if (all || deadline < book->horizon)
            book->closing[count++] = i;
        else
            next = std::min(next, deadline);
    }
    book->nextDeadline = next;
    std::sort(book->closing, book->closing + count,
              [book](int a, int b) { return book->open[a].last < book->open[b].last; });
    for (int i = 0; i < count; ++i) Emit(book, book->open[book->closing[i]]);
    // Highest index first, so that each move fills a hole with a kept attempt.
    std::sort(book->closing, book->closing + count, [](int a, int b) { return a > b; });
    for (int i = 0; i < count; ++i) Remove(book, book->closing[i]);
}

}  // namespace

void StartMergeBook(MergeBook* book, long gapSeconds, MergeEmit emit, void* context) {
    book->skew = kMergeClockSkewSeconds * kMicrosecondsPerSecond;
    book->window = gapSeconds * kMicrosecondsPerSecond + book->skew;
    // The monitor stamps its outcome by its own clock, the first packet may be the sender's.
    book->outcomeWait = kDefaultAwakeWindow + 2 * book->skew;
    book->horizon = LLONG_MIN;
    book->nextDeadline = LLONG_MAX;
    book->openCount = 0;
    book->readinessCount = 0;
    book->pendingNext = 0;
    std::memset(book->pending, 0, sizeof book->pending);
    book->emit = emit;
    book->context = context;
}

void AddMergeRecord(MergeBook* book, const MergeRecord& record) {
    switch (record.kind) {
        case MergeRecordKind::kMagic: AddMagic(book, record); break;
        case MergeRecordKind::kAwake: AddAwake(book, record); break;
        case MergeRecordKind::kReadiness: AddReadiness(book, record); break;
        case MergeRecordKind::kUnanswered: AddUnanswered(book, record); break;
    }
    book->horizon = std::max(book->horizon, record.instant);
    if (book->nextDeadline < book->horizon) CloseDue(book, false);
}

void CloseMergeBook(MergeBook* book) { CloseDue(book, true); }
