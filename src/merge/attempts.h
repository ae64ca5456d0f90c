// Wake attempts: the magic packets for one target MAC, from any host and in
// either direction, that follow each other within the gap, with the awake
// records that answer them. Records come in roughly in time order (journals
// of several hosts interleave, clocks differ by seconds); an attempt closes,
// and is handed to the caller, once the records' time has passed its last
// packet by the gap and the skew tolerance, or at the end. One a monitor saw
// stays open until an awake record answers it, as late as lumora's default
// awake window after its first packet: a no_sign comes only then.
//
// The book is one fixed block: memory never grows with the input, only with
// the attempts open at once, up to kMergeMaxOpen. A new attempt that finds
// the book full closes the one whose last packet is oldest first (counted in
// closedEarly); a later packet of that one then starts an attempt of its own.
#pragma once

#include "merge/record.h"

#include <cstdint>

// Clocks of the hosts may differ by this much: a monitor may stamp a packet
// seconds before its sender did.
constexpr int kMergeClockSkewSeconds = 5;
constexpr long kMergeDefaultGapSeconds = 60;
constexpr long kMergeMaxGapSeconds = 24 * 60 * 60;
constexpr int kMergeMaxOpen = 1024;
// Per attempt; past these the packets still count (crowded is set).
constexpr int kMergeMaxSenders = 8;
constexpr int kMergeMaxMonitors = 16;
// Distinct hint codes of a whole merge; each sender and monitor keeps its
// hints as bits in this table. Codes past it are dropped (and counted).
constexpr int kMergeHintNames = 64;
// Cards whose last readiness record is kept; past it the oldest gives way.
constexpr int kMergeReadinessCards = 256;
// Unanswered bursts kept per attempt (the rest are counted), and kept for
// attempts yet to open (the clocks of hosts differ).
constexpr int kMergeMaxUnanswered = 2;
constexpr int kMergePendingUnanswered = 32;

struct MergeSender {
    char host[kMergeHostSize];
    char interface[kMergeInterfaceSize];
    char destination[kMergeAddressSize];
    std::uint64_t hints;
    long packets;
};

struct MergeMonitor {
    char host[kMergeHostSize];
    char interface[kMergeInterfaceSize];
    Tristate wouldWake;  // yes once any packet would wake it
    std::uint64_t hints;
    long packets;
};

// The most telling awake record of the attempt: a wake before no sign.
struct MergeAwake {
    WakeOutcome outcome;  // kNone: no awake record came
    char host[kMergeHostSize];
    bool hasSeconds;
    double seconds;
    char evidence[kMergeEvidenceSize];
    char evidenceSource[kMergeAddressSize];
};

// A card's state as its machine last went to sleep or shut down.
struct MergeReadiness {
    bool known;
    long long instant;
    char time[kMergeTimeSize];
    char host[kMergeHostSize];
    char event[kMergeEventSize];
    char interface[kMergeInterfaceSize];
    char wakeOn[kMergeWakeOnSize];
    Tristate wouldWake;
};

// A question for the target's address that no one answered, from a monitor.
struct MergeUnanswered {
    std::uint64_t target;
    long long instant;
    char time[kMergeTimeSize];
    char host[kMergeHostSize];
    char interface[kMergeInterfaceSize];
    char targetIp[kMergeAddressSize];
    char askedByMac[kMergeAddressSize];
    char askedByIp[kMergeAddressSize];
    long count;
};

struct MergeAttempt {
    std::uint64_t target;
    char vendor[kMergeVendorSize];
    long long first;  // microseconds since the Epoch
    long long last;
    char firstTime[kMergeTimeSize];  // as the records write them
    char lastTime[kMergeTimeSize];
    // The most any one sender or monitor recorded: one packet seen by the
    // sender and two monitors is one packet. 0 for an awake record no packet
    // of which was read.
    long packets;
    MergeSender senders[kMergeMaxSenders];
    int senderCount;
    MergeMonitor monitors[kMergeMaxMonitors];
    int monitorCount;
    bool crowded;  // more senders or monitors than kept
    MergeAwake awake;
    MergeReadiness readiness;  // the target's last before the attempt
    MergeUnanswered unanswered[kMergeMaxUnanswered];
    int unansweredCount;       // all that came, kept or not
};

struct MergeHintNames {
    char names[kMergeHintNames][kMergeHintCodeSize];
    int count;
};

// Called for each attempt as it closes, in the order of their last packets.
using MergeEmit = void (*)(void* context, const MergeAttempt& attempt);

// Large: allocate it, zeroed, and start it before use.
struct MergeBook {
    long long window;   // gap and skew, microseconds
    long long skew;
    long long outcomeWait;  // from the first packet, for a monitor's outcome
    long long horizon;  // the latest record time read
    long long nextDeadline;
    MergeAttempt open[kMergeMaxOpen];
    std::uint64_t openTarget[kMergeMaxOpen];  // beside the attempts: the search reads these only
    int openCount;
    int closing[kMergeMaxOpen];
    MergeHintNames hintNames;
    std::uint64_t readinessCard[kMergeReadinessCards];
    MergeReadiness readiness[kMergeReadinessCards];
    int readinessCount;
    MergeUnanswered pending[kMergePendingUnanswered];  // a ring of the latest not yet matched
    int pendingNext;
    long hintsDropped;
    long closedEarly;
    long crowdedAttempts;
    MergeEmit emit;
    void* context;
};

void StartMergeBook(MergeBook* book, long gapSeconds, MergeEmit emit, void* context);

// Adds the record to its attempt (a new one when none is open for it), then
// closes every attempt the record's time has passed.
void AddMergeRecord(MergeBook* book, const MergeRecord& record);

// The end of the input: closes every open attempt.
void CloseMergeBook(MergeBook* book);
