#include "gui_test_support.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ui/worker_context.h"

namespace {

constexpr DWORD kPollMs = 10;

INPUT Key(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

HWND WaitForDialog(const char* caption) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowA("#32770", caption)) != nullptr && IsWindowVisible(found); });
    return found;
}

std::string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(hwnd, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::string BesideThisProgram(const char* name) {
    char path[MAX_PATH];
    const std::string self(path, GetModuleFileNameA(nullptr, path, sizeof path));
    return self.substr(0, self.find_last_of("\\/") + 1) + name;
}

INT_PTR RunModal(const char* caption, const std::function<INT_PTR()>& modal, const std::function<void(HWND)>& drive) {
    std::atomic<bool> ended{false};
    std::thread driver([&] {
        HWND hwnd = WaitForDialog(caption);
        if (hwnd == nullptr) return;
        drive(hwnd);
        if (!WaitUntil([&] { return ended.load(); })) {
            ADD_FAILURE() << "the dialog did not end";
            PostMessageA(hwnd, UPM_FINISH, 0, 0);
        }
    });
    const INT_PTR code = modal();
    ended = true;
    driver.join();
    return code;
}

bool PressKeys(HWND dialog, std::initializer_list<WORD> keys) {
    std::vector<INPUT> input;
    for (WORD key : keys) input.push_back(Key(key, false));
    for (auto key = keys.end(); key != keys.begin();) input.push_back(Key(*--key, true));
    const bool inFront = WaitUntil([dialog] {
        SetForegroundWindow(dialog);
        return GetForegroundWindow() == dialog;
    });
    return inFront && SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT)) == input.size();
}
