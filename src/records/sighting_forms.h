// The two one-line forms lumora can print a sighting in besides the report:
// "line" for people, in the manner of tcpdump, and "json" (JSON Lines) for
// scripts.
#pragma once

#include "records/sighting.h"

enum class OutputFormat {
    kReport,  // the multi-line report, the Windows program's text
    kLine,    // one line per magic packet, in the manner of tcpdump
    kJson,    // JSON Lines, one object per magic packet
};

// Each writes one line ending in '\n' into text[0, size), terminated, and
// returns its length without the terminator, or -1 (text then holds "") when
// it would not fit or the time cannot be converted. Nothing is written past
// text[size - 1].
int FormatSightingLine(const Sighting& sighting, char* text, int size);
int FormatSightingJson(const Sighting& sighting, char* text, int size);
