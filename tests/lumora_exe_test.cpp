// What the user sees when Lumora cannot start, read from the screen: the
// failure box, shown in-process and by Lumora.exe itself; and the resources
// Lumora.exe carries (scripts/check-exe reads its version block).
#include <winsock2.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "app/failure_report.h"
#include "app/startup.h"
#include "gui_test_support.h"
#include "resource.h"

namespace {

constexpr DWORD kUndescribed = 0x20001234;  // a customer code: no system text
constexpr DWORD kNegative = 0xE0000001;
constexpr int kMessageTextId = 0xFFFF;  // the static control holding a box's text
constexpr WORD kNoSuchWinsock = MAKEWORD(0, 0);

// The system's description of an error code, as the box quotes it.
std::string Describe(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    const std::string description = length != 0 && text != nullptr ? std::string(text, length) : "";
    LocalFree(text);
    return description.empty() ? "The system has no description for this error." : description;
}

// Waits for the box captioned "Lumora" (in any process), reads its text and
// presses OK; "" when none came.
std::string ReadAndConfirmBox() {
    HWND box = WaitForDialog("Lumora");
    if (box == nullptr) return "";
    const std::string text = WindowText(GetDlgItem(box, kMessageTextId));
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return text;
}

std::string ShowAndRead(const std::function<void()>& report) {
    std::string text;
    std::thread reader([&] { text = ReadAndConfirmBox(); });
    report();  // returns once the box is confirmed
    reader.join();
    return text;
}

std::function<void()> Fails(DWORD code, const char* call) {
    return [=] {
        SetLastError(code);
        ReportFailure(call);
    };
}

TEST(FailureReport, NamesTheCallTheCodeAndTheSystemsText) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {Fails(ERROR_ACCESS_DENIED, "bind()"), "bind() failed with error 5: " + Describe(ERROR_ACCESS_DENIED)},
        {Fails(kUndescribed, "socket()"), "socket() failed with error 536875572: " + Describe(kUndescribed)},
        // Shown signed, as Windows tools show HRESULT-like values.
        {Fails(kNegative, "WSAIoctl()"), "WSAIoctl() failed with error -536870911: " + Describe(kNegative)},
        // WSAStartup returns its code rather than setting the last error.
        {[] {
             SetLastError(ERROR_SUCCESS);
             EXPECT_FALSE(StartWinsock(kNoSuchWinsock));
         },
         "WSAStartup() failed with error 10092: " + Describe(WSAVERNOTSUPPORTED)},
    };
    for (const auto& c : cases) EXPECT_EQ(ShowAndRead(c.first), c.second);
}

// Lumora.exe is built next to this test program.
std::string LumoraPath() { return BesideThisProgram("Lumora.exe"); }

TEST(LumoraExe, WithoutARawSocketItExplainsTheFailureAndExitsWith1) {
    // Wine refuses the receive-all raw socket, as Windows does for a user
    // without administrator rights.
    std::string commandLine = "\"" + LumoraPath() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    EXPECT_EQ(ReadAndConfirmBox(), "socket() failed with error 10043: " + Describe(WSAEPROTONOSUPPORT));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, kGenerousTimeoutMs), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 1u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

TEST(LumoraExe, CarriesTheClassicLookManifestTheDialogAndBothIcons) {
    HMODULE exe = LoadLibraryExA(LumoraPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(exe, found)));
    const std::string manifest(text, SizeofResource(exe, found));
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);  // no newer, themed controls
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(IDD_MAIN), RT_DIALOG), nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(IDI_LUMORA), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(IDI_LUMORA_SMALL), RT_GROUP_ICON), nullptr);
    FreeLibrary(exe);
}

}  // namespace
