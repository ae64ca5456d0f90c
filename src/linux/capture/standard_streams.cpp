// Putting /dev/null on whichever of descriptors 0, 1 and 2 is closed.
#include "linux/capture/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kStandardDescriptors = 3;

bool IsClosed(int descriptor) { return fcntl(descriptor, F_GETFD) == -1 && errno == EBADF; }

}  // namespace

// open() takes the lowest free descriptor, so filling them in order puts
// /dev/null on exactly the closed ones.
StandardStreams SecureStandardStreams() {
    bool outputClosed = false;
    for (int descriptor = 0; descriptor < kStandardDescriptors; ++descriptor) {
        if (!IsClosed(descriptor)) continue;
        outputClosed = outputClosed || descriptor == STDOUT_FILENO;
        if (open("/dev/null", O_RDWR) != descriptor) return StandardStreams::kFailed;
    }
    return outputClosed ? StandardStreams::kOutputClosed : StandardStreams::kReady;
}
