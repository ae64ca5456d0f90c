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

// A message box as the user sees it; `seen` is false when none came.
struct MessageBoxSeen {
    bool seen = false;
    std::string caption;
    std::string text;
};

// Waits for a message box with this caption (in any process), reads it and
// presses its OK button.
MessageBoxSeen ReadAndConfirmMessageBox(const char* caption);

// The system's own description of an error code, or "" when it has none.
std::string SystemDescription(DWORD code);

// Real keyboard input, as a user types it, to the dialog once it is in front.
bool PressKey(HWND dialog, WORD virtualKey);
bool PressKeyWithAlt(HWND dialog, WORD virtualKey);
bool PressKeyWithShift(HWND dialog, WORD virtualKey);

// Writes what the screen shows of the window, frame included, as a 24-bit BMP.
bool SaveWindowImage(HWND window, const char* path);

// The control that has the keyboard focus in the window's thread.
HWND FocusedControl(HWND window);
