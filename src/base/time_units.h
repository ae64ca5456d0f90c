// The unit every capture and record time is counted in.
#pragma once

#include <cstdint>

inline constexpr std::int64_t kMicrosecondsPerSecond = 1000000;
