#include "ui/log_text.h"

#include <cstring>

namespace {

// Bytes to drop from the start of `log` so that `needed` more are free:
// through the end of the line in which the `needed`-th byte lies.
int LinesToDrop(const char* log, int length, int needed) {
    const void* lineEnd = std::memchr(log + needed - 1, '\n', static_cast<std::size_t>(length - needed + 1));
    if (lineEnd == nullptr) return length;
    return static_cast<int>(static_cast<const char*>(lineEnd) - log) + 1;
}

}  // namespace

void AppendToLog(char* log, int capacity, const char* text) {
    if (capacity <= 0) return;
    int length = static_cast<int>(strnlen(log, static_cast<std::size_t>(capacity - 1)));
    int textLength = static_cast<int>(strnlen(text, static_cast<std::size_t>(capacity - 1)));
    const int needed = length + textLength + 1 - capacity;
    if (needed > 0) {
        const int dropped = LinesToDrop(log, length, needed);
        std::memmove(log, log + dropped, static_cast<std::size_t>(length - dropped));
        length -= dropped;
    }
    std::memcpy(log + length, text, static_cast<std::size_t>(textLength));
    log[length + textLength] = '\0';
}
