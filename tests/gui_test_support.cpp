#include "gui_test_support.h"

#include <cstdio>
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

MessageBoxSeen ReadAndConfirmMessageBox(const char* caption) {
    MessageBoxSeen box;
    HWND hwnd = WaitForDialog(caption);
    if (hwnd == nullptr) return box;
    constexpr int kMessageTextId = 0xFFFF;  // the static control holding a box's text
    box.seen = true;
    box.caption = WindowText(hwnd);
    box.text = WindowText(GetDlgItem(hwnd, kMessageTextId));
    PostMessageA(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
    return box;
}

std::string SystemDescription(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string description = length != 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) LocalFree(text);
    return description;
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

bool SaveWindowImage(HWND window, const char* path) {
    RECT frame{};
    if (!GetWindowRect(window, &frame)) return false;
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * height);
    const bool copied = GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                                  DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!copied) return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                         std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}
