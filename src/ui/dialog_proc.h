#pragma once

#include <windows.h>

// The procedure of CUPDialog's window: starts the worker, appends the texts
// it hands over to the log, and ends the dialog on Cancel, Escape, the
// close box or the worker's completion.
INT_PTR CALLBACK UPDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The troubleshooting page that Help opens.
extern const char kHelpPageUrl[];
