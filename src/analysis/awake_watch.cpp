#include "analysis/awake_watch.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint64_t kUsedBit = std::uint64_t{1} << 63;  // so the all-zero MAC is a key too
constexpr std::uint64_t kFibonacciMultiplier = 0x9E3779B97F4A7C15;  // 2^64 / golden ratio
constexpr int kKeyBits = 64;
constexpr int kBitsPerByte = 8;
constexpr int kHeardMask = kHeardCapacity - 1;

std::uint64_t KeyOf(const unsigned char* mac) {
    std::uint64_t key = 0;
    for (int i = 0; i < kHardwareAddressLength; ++i) key = (key << kBitsPerByte) | mac[i];
    return key | kUsedBit;
}

void MacOf(std::uint64_t key, unsigned char* mac) {
    for (int i = kHardwareAddressLength - 1; i >= 0; --i, key >>= kBitsPerByte)
        mac[i] = static_cast<unsigned char>(key);
}

int HomeSlot(std::uint64_t key) { return static_cast<int>((key * kFibonacciMultiplier) >> (kKeyBits - kHeardBits)); }

// Slots are never emptied, so a sender is in the first free slot of its
// probes or before it.
HeardSender* FindHeard(AwakeWatch* watch, std::uint64_t key) {
    const int home = HomeSlot(key);
    for (int probe = 0; probe < kHeardProbes; ++probe) {
        HeardSender& slot = watch->heard[(home + probe) & kHeardMask];
        if (slot.key == key) return &slot;
        if (slot.key == 0) return nullptr;
    }
    return nullptr;
}

// The sender's slot, a free one, or else the longest-silent of its probes.
HeardSender* SlotFor(AwakeWatch* watch, std::uint64_t key) {
    const int home = HomeSlot(key);
    HeardSender* oldest = nullptr;
    for (int probe = 0; probe < kHeardProbes; ++probe) {
        HeardSender* slot = &watch->heard[(home + probe) & kHeardMask];
        if (slot->key == key || slot->key == 0) return slot;
        if (oldest == nullptr || slot->time < oldest->time) oldest = slot;
    }
    return oldest;
}

int FindOpen(const AwakeWatch& watch, std::uint64_t key) {
    for (int i = 0; i < watch.openCount; ++i)
        if (watch.open[i].key == key) return i;
    return -1;
}

WatchTime Later(WatchTime a, WatchTime b) { return a > b ? a : b; }

// From `from` to `to`, never negative.
double SecondsBetween(WatchTime from, WatchTime to) {
    return static_cast<double>(Later(to - from, 0)) / static_cast<double>(kMicrosecondsPerSecond);
}

OpenAttempt AttemptOf(std::uint64_t key, WatchTime time, const char* interfaceName) {
    OpenAttempt attempt{key, time, 1, {}};
    std::snprintf(attempt.interfaceName, kInterfaceNameSize, "%s", interfaceName != nullptr ? interfaceName : "");
    return attempt;
}

// Hands the attempt's outcome over; `evidence` is the sign that decided it.
void Report(const AwakeWatch& watch, const OpenAttempt& attempt, WakeOutcome outcome, double seconds,
            WatchTime time, const HeardSender* evidence) {
    if (watch.handler == nullptr) return;
    WakeOutcomeRecord record{};
    MacOf(attempt.key, record.target);
    record.outcome = outcome;
    record.seconds = seconds;
    if (evidence != nullptr) {
        record.evidence = evidence->sign;
        record.source = evidence->source;
    }
    record.firstMagic = attempt.firstMagic;
    record.time = Later(time, attempt.firstMagic);
    record.magicPackets = attempt.magicPackets;
    record.captureEnded = watch.finishing;
    std::memcpy(record.interfaceName, attempt.interfaceName, kInterfaceNameSize);
    watch.handler(record, watch.context);
}

// Ends open attempt `index`; the last one takes its place.
void Close(AwakeWatch* watch, int index, WakeOutcome outcome, double seconds, WatchTime time,
           const HeardSender* evidence) {
    const OpenAttempt attempt = watch->open[index];
    watch->open[index] = watch->open[--watch->openCount];
    Report(*watch, attempt, outcome, seconds, time, evidence);
}

// Makes room by closing the attempt that has waited longest.
void CloseOldest(AwakeWatch* watch) {
    int oldest = 0;
    for (int i = 1; i < watch->openCount; ++i)
        if (watch->open[i].firstMagic < watch->open[oldest].firstMagic) oldest = i;
    const WatchTime first = watch->open[oldest].firstMagic;
    Close(watch, oldest, WakeOutcome::kNoSign, SecondsBetween(first, watch->now), watch->now, nullptr);
}

void Open(AwakeWatch* watch, std::uint64_t key, WatchTime time, const char* interfaceName) {
    if (watch->openCount == kOpenAttemptCapacity) CloseOldest(watch);
    watch->open[watch->openCount++] = AttemptOf(key, time, interfaceName);
}

}  // namespace

void StartAwakeWatch(AwakeWatch* watch, WatchTime window, WakeOutcomeHandler handler, void* context) {
    std::memset(watch, 0, sizeof *watch);
    watch->window = window;
    watch->handler = handler;
    watch->context = context;
}

void AdvanceAwakeWatch(AwakeWatch* watch, WatchTime time) {
    if (!watch->started || time > watch->now) watch->now = time;
    watch->started = true;
    for (int i = 0; i < watch->openCount;) {
        const WatchTime first = watch->open[i].firstMagic;
        if (watch->now - first < watch->window) {
            ++i;
            continue;
        }
        // Close moves the last attempt into slot i, which is looked at next.
        Close(watch, i, WakeOutcome::kNoSign, SecondsBetween(0, watch->window), first + watch->window, nullptr);
    }
}

void NoteMagicPacket(AwakeWatch* watch, const unsigned char* target, WatchTime time, const char* interfaceName) {
    AdvanceAwakeWatch(watch, time);
    const std::uint64_t key = KeyOf(target);
    const int open = FindOpen(*watch, key);
    if (open >= 0) {
        ++watch->open[open].magicPackets;
        return;
    }
    HeardSender* heard = FindHeard(watch, key);
    if (heard != nullptr && heard->decided && time - heard->decidedUntil < kBurstGap) {
        heard->decidedUntil = Later(heard->decidedUntil, time);
        return;
    }
    if (heard == nullptr || time - heard->time >= watch->window) {
        Open(watch, key, time, interfaceName);
        return;
    }
    Report(*watch, AttemptOf(key, time, interfaceName), WakeOutcome::kAlreadyAwake, SecondsBetween(heard->time, time),
           time, heard);
    heard->decided = true;
    heard->decidedUntil = time;
}

bool AwaitsSign(const AwakeWatch& watch, const unsigned char* sender) {
    return watch.openCount > 0 && FindOpen(watch, KeyOf(sender)) >= 0;
}

bool NoteWakeSign(AwakeWatch* watch, const unsigned char* sender, WatchTime time, WakeSign sign,
                  const WakeSignSource& source) {
    AdvanceAwakeWatch(watch, time);
    if (sign == WakeSign::kNone) return false;
    const std::uint64_t key = KeyOf(sender);
    HeardSender* heard = SlotFor(watch, key);
    const bool same = heard->key == key;
    *heard = HeardSender{key, time, sign, source, same && heard->decided, same ? heard->decidedUntil : 0};
    const int open = FindOpen(*watch, key);
    if (open < 0) return false;
    Close(watch, open, WakeOutcome::kWoke, SecondsBetween(watch->open[open].firstMagic, time), time, heard);
    heard->decided = true;
    heard->decidedUntil = time;
    return true;
}

void FinishAwakeWatch(AwakeWatch* watch) {
    watch->finishing = true;
    while (watch->openCount > 0) {
        const WatchTime first = watch->open[0].firstMagic;
        Close(watch, 0, WakeOutcome::kNoSign, SecondsBetween(first, watch->now), watch->now, nullptr);
    }
    watch->finishing = false;
}
