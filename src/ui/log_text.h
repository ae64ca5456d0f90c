// Appending to the log's text buffer: the newest text always goes in whole,
// and the oldest lines make room for it. Portable, so it can be tested alone.
#pragma once

// Appends `text` to the NUL-terminated `log`, a buffer of `capacity` bytes.
// When it would not fit, whole lines are dropped from the start of the log
// until it does; text longer than the whole buffer keeps its beginning.
// The buffer stays terminated.
void AppendToLog(char* log, int capacity, const char* text);
