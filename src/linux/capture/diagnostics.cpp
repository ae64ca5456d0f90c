// lumora's one-line messages on standard error.
#include "linux/capture/diagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace {
constexpr int kMessageSize = 2048;  // a readiness line with its advice
}  // namespace

// Formatted first and written in one call, so a message is never split by
// other output.
void PrintMessage(const char* format, ...) {
    char message[kMessageSize];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::fprintf(stderr, "lumora: %s\n", message);
}
