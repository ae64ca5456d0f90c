// Lumora.exe itself, as a process and as a file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui_test_support.h"

namespace {

// Lumora.exe is built next to this test program.
std::string LumoraPath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string result(path, length);
    return result.substr(0, result.find_last_of("\\/") + 1) + "Lumora.exe";
}

TEST(LumoraExe, WithoutARawSocketItExplainsTheFailureAndExitsWith1) {
    // Wine refuses the receive-all raw socket, as Windows does for a user
    // without administrator rights.
    std::string commandLine = "\"" + LumoraPath() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    const MessageBoxSeen box = ReadAndConfirmMessageBox("Lumora");
    std::string description = SystemDescription(WSAEPROTONOSUPPORT);
    if (description.empty()) description = "The system has no description for this error.";
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(box.caption, "Lumora");
    EXPECT_EQ(box.text, "socket() failed with error 10043: " + description);

    ASSERT_EQ(WaitForSingleObject(process.hProcess, kGenerousTimeoutMs), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 1u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

std::string VersionString(const std::vector<char>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || length == 0)
        return "";
    return std::string(value);
}

TEST(LumoraExe, VersionBlockReadsBack) {
    const std::string path = LumoraPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(VersionString(block, "FileVersion"), "1, 1, 0, 0");
    EXPECT_EQ(VersionString(block, "ProductVersion"), "1, 1, 0, 0");
    EXPECT_EQ(VersionString(block, "ProductName"), "Lumora");
    EXPECT_EQ(VersionString(block, "FileDescription"), "Lumora");
    EXPECT_EQ(VersionString(block, "Comments"), "A tool to troubleshoot Wake-on-LAN");
    EXPECT_EQ(VersionString(block, "OriginalFilename"), "Lumora.exe");
    EXPECT_FALSE(VersionString(block, "CompanyName").empty());
    EXPECT_FALSE(VersionString(block, "LegalCopyright").empty());
    EXPECT_FALSE(VersionString(block, "InternalName").empty());
}

TEST(LumoraExe, ManifestAsksForNoElevationAndNoNewerControls) {
    HMODULE exe = LoadLibraryExA(LumoraPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(exe, found)));
    const std::string manifest(data, SizeofResource(exe, found));
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);  // the classic, unthemed controls
    // The dialog and both icon groups are linked in too.
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(102), MAKEINTRESOURCEA(5)), nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(107), MAKEINTRESOURCEA(14)), nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(108), MAKEINTRESOURCEA(14)), nullptr);
    FreeLibrary(exe);
}

}  // namespace
