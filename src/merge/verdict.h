// What became of a wake attempt, and one sentence of why, for the person who
// must act on it: a packet that never reached the target's network needs
// the network's people, one that reached it but woke nothing the machine's.
#pragma once

#include "merge/attempts.h"
#include "base/text_writer.h"

enum class MergeVerdict {
    kWoke,          // an awake record saw it wake
    kAlreadyAwake,  // an awake record found it up already
    kNoWake,        // a monitor saw the packet and no sign of waking came, or the target said it would not wake
    kLost,          // sent, and no other host saw it
    kUnknown,       // anything else
    kCount,
};

constexpr int kMergeVerdictCount = static_cast<int>(MergeVerdict::kCount);
constexpr int kMergeWhySize = 1024;

const char* MergeVerdictName(MergeVerdict verdict);  // "no_wake"

// The verdict, and its why into why[0, size), terminated (cut short should
// it not fit).
MergeVerdict JudgeMergeAttempt(const MergeAttempt& attempt, const MergeHintNames& names, char* why, int size);

// The instant's local time of day, "22:14:03", with ".123456" if asked.
void PutMergeClock(text_writer::TextWriter& out, long long instant, bool microseconds);

// The codes of the hint bits, in the table's order, `separator` between.
void PutMergeHintCodes(text_writer::TextWriter& out, std::uint64_t hints, const MergeHintNames& names, const char* separator);
