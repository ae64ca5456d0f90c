// The question no one answered (the neighbour watch's record) in the forms
// lumora writes: a line for people, a json record for scripts and --merge.
#pragma once

#include "analysis/neighbour_watch.h"

// Each writes one line ending in '\n' into text[0, size), terminated, and
// returns its length, or -1 (text then holds "") when it does not fit or
// the time cannot be converted. `interfaceName` nullptr: read from a file;
// `host` nullptr or "": not known.
int FormatUnansweredLine(const UnansweredRecord& record, const char* interfaceName, char* text, int size);
int FormatUnansweredJson(const UnansweredRecord& record, const char* host, const char* interfaceName, char* text,
                         int size);
