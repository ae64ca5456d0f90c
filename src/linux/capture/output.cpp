// Writing each report, line and record to standard output whole.
#include "linux/capture/output.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "linux/capture/diagnostics.h"
#include "linux/capture/stop_signals.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kStopGraceMs = 1000;

// Returns the new length. The text only shrinks, so it is rewritten in place.
int ToLineFeeds(char* text) {
    int out = 0;
    for (int in = 0; text[in] != '\0'; ++in) {
        if (text[in] == '\r' && text[in + 1] == '\n') continue;
        text[out++] = text[in];
    }
    text[out] = '\0';
    return out;
}

// Once a stop is asked for, the text a run ends with (the outcomes it
// closes) still goes out, but a reader that takes none of it this long is
// given up on, so that a stuck reader cannot keep lumora from ending.
bool WritableBeforeGivingUp(int descriptor) {
    if (!StopRequested()) return true;
    pollfd ready{descriptor, POLLOUT, 0};
    int status;
    do {
        status = poll(&ready, 1, kStopGraceMs);
    } while (status < 0 && errno == EINTR);
    return status > 0;
}

}  // namespace

// write() is unbuffered, so nothing waits in a buffer for the next text.
// SIGPIPE is ignored, so a reader that went away shows here as EPIPE; a
// signal that interrupts a write waiting on a reader (Ctrl-C) is a stop.
Written WriteOut(int descriptor, const char* text, int length) {
    while (length > 0) {
        if (!WritableBeforeGivingUp(descriptor)) return Written::kReaderGone;
        const ssize_t written = write(descriptor, text, static_cast<size_t>(length));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EPIPE) return Written::kReaderGone;
        if (written < 0) {
            PrintMessage("cannot write to standard output: %s", std::strerror(errno));
            return Written::kFailed;
        }
        text += written;
        length -= static_cast<int>(written);
    }
    return Written::kWhole;
}

Written PrintOut(const char* text, int length) { return WriteOut(STDOUT_FILENO, text, length); }

Written PrintReport(char* report) {
    const int length = ToLineFeeds(report);
    return PrintOut(report, length);
}

int ExitStatusOf(Written written) { return written == Written::kFailed ? kExitFailure : kExitOk; }
