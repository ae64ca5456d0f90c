// What became of a wake attempt, as the awake watch decides it and as its
// records, the summary and --merge name it.
#pragma once

#include "base/time_units.h"

#include <cstddef>
#include <cstdint>

// How long after a magic packet the capture watches for its target's first
// sign unless told otherwise: long enough for a cold boot, the firmware, then
// the system's first frames. The merge waits as long for a monitor's outcome.
inline constexpr std::int64_t kDefaultAwakeWindow = 300 * kMicrosecondsPerSecond;

enum class WakeOutcome : std::uint8_t {
    kNone,  // not known: no awake record came
    kWoke,
    kAlreadyAwake,
    kNoSign,
};

// "woke", "already_awake", "no_sign"; "" for kNone.
const char* WakeOutcomeWord(WakeOutcome outcome);

// The outcome a word names, kNone for any other text.
WakeOutcome WakeOutcomeOfWord(const char* text, std::size_t length);
