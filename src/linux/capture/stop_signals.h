// Ctrl-C, SIGTERM and SIGHUP end the capture cleanly instead of killing it,
// and so does --timeout's alarm; a reader that went away shows as EPIPE on
// the next write, not as SIGPIPE.
#pragma once

#include <pcap/pcap.h>

// Installs the handlers and ignores SIGPIPE; false (after printing why) when
// that failed.
bool CatchStopSignals();

// The handle whose wait a stop signal breaks (nullptr: none).
void StopCaptureOnSignal(pcap_t* handle);

bool StopRequested();

// Ends the capture after `seconds`, as a stop signal would, and marks the
// time as run out. False (after printing why) when the timer cannot be set.
bool StopAfter(long seconds);

bool TimeRanOut();
