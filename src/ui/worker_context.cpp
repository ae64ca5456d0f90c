#include "ui/worker_context.h"

void WorkerContext::Clear() {
    hwndDialog = nullptr;
    userData = nullptr;
    running = 0;
    cancelRequested = 0;
    workerProc = nullptr;
}

void WorkerContext::PostText(const char* text) {
    if (!IsWindow(hwndDialog) || cancelRequested != 0) return;
    SendMessageA(hwndDialog, UPM_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(text));
}
