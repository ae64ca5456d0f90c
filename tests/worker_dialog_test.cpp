// CUPDialog on real windows and threads, as the user sees and works it: the
// dialog its template gives, the ways to close it, stopping the worker, Help,
// the log and the texts handed to it.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "analysis/magic_packet.h"
#include "app/startup.h"
#include "gui_test_support.h"
#include "resource.h"
#include "ui/dialog_proc.h"
#include "ui/text_copy.h"
#include "ui/up_dialog.h"

namespace {

constexpr char kCaption[] = "Lumora dialog test";
constexpr int kWorkerBufferSize = 4096;

// What a test worker does, and its thread.
struct WorkerScript {
    std::uint8_t result = 1;
    bool block = false;              // waits like a receive that never returns
    std::vector<std::string> texts;  // handed over in order, from one reused buffer
    std::function<void(WorkerContext*)> afterEachText;
    std::atomic<bool> started{false};
    HANDLE thread = nullptr;  // our own handle, to read the exit code
    ~WorkerScript() { if (thread != nullptr) CloseHandle(thread); }
};

std::uint8_t ScriptedWorker(WorkerContext* ctx) {
    auto* script = static_cast<WorkerScript*>(ctx->GetUserData());
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &script->thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    script->started = true;
    char buffer[kWorkerBufferSize];
    for (const std::string& text : script->texts) {
        std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
        ctx->PostText(buffer);
        std::memset(buffer, '#', sizeof buffer - 1);  // reused at once, as the receive loop does
        if (script->afterEachText) script->afterEachText(ctx);
    }
    if (script->block) WaitForSingleObject(CreateEventA(nullptr, TRUE, FALSE, nullptr), INFINITE);
    return script->result;
}

INT_PTR RunDialog(CUPDialog& dialog, const std::function<void(HWND)>& drive) {
    return RunModal(dialog.title, [&] { return dialog.DoModal(); }, drive);
}

DWORD ExitCode(HANDLE thread) {
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    return code;
}

bool Post(HWND window, UINT message, WPARAM wParam = 0) { return PostMessageA(window, message, wParam, 0) != FALSE; }

bool CancelHasFocus(HWND dialog) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const bool read = GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) != FALSE;
    return read && gui.hwndFocus == GetDlgItem(dialog, IDCANCEL);
}

struct Ending { const char* name; INT_PTR code; std::function<bool(HWND)> perform; std::uint8_t result = 1; };

TEST(WorkerDialog, EveryWayItEndsGivesItsCodeAndStopsTheWorker) {
    const Ending endings[] = {
        // 1 ends the capture tests' dialogs; anything else, as 0 does, is a cancel.
        {"worker returns 7", kEndCancelled, nullptr, 7},
        // The keys go the ways of the Cancel button and the close box.
        {"Escape", kEndCancelled, [](HWND h) { return PressKeys(h, {VK_ESCAPE}); }},
        {"Alt+F4", kEndCancelled, [](HWND h) { return PressKeys(h, {VK_MENU, VK_F4}); }},
        // Away from Cancel, which has the focus first, and back, as a keyboard user does.
        {"Enter on the focused Cancel", kEndCancelled, [](HWND h) {
             return PressKeys(h, {VK_SHIFT, VK_TAB}) && WaitUntil([h] { return !CancelHasFocus(h); }) &&
                    PressKeys(h, {VK_TAB}) && WaitUntil([h] { return CancelHasFocus(h); }) && PressKeys(h, {VK_RETURN});
         }},
        {"finish message", kEndFinished, [](HWND h) { return Post(h, UPM_FINISH); }},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        WorkerScript script;
        script.result = ending.result;
        script.block = ending.perform != nullptr;
        CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, "");
        bool acted = true;
        const INT_PTR code = !script.block ? dialog.DoModal() : RunDialog(dialog, [&](HWND hwnd) {
            acted = WaitUntil([&] { return script.started.load(); }) && ending.perform(hwnd);
        });
        EXPECT_TRUE(acted);
        EXPECT_EQ(code, ending.code);
        dialog.StopWorker();
        ASSERT_TRUE(WaitUntil([&] { return script.thread != nullptr && ExitCode(script.thread) != STILL_ACTIVE; }));
        EXPECT_EQ(ExitCode(script.thread), script.block ? kForcedExitCode : 0u);
    }
}

// The stand-in browser (tests/standin_browser.cpp), made the opener of .html
// files and http URLs for the test's length, records in `record` what Help
// asked the shell to open and how. HKEY_CLASSES_ROOT: Wine 8 ignores the
// user's own classes. The prefix is shared, so Wine's http opener is put back.
constexpr char kHttpOpen[] = "http\\shell\\open\\command";

struct StandinBrowser {
    const std::string record = BesideThisProgram("standin_browser.txt");
    HANDLE looked = CreateEventA(nullptr, TRUE, FALSE, "LumoraStandinBrowserLooked");
    char httpOpen[1024] = "";
    LONG httpOpenSize = sizeof httpOpen;
    const bool hadHttpOpen = RegQueryValueA(HKEY_CLASSES_ROOT, kHttpOpen, httpOpen, &httpOpenSize) == ERROR_SUCCESS;
    StandinBrowser() {
        const std::string open = "\"" + BesideThisProgram("standin_browser.exe") + "\" \"" + record + "\" \"%1\"";
        for (const char* key : {"LumoraStandin\\shell\\open\\command", kHttpOpen})
            RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, open.c_str(), 0);
        RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, "LumoraStandin", 0);
    }
    ~StandinBrowser() {
        for (const char* key : {"LumoraStandin", ".html"}) SHDeleteKeyA(HKEY_CLASSES_ROOT, key);
        if (hadHttpOpen) RegSetValueA(HKEY_CLASSES_ROOT, kHttpOpen, REG_SZ, httpOpen, 0);
        else SHDeleteKeyA(HKEY_CLASSES_ROOT, "http");
        SetEvent(looked);
        CloseHandle(looked);
        DeleteFileA(record.c_str());
    }
    std::string Seen() const {
        std::ifstream file(record, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
};

enum class Guide { kFile, kNone, kFolder };  // beside the program: the guide, nothing, a folder of its name

TEST(WorkerDialog, HelpOpensTheGuideBesideTheProgramElseThePageAndKeepsTheFocus) {
    const std::string guide = BesideThisProgram("wakeonlan_troubleshoot.html");
    StandinBrowser browser;
    // Away from the program's folder, where ctest starts it, so a guide looked
    // up in the current folder instead is missed.
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);
    SetCurrentDirectoryA("C:\\");
    for (const Guide beside : {Guide::kFile, Guide::kNone, Guide::kFolder}) {
        SCOPED_TRACE(static_cast<int>(beside));
        const bool file = beside == Guide::kFile;
        DeleteFileA(browser.record.c_str());
        if (file) CloseHandle(CreateFileA(guide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        if (beside == Guide::kFolder) CreateDirectoryA(guide.c_str(), nullptr);
        ResetEvent(browser.looked);
        WorkerScript script;
        script.block = true;
        CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, "");
        std::string seen;
        RunDialog(dialog, [&](HWND hwnd) {
            EXPECT_TRUE(WaitUntil([hwnd] { SetForegroundWindow(hwnd); return GetForegroundWindow() == hwnd; }));
            Post(GetDlgItem(hwnd, IDHELP), BM_CLICK);
            EXPECT_TRUE(WaitUntil([&] { seen = browser.Seen(); return !seen.empty() && seen.back() == '\n'; }));
            EXPECT_EQ(GetForegroundWindow(), hwnd);
            // What took the front instead (Wine's Explorer, given a folder) holds
            // ctest's output pipe: closed, so a failure does not stall the suite.
            if (GetForegroundWindow() != hwnd) PostMessageA(GetForegroundWindow(), WM_CLOSE, 0, 0);
            SetEvent(browser.looked);
            Post(hwnd, WM_COMMAND, IDCANCEL);
        });
        EXPECT_EQ(seen, std::to_string(SW_SHOWMINNOACTIVE) + " " + (file ? guide : kHelpPageUrl) + "\n");
        DeleteFileA(guide.c_str());
        RemoveDirectoryA(guide.c_str());
    }
    SetCurrentDirectoryA(folder);
}

struct Control { int id; std::string text; LONG style; };

// The first line of the initial text for each verdict on Sleep and Shut
// down, at the widest address, cut before the reasons: what must show.
std::vector<std::string> Conclusions() {
    constexpr Tristate kStates[] = {Tristate::kUnknown, Tristate::kNo, Tristate::kYes};
    std::vector<std::string> conclusions;
    for (Tristate sleep : kStates) {
        for (Tristate shutDown : kStates) {
            WindowsWakeVerdict verdict{};
            verdict.wakes[static_cast<int>(PowerOff::kSleep)] = sleep;
            verdict.wakes[static_cast<int>(PowerOff::kShutDown)] = shutDown;
            char text[kInitialTextSize];
            FormatInitialText(text, sizeof text, "255.255.255.255", verdict);
            const std::string line(text);
            conclusions.push_back(line.substr(0, line.find(" (")));
        }
    }
    return conclusions;
}

TEST(WorkerDialog, OpensFromItsTemplateAsTheUserSeesIt) {
    char notice[kInitialTextSize];
    FormatInitialText(notice, sizeof notice, "255.255.255.255", WindowsWakeVerdict{});
    const std::string caption = "C" + std::string(299, 'c');
    WorkerScript script;
    CUPDialog dialog(nullptr, ScriptedWorker, &script, caption.c_str(), 1, notice);
    const Control controls[] = {
        {0, caption.substr(0, kTitleSize - 1), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX},  // the dialog
        {IDCANCEL, "Cancel", WS_VISIBLE | WS_TABSTOP},
        {IDHELP, "Help", WS_VISIBLE | WS_TABSTOP},
        {IDC_LOG, notice, WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY},
    };
    RunDialog(dialog, [&](HWND hwnd) {
        for (const Control& c : controls) {
            HWND window = c.id == 0 ? hwnd : GetDlgItem(hwnd, c.id);
            EXPECT_EQ(WindowText(window), c.text) << c.id;
            EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & c.style, c.style) << c.id;
        }
        EXPECT_NE(SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0), 0);
        EXPECT_NE(SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0), 0);
        // Every conclusion the first line can give shows without scrolling sideways.
        for (const std::string& conclusion : Conclusions())
            EXPECT_TRUE(ShowsWithoutScrolling(GetDlgItem(hwnd, IDC_LOG), conclusion)) << conclusion;
        Post(hwnd, WM_COMMAND, IDCANCEL);
    });
}

// Each text goes in at the end, in order, and comes into view though the
// user scrolled up; past the buffer the oldest whole lines make room and the
// newest report stays whole.
TEST(Log, EveryTextInOrderWithTheEndInViewAndTheOldestLinesDroppedWhenFull) {
    constexpr int kReports = 120;
    const std::string initial = "Welcome.\r\nSniffing is started!\r\n", line(98, 'x');
    WorkerScript script;
    for (int report = 0; report < kReports; ++report) {
        script.texts.push_back("--- report " + std::to_string(report) + " ---\r\n");
        for (int i = 0; i < 10; ++i) script.texts.back() += line + "\r\n";
    }
    std::string whole = initial, log;  // the log as it would be without a limit
    int checked = 0;
    script.afterEachText = [&](WorkerContext* ctx) {
        HWND edit = GetDlgItem(ctx->hwndDialog, IDC_LOG);
        if (checked == 1) {  // what the worker hands over while the dialog ends is dropped
            ctx->cancelRequested = 1;
            ctx->PostText("handed over while cancelling\r\n");
            ctx->cancelRequested = 0;
        }
        whole += script.texts[static_cast<std::size_t>(checked++)];
        log = WindowText(edit);
        EXPECT_LT(log.size(), static_cast<std::size_t>(kReportBufferSize));
        if (whole.size() < static_cast<std::size_t>(kReportBufferSize)) {
            EXPECT_EQ(log, whole) << checked;  // all fit
        }
        RECT area{};
        GetClientRect(edit, &area);
        const int visible = area.bottom / TextExtent(edit, "X").cy;
        const int first = static_cast<int>(SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
        const int lines = static_cast<int>(SendMessageA(edit, EM_GETLINECOUNT, 0, 0));
        // The last text line, the one before the empty last line, is in view.
        EXPECT_TRUE(first <= lines - 2 && first + visible >= lines - 1) << first << " " << lines << " " << visible;
        SendMessageA(edit, WM_VSCROLL, SB_TOP, 0);  // the user scrolls up before the next report
    };
    CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, initial.c_str());
    EXPECT_EQ(dialog.DoModal(), kEndFinished);
    EXPECT_EQ(checked, kReports);
    EXPECT_GT(log.size(), 60000u);  // nearly full, not emptied
    ASSERT_GE(log.size(), script.texts.back().size());
    EXPECT_EQ(log.substr(log.size() - script.texts.back().size()), script.texts.back());
    // Which lines make room is tests/log_text_test.cpp's.
}

struct Cut { std::string source; UINT codePage; std::string expected; };

TEST(Captions, ACutNeverSplitsADoubleByteCharacter) {
    constexpr UINT kShiftJis = 932, kWestern = 1252;
    const std::string a254(254, 'a'), a253(253, 'a');
    const Cut cuts[] = {
        {a254 + "\x82\xA0", kShiftJis, a254},                      // across the cut: left out
        {a253 + "\x82\xA0" + "zz", kShiftJis, a253 + "\x82\xA0"},  // one byte earlier: whole
        {a254 + "\x82\xA0", kWestern, a254 + "\x82"},              // single bytes in a single-byte page
        {"ab\x82", kShiftJis, "ab"},                               // a lead byte without its trail
    };
    for (const Cut& c : cuts) {
        char out[kTitleSize];
        CopyTextBounded(out, c.source.c_str(), kTitleSize - 1, c.codePage);
        EXPECT_EQ(std::string(out), c.expected) << c.source.size() << " bytes in code page " << c.codePage;
    }
}

}  // namespace
