// A fact or judgement that may not be known.
#pragma once

#include <cstdint>

enum class Tristate : std::uint8_t { kUnknown, kNo, kYes };
