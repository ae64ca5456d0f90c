// One card's Wake-on-LAN readiness (lumora --check, and the lines a live
// capture starts with) as a line or a json object.
#pragma once

#include "analysis/wake_diagnosis.h"
#include "records/sighting.h"

// Each ends in '\n', with the contract of the sighting forms: the length,
// or -1 and "" when it does not fit.
int FormatReadinessLine(const LocalInterface& interface, const CardReadiness& readiness, char* text, int size);
int FormatReadinessJson(const LocalInterface& interface, const CardReadiness& readiness, char* text, int size);

// The readiness record lumora --check --event writes into the journal as the
// machine goes to sleep or shuts down (docs/lumora-record.schema.json):
// `time` now, `host` this machine's name (nullptr or "": not known).
int FormatReadinessRecord(const LocalInterface& interface, const CardReadiness& readiness, const CaptureTime& time,
                          const char* host, const char* event, char* text, int size);

// The one line that the interfaces with no device behind them share.
int FormatDevicelessLine(const char* const* names, int count, char* text, int size);
