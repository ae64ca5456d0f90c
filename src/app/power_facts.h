// The power side of the readiness facts: powrprof's answers, looked up at run
// time (Windows before 8 and Wine lack some of them), and Fast Startup.
#pragma once

#include "analysis/windows_readiness.h"

inline constexpr int kDeviceNameSize = 256;  // a device's name, ANSI, terminated

// Hibernation, Modern Standby and Fast Startup into `facts`.
void ReadPowerSettings(WindowsWakeFacts* facts);

// Whether a device of this name (the driver's, or the adapter's own
// description) is among those Windows has armed to wake the system. A name
// not among them says no only when the driver's name is known.
Tristate ReadArmed(const char* driverName, const char* description);
