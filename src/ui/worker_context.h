// What the dialog's UI thread and its one worker thread share, and the
// dialog's private messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

constexpr UINT UPM_CANCELLING = WM_USER + 1234;   // sent to itself while cancelling
constexpr UINT UPM_WORKER_DONE = WM_USER + 1235;  // posted by the worker thread; wParam: end code
constexpr UINT UPM_RESERVED = WM_USER + 1236;
constexpr UINT UPM_APPEND_TEXT = WM_USER + 1237;  // sent by PostText; lParam: the text
constexpr UINT UPM_CANCEL = WM_USER + 1238;
constexpr UINT UPM_FINISH = WM_USER + 1239;
constexpr UINT UPM_NO_WORKER = WM_USER + 1240;

struct WorkerContext;

// The worker's job; 1 means it succeeded, anything else that it failed.
using WorkerProc = std::uint8_t (*)(WorkerContext* ctx);

struct WorkerContext {
    HWND hwndDialog;
    void* userData;
    // Shared by the two threads without a lock: each must be read and
    // written whole and be seen by the other thread.
    std::atomic<std::uint8_t> running;
    std::atomic<std::uint8_t> cancelRequested;
    WorkerProc workerProc;

    void Clear();
    void* GetUserData() const { return userData; }
    // Hands `text` to the dialog's log and returns once it has been copied,
    // so the caller may reuse its buffer at once. Does nothing when the
    // dialog is gone or ending.
    void PostText(const char* text);
};

static_assert(std::atomic<std::uint8_t>::is_always_lock_free, "the shared flags must be lock-free");
static_assert(sizeof(std::atomic<std::uint8_t>) == 1, "the shared flags are single bytes");
