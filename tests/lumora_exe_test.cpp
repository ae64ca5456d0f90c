// What the user sees when Lumora cannot start, read from the screen: the
// failure box, shown in-process and by Lumora.exe itself; and the resources
// Lumora.exe carries (scripts/check-exe reads its version block).
#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>

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
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    return text[0] != '\0' ? text : "The system has no description for this error.";
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

// Socket errors as the box shows them: the code signed, as Windows tools show
// HRESULT-like values, and the system's text; WSAStartup returns its code
// rather than setting the last error. Lumora.exe's own box is the next test's.
TEST(FailureReport, NamesTheCallTheCodeAndTheSystemsText) {
    const std::tuple<DWORD, const char*, const char*> cases[] = {
        {kUndescribed, "socket()", "536875572"},
        {kNegative, "WSAIoctl()", "-536870911"},
        {WSAVERNOTSUPPORTED, "WSAStartup()", "10092"},
    };
    for (const auto& [code, call, shown] : cases) {
        std::string text;
        std::thread reader([&] { text = ReadAndConfirmBox(); });
        const bool startup = code == WSAVERNOTSUPPORTED;
        SetLastError(startup ? ERROR_SUCCESS : code);
        if (startup) EXPECT_FALSE(StartWinsock(kNoSuchWinsock));  // each returns once the box is confirmed
        else ReportFailure(call);
        reader.join();
        EXPECT_EQ(text, std::string(call) + " failed with error " + shown + ": " + Describe(code));
    }
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
