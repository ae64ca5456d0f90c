#include "gui_test_support.h"

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ui/worker_context.h"

namespace {

constexpr DWORD kPollMs = 10;
constexpr int kBitmapBits = 24;
constexpr WORD kBitmapMagic = 0x4D42;  // "BM"

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

SIZE TextExtent(HWND control, const std::string& text) {
    SIZE size{};
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
}

bool ShowsWithoutScrolling(HWND edit, const std::string& text) {
    RECT format{};
    SendMessageA(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const LONG width = TextExtent(edit, text).cx;
    return width > 0 && width <= format.right - format.left;
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

bool SaveWindowImage(HWND window, const char* path) {
    RECT frame{};
    if (!GetWindowRect(window, &frame)) return false;
    BITMAPINFOHEADER info{sizeof info, frame.right - frame.left, frame.bottom - frame.top, 1, kBitmapBits, BI_RGB,
                          0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, info.biWidth, info.biHeight);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    std::vector<char> pixels(static_cast<std::size_t>((info.biWidth * 3 + 3) & ~3) * info.biHeight);
    const bool copied = GetDIBits(memory, bitmap, 0, info.biHeight, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                                  DIB_RGB_COLORS) == info.biHeight;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file{kBitmapMagic, offset + static_cast<DWORD>(pixels.size()), 0, 0, offset};
    FILE* out = copied ? std::fopen(path, "wb") : nullptr;
    if (out == nullptr) return false;
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                         std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}
