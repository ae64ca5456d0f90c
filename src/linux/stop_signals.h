// Ctrl-C and SIGTERM end the capture cleanly instead of killing it.
#pragma once

// Installs the handlers; false (after printing why) when that failed.
bool CatchStopSignals();

bool StopRequested();
