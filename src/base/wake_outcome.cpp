#include "base/wake_outcome.h"

#include <cstring>

namespace {

constexpr const char* kWords[] = {"", "woke", "already_awake", "no_sign"};
constexpr int kOutcomes = static_cast<int>(sizeof kWords / sizeof kWords[0]);
static_assert(static_cast<int>(WakeOutcome::kNoSign) == kOutcomes - 1, "a word for every outcome");

}  // namespace

const char* WakeOutcomeWord(WakeOutcome outcome) {
    const int index = static_cast<int>(outcome);
    return index < kOutcomes ? kWords[index] : "";
}

WakeOutcome WakeOutcomeOfWord(const char* text, std::size_t length) {
    for (int i = 1; i < kOutcomes; ++i)
        if (std::strlen(kWords[i]) == length && std::memcmp(kWords[i], text, length) == 0)
            return static_cast<WakeOutcome>(i);
    return WakeOutcome::kNone;
}
