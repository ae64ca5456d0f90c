// Did it wake? One outcome for each wake attempt, the magic packets for one
// target until its outcome is known: it woke (a sign of a running system
// from the target's MAC after the first packet), it was already awake (a
// sign shortly before), or no sign came. Fed every frame of the capture, so
// memory is fixed and the per-frame path is a hash of six bytes. Portable;
// times are the capture's, which may jump or go back a little.
#pragma once

#include "analysis/machine_facts.h"
#include "analysis/wake_signs.h"
#include "base/time_units.h"
#include "base/wake_outcome.h"

#include <cstdint>

using WatchTime = std::int64_t;  // capture time in microseconds

// The senders remembered: a large LAN's. A full neighbourhood of
// kHeardProbes slots gives up its longest-silent sender.
inline constexpr int kHeardBits = 12;
inline constexpr int kHeardCapacity = 1 << kHeardBits;
inline constexpr int kHeardProbes = 8;

// Attempts waiting for their outcome. When all are taken, the oldest is
// closed as no_sign after the seconds it was watched, to make room.
inline constexpr int kOpenAttemptCapacity = 64;

struct WakeOutcomeRecord {
    unsigned char target[kHardwareAddressLength];
    WakeOutcome outcome;
    // woke: first packet to first sign; already awake: last sign to packet;
    // no sign: the window, or how long it was watched. Never negative.
    double seconds;
    WakeSign evidence;      // kNone for no_sign
    WakeSignSource source;  // the evidence's sender
    WatchTime firstMagic;   // the attempt's first magic packet
    WatchTime time;         // when the outcome was known
    int magicPackets;       // the attempt's
    bool captureEnded;      // no sign: the capture ended within its window
    char interfaceName[kInterfaceNameSize];  // where the first packet was seen; terminated
};

using WakeOutcomeHandler = void (*)(const WakeOutcomeRecord& record, void* context);

// Magic packets for a target that came awake join its decided attempt while
// they follow each other this closely: a sending tool's burst, or a resend
// just after the wake, is one attempt, not one outcome each.
inline constexpr WatchTime kBurstGap = 10 * kMicrosecondsPerSecond;

// The last sign heard from one sender.
struct HeardSender {
    std::uint64_t key;  // the MAC and a used bit; 0: a free slot
    WatchTime time;
    WakeSign sign;
    WakeSignSource source;
    bool decided;           // an attempt for it ended awake ...
    WatchTime decidedUntil; // ... and its packets since came before this
};

struct OpenAttempt {
    std::uint64_t key;
    WatchTime firstMagic;
    int magicPackets;
    char interfaceName[kInterfaceNameSize];
};

// Caller-owned (some 170 KB): static, or allocated once per capture.
struct AwakeWatch {
    WatchTime window;
    WatchTime now;  // the latest capture time seen
    bool started;
    bool finishing;  // the capture's end closes what is open
    WakeOutcomeHandler handler;
    void* context;
    int openCount;
    OpenAttempt open[kOpenAttemptCapacity];  // [0, openCount)
    HeardSender heard[kHeardCapacity];
};

// Empties the watch; each outcome is handed to `handler` as it is known.
void StartAwakeWatch(AwakeWatch* watch, WatchTime window, WakeOutcomeHandler handler, void* context);

// A magic packet for `target` (six bytes) seen on `interfaceName`: it joins
// the target's open attempt, or is already_awake at once, or opens one.
void NoteMagicPacket(AwakeWatch* watch, const unsigned char* target, WatchTime time, const char* interfaceName);

// Whether an open attempt waits for a sign from `sender` (six bytes): the
// one question a frame to one host asks, so that a flood costs little.
bool AwaitsSign(const AwakeWatch& watch, const unsigned char* sender);

// Every other frame, by its sender's MAC (six bytes) and its class: kNone
// only moves the clock on. A sign ends the sender's open attempt as woke
// (seconds 0 when the clock went back behind its first packet); true when
// this frame did, so that it can be kept as the evidence.
bool NoteWakeSign(AwakeWatch* watch, const unsigned char* sender, WatchTime time, WakeSign sign,
                  const WakeSignSource& source);

// The capture's clock: attempts whose window has passed end as no_sign.
// Times behind the latest seen do not move it back.
void AdvanceAwakeWatch(AwakeWatch* watch, WatchTime time);

// The capture's end: every open attempt ends as no_sign after the seconds
// it was watched, marked captureEnded.
void FinishAwakeWatch(AwakeWatch* watch);
