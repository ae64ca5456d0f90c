// Whether this machine's cards would wake it on a magic packet: read once at
// start-up, while lumora may still read them.
#pragma once

#include "analysis/machine_facts.h"

// Reads every interface, and the card state of each one `device` names
// (nullptr: each one that is up and not loopback). False, after one line on
// standard error, when the interfaces cannot be read or `device` is none of
// them.
bool ReadMachineAtStart(const char* device, LocalInterfaces* interfaces);

// Whether --check and the start of a capture look at `interface`.
bool IsChecked(const LocalInterface& interface, const char* device);
