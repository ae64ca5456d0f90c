// Reading the machine's settings from the registry, as numbers or text.
#pragma once

#include <windows.h>

#include "analysis/windows_readiness.h"

// The value `name` of `key` as a number: a DWORD, or a string of decimal
// digits, as an adapter's Advanced tab writes its keywords.
Setting ReadSetting(HKEY key, const char* name);

// The value `name` under HKEY_LOCAL_MACHINE\`path`; kAbsent when the key or
// the value is not there, kUnread when the key cannot be opened.
Setting ReadMachineSetting(const char* path, const char* name);

// A string value into text[0, size), terminated; false when it is not there
// or not a string.
bool ReadText(HKEY key, const char* name, char* text, DWORD size);

// Opens HKEY_LOCAL_MACHINE\`path` (then a subkey of it, for `parent`) to
// read: the 64-bit view from the 32-bit Lumora.exe too, since the policies
// and the driver keys live there.
LONG OpenMachineKey(HKEY parent, const char* path, REGSAM access, HKEY* key);
