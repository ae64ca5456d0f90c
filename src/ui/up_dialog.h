// CUPDialog: a modal dialog with a caption and a scrolling text log that runs
// one worker function on a thread of its own while it is open.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/worker_context.h"

// End codes of DoModal.
constexpr INT_PTR kEndFinished = 1;    // the worker returned 1, or UPM_FINISH
constexpr INT_PTR kEndCancelled = 2;   // Cancel, Escape, the close box, or the worker failed
constexpr INT_PTR kEndNoWindow = -1;   // the dialog window was not created

constexpr int kTitleSize = 256;
constexpr int kInitialTextSize = 1000;
constexpr DWORD kGracePeriodMs = 500;  // how long a stopping worker is given
constexpr DWORD kForcedExitCode = 2;   // exit code of a worker that had to be ended

class CUPDialog {
public:
    CUPDialog(HWND hwndParent, WorkerProc workerProc, void* userData, const char* title,
              std::uint8_t noWorker, const char* initialText);
    virtual ~CUPDialog();
    CUPDialog(const CUPDialog&) = delete;
    CUPDialog& operator=(const CUPDialog&) = delete;

    // Asks the worker to stop, gives it the grace period, then ends it by
    // force; closes the thread handle and clears the context for reuse.
    void StopWorker();
    INT_PTR DoModal();
    static DWORD WINAPI WorkerThreadStart(LPVOID param);

    HWND hwndParent;
    std::uint8_t noWorker;
    HANDLE hThread;
    char title[kTitleSize];
    char initialText[kInitialTextSize];
    WorkerContext ctx;
};
