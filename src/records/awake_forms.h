// The outcome of a wake attempt in the forms lumora writes: a line for
// people, a json record for scripts, and the words the summary ends a
// target's line with.
#pragma once

#include "analysis/awake_watch.h"

// "woke 3.1 s after the magic packet (DHCP request)", "already awake (ARP
// request 2.0 s before the magic packet)", "no sign of waking within 300 s",
// "no sign before the capture ended, 12 s after the magic packet".
inline constexpr int kOutcomeWordsSize = 96;
int FormatOutcomeWords(const WakeOutcomeRecord& record, char* text, int size);

// Each writes one line ending in '\n' into text[0, size), terminated, and
// returns its length without the terminator, or -1 (text then holds "") when
// it would not fit or the time cannot be converted. `interfaceName` nullptr:
// read from a file; `host` nullptr or "": not known.
int FormatAwakeLine(const WakeOutcomeRecord& record, const char* interfaceName, char* text, int size);
int FormatAwakeJson(const WakeOutcomeRecord& record, const char* host, const char* interfaceName, char* text,
                    int size);
