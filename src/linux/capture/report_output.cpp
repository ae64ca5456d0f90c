// Writing each report, line or json record to standard output whole.
#include "linux/capture/report_output.h"

#include "linux/capture/diagnostics.h"
#include "linux/capture/stop_signals.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

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

// write() is unbuffered, so nothing waits in a buffer for the next report.
// A stop request gives up on a reader that no longer reads; the caller then
// sees the request and ends. SIGPIPE is ignored, so a reader that went away
// shows here as EPIPE.
Written WriteAll(int descriptor, const char* text, int length) {
    while (length > 0 && !StopRequested()) {
        const ssize_t written = write(descriptor, text, static_cast<size_t>(length));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EPIPE) return Written::kReaderGone;
        if (written < 0) {
            PrintMessage("cannot write the report: %s", std::strerror(errno));
            return Written::kFailed;
        }
        text += written;
        length -= static_cast<int>(written);
    }
    return Written::kWhole;
}

}  // namespace

Written PrintReport(char* report) {
    const int length = ToLineFeeds(report);
    return WriteAll(STDOUT_FILENO, report, length);
}
