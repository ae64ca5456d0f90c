// Helpers for tests that drive real windows from a second thread.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>

constexpr DWORD kGenerousTimeoutMs = 20000;

// Polls `condition` until it holds or `timeoutMs` passes; true if it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kGenerousTimeoutMs);

// The dialog window with this caption, once it is shown; null on time-out.
HWND WaitForDialog(const char* caption);

std::string WindowText(HWND hwnd);

// The size of `text` drawn in the control's own font.
SIZE TextExtent(HWND control, const std::string& text);

// Whether `text`, drawn in the edit control's own font, fits the control's
// formatting rectangle: a line of the log that needs no sideways scrolling.
bool ShowsWithoutScrolling(HWND edit, const std::string& text);

// The full path of the file `name` in this test program's folder.
std::string BesideThisProgram(const char* name);

// Runs `modal` (a modal dialog captioned `caption`) on this thread and
// `drive` on a second one once the dialog is shown. A dialog the driver
// failed to end is ended for it, so a failure never hangs.
INT_PTR RunModal(const char* caption, const std::function<INT_PTR()>& modal, const std::function<void(HWND)>& drive);

// Real keyboard input, as a user types it, to the dialog once it is in
// front: the keys go down in order and up in reverse, so {VK_MENU, VK_F4}
// is Alt+F4.
bool PressKeys(HWND dialog, std::initializer_list<WORD> keys);

// Writes what the screen shows of the window, frame included, as a 24-bit
// BMP: scripts/screenshot takes the README's picture with it.
bool SaveWindowImage(HWND window, const char* path);
