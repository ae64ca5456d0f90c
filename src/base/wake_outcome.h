// What became of a wake attempt, as the awake watch decides it and as its
// records, the summary and --merge name it.
#pragma once

#include <cstddef>
#include <cstdint>

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
