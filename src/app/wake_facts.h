// What Lumora.exe reads of this machine at start-up to judge whether a magic
// packet would wake it: the adapter that holds the listening address, its
// driver's settings, whether Windows has armed it, and the power settings.
#pragma once

#include <winsock2.h>

#include "analysis/windows_readiness.h"

// Never fails: whatever cannot be read is left unknown.
WindowsWakeFacts ReadWakeFacts(const in_addr& address);
