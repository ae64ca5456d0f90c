// Helpers for tests that drive real windows from a second thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

constexpr DWORD kGenerousTimeoutMs = 20000;

// Polls `condition` until it holds or `timeoutMs` passes; true if it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kGenerousTimeoutMs);

// The dialog window with this caption, once it is shown; null on time-out.
HWND WaitForDialog(const char* caption);

std::string WindowText(HWND hwnd);

// Real keyboard input, as a user types it, to the dialog once it is in front.
bool PressKey(HWND dialog, WORD virtualKey);
bool PressKeyWithAlt(HWND dialog, WORD virtualKey);
bool PressKeyWithShift(HWND dialog, WORD virtualKey);

// The control that has the keyboard focus in the window's thread.
HWND FocusedControl(HWND window);
