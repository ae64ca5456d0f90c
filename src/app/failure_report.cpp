#include "app/failure_report.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr char kCaption[] = "Lumora";
constexpr char kFormat[] = "%s failed with error %d: %s";
constexpr int kFixedWordsRoom = 40;       // the format's words and a signed 32-bit code
constexpr int kFallbackTextSize = 512;    // when no block can be had for the text
constexpr char kNoDescription[] = "The system has no description for this error.";

// The system's description of `code`, allocated by the system; null if none.
char* DescribeError(DWORD code) {
    char* description = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&description), 0, nullptr);
    if (length == 0) return nullptr;
    return description;
}

void ShowFailure(const char* text) { MessageBoxA(nullptr, text, kCaption, MB_OK); }

}  // namespace

void ReportFailure(const char* what) {
    const DWORD code = GetLastError();
    char* description = DescribeError(code);
    const char* shown = description != nullptr ? description : kNoDescription;
    const int signedCode = static_cast<int>(code);

    HLOCAL text = LocalAlloc(LMEM_ZEROINIT, lstrlenA(shown) + lstrlenA(what) + kFixedWordsRoom);
    if (text != nullptr) {
        char* message = static_cast<char*>(text);
        std::snprintf(message, LocalSize(text), kFormat, what, signedCode, shown);
        ShowFailure(message);
    } else {
        // Out of memory is no reason to leave the user without an answer.
        char fallback[kFallbackTextSize];
        std::snprintf(fallback, sizeof fallback, kFormat, what, signedCode, shown);
        ShowFailure(fallback);
    }
    if (description != nullptr) LocalFree(description);
    if (text != nullptr) LocalFree(text);
}
