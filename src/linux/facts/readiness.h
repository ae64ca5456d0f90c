// Whether this machine's cards would wake it on a magic packet: read once at
// start-up, while lumora may still read them, and printed by lumora --check
// and before every live capture.
#pragma once

#include "analysis/machine_facts.h"
#include "records/sighting_forms.h"

// Reads every interface, and the card state of each one `device` names
// (nullptr: each one that is up and not loopback). False, after one line on
// standard error, when the interfaces cannot be read or `device` is none of
// them.
bool ReadMachineAtStart(const char* device, LocalInterfaces* interfaces);

// Prints the readiness of the interfaces `device` names, in `format` (line or
// json) on standard output, or as lumora's own lines on standard error.
// Interfaces with no device behind them share one line, unless named.
// Returns how many of them would wake the machine.
int PrintReadiness(const LocalInterfaces& interfaces, const char* device, OutputFormat format, bool toStandardError);
