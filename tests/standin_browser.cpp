// Stands in for the user's browser in the Help test: appends to RECORD the
// show command it was started with and the DOCUMENT it was asked to open, and
// shows a window as a browser does, kept until the test has looked.
//   standin_browser.exe RECORD DOCUMENT
#include <windows.h>

#include <cstdio>
#include <cstdlib>

constexpr int kArguments = 3;
constexpr int kNoShowCommand = -1;
constexpr DWORD kMostWaitMs = 20000;  // a test that never signals does not keep it

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    STARTUPINFOA startup{};
    GetStartupInfoA(&startup);
    const int asked = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : kNoShowCommand;
    HWND window = CreateWindowA("STATIC", "Stand-in browser", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window, showCommand);
    FILE* record = __argc == kArguments ? std::fopen(__argv[1], "ab") : nullptr;
    if (record == nullptr) return 1;
    std::fprintf(record, "%d %s\n", asked, __argv[2]);
    std::fclose(record);
    WaitForSingleObject(CreateEventA(nullptr, TRUE, FALSE, "LumoraStandinBrowserLooked"), kMostWaitMs);
    return 0;
}
