#include "gui_test_support.h"

#include <vector>

namespace {

constexpr DWORD kPollMs = 10;

INPUT Key(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

bool BringToFront(HWND dialog) {
    return WaitUntil([dialog] {
        SetForegroundWindow(dialog);
        return GetForegroundWindow() == dialog;
    });
}

bool SendKeys(HWND dialog, const std::vector<INPUT>& keys) {
    if (!BringToFront(dialog)) return false;
    std::vector<INPUT> copy = keys;
    return SendInput(static_cast<UINT>(copy.size()), copy.data(), sizeof(INPUT)) == copy.size();
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
    WaitUntil([&] {
        found = FindWindowA("#32770", caption);
        return found != nullptr && IsWindowVisible(found);
    });
    return found;
}

std::string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(hwnd, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

bool PressKey(HWND dialog, WORD virtualKey) {
    return SendKeys(dialog, {Key(virtualKey, false), Key(virtualKey, true)});
}

bool PressKeyWithAlt(HWND dialog, WORD virtualKey) {
    return SendKeys(dialog, {Key(VK_MENU, false), Key(virtualKey, false), Key(virtualKey, true), Key(VK_MENU, true)});
}

bool PressKeyWithShift(HWND dialog, WORD virtualKey) {
    return SendKeys(dialog, {Key(VK_SHIFT, false), Key(virtualKey, false), Key(virtualKey, true), Key(VK_SHIFT, true)});
}

HWND FocusedControl(HWND window) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui)) return nullptr;
    return gui.hwndFocus;
}
