#pragma once

#include <windows.h>

// Copies at most `maxBytes` bytes of `source` into `dest` (which holds at
// least maxBytes + 1) and terminates it. The cut never splits a double-byte
// character of `codePage`: a lead byte whose trail would not fit is left out.
void CopyTextBounded(char* dest, const char* source, int maxBytes, UINT codePage);
