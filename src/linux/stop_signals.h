// Ctrl-C, SIGTERM and SIGHUP end the capture cleanly instead of killing it;
// a reader that went away shows as a failed write, not as SIGPIPE.
#pragma once

#include <pcap/pcap.h>

// Installs the handlers and ignores SIGPIPE; false (after printing why) when
// that failed.
bool CatchStopSignals();

// The handle whose wait a stop signal breaks (nullptr: none).
void StopCaptureOnSignal(pcap_t* handle);

bool StopRequested();
