#include "ui/up_dialog.h"

#include <commctrl.h>

#include <cstring>

#include "ui/dialog_proc.h"
#include "ui/text_copy.h"
#include "resource.h"

namespace {

bool IsThreadActive(HANDLE thread) {
    DWORD code = 0;
    return GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

// Registers the common-control classes before WinMain runs.
bool RegisterCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    return InitCommonControlsEx(&controls) != FALSE;
}

const bool gCommonControlsRegistered = RegisterCommonControls();

}  // namespace

CUPDialog::CUPDialog(HWND parent, WorkerProc workerProc, void* userData, const char* caption,
                     std::uint8_t noWorkerThread, const char* text)
    : hwndParent(parent), noWorker(noWorkerThread), hThread(nullptr) {
    ctx.Clear();
    ctx.userData = userData;
    ctx.workerProc = workerProc;
    std::memset(title, 0, sizeof title);
    CopyTextBounded(title, caption, kTitleSize - 1, CP_ACP);
    std::memset(initialText, 0, sizeof initialText);
    CopyTextBounded(initialText, text, kInitialTextSize - 1, CP_ACP);
}

CUPDialog::~CUPDialog() { StopWorker(); }

void CUPDialog::StopWorker() {
    ctx.cancelRequested = 1;
    // A thread that has been created but has not yet set `running` must be
    // waited for too: otherwise it would start its worker on a cleared context.
    if (hThread != nullptr && (ctx.running == 1 || IsThreadActive(hThread))) {
        WaitForSingleObject(hThread, kGracePeriodMs);
        if (IsThreadActive(hThread)) TerminateThread(hThread, kForcedExitCode);
    }
    if (hThread != nullptr) {
        CloseHandle(hThread);
        hThread = nullptr;
    }
    ctx.running = 0;
    ctx.cancelRequested = 0;
    ctx.hwndDialog = nullptr;
}

INT_PTR CUPDialog::DoModal() {
    StopWorker();
    return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN), hwndParent, UPDialogProc,
                           reinterpret_cast<LPARAM>(this));
}

DWORD WINAPI CUPDialog::WorkerThreadStart(LPVOID param) {
    WorkerContext* context = static_cast<WorkerContext*>(param);
    context->running = 1;
    WPARAM endCode = kEndCancelled;
    if (context->cancelRequested != 1 && context->workerProc != nullptr)
        endCode = context->workerProc(context) == 1 ? kEndFinished : kEndCancelled;
    context->running = 0;
    if (context->cancelRequested == 0) PostMessageA(context->hwndDialog, UPM_WORKER_DONE, endCode, 0);
    return 0;
}
