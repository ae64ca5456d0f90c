// Lumora's start-up: the capture socket, the capture dialog and tear-down.
#pragma once

#include <winsock2.h>

#include "analysis/windows_readiness.h"

// How the capture socket is opened. Lumora takes every IPv4 datagram of the
// host's address (protocol 0 with receive-all mode); the tests under Wine,
// which refuses that, take UDP only.
struct CaptureSocketSetup {
    int protocol;
    bool receiveAll;
};

constexpr CaptureSocketSetup kReceiveAllSetup = {0, true};

// Starts the socket library; reports a failure with the code it returned.
bool StartWinsock(WORD version);

// Set-up steps in order, each reported on failure. On success the socket
// library is started and `capture` is open, bound and receiving.
bool OpenCaptureSocket(const CaptureSocketSetup& setup, SOCKET* capture);

// Runs the capture dialog on `capture` until it ends; after an end code of 1
// closes the socket and cleans up the socket library before the worker is
// stopped. Returns the dialog's end code.
INT_PTR RunCaptureDialog(SOCKET* capture);

// The whole program: 1 when set-up failed, otherwise 0.
int RunLumora(const CaptureSocketSetup& setup);

extern const char kLumoraCaption[];
// Writes the log's initial text into `text` (`size` bytes, always
// terminated); it names `address`, the one the capture listens on, and says
// what `verdict` says of this machine's waking.
void FormatInitialText(char* text, int size, const char* address, const WindowsWakeVerdict& verdict);
