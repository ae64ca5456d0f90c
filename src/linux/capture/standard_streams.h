// Descriptors 0, 1 and 2 are made valid before anything else is opened, so
// no capture handle or file can ever become standard output.
#pragma once

enum class StandardStreams {
    kReady,
    kOutputClosed,  // standard output was closed: reports would go nowhere
    kFailed,        // /dev/null could not be opened
};

StandardStreams SecureStandardStreams();
