// CUPDialog on real windows and threads: end codes, stopping the worker,
// the hand-off of texts and the log.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "gui_test_support.h"
#include "resource.h"
#include "ui/text_copy.h"
#include "ui/up_dialog.h"

namespace {

constexpr DWORD kGraceSlackMs = 40;  // the tick count's granularity
constexpr char kCaption[] = "Lumora dialog test";

// What a test worker does, and what it saw.
struct WorkerScript {
    std::uint8_t result = 1;
    bool block = false;                // wait like a receive that never returns
    HANDLE release = nullptr;          // when given, wait for it before returning
    std::vector<std::string> texts;    // handed over in order, from one reused buffer
    std::function<void(WorkerContext*)> afterEachText;
    std::atomic<int> calls{0};
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    HANDLE thread = nullptr;           // our own handle, to read the exit code
};

std::uint8_t ScriptedWorker(WorkerContext* ctx) {
    auto* script = static_cast<WorkerScript*>(ctx->GetUserData());
    ++script->calls;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &script->thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    script->started = true;
    char buffer[4096];
    for (const std::string& text : script->texts) {
        std::strcpy(buffer, text.c_str());
        ctx->PostText(buffer);
        std::memset(buffer, '#', sizeof buffer - 1);  // reused at once, as the receive loop does
        if (script->afterEachText) script->afterEachText(ctx);
    }
    if (script->block) {
        HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        WaitForSingleObject(never, INFINITE);
    }
    if (script->release != nullptr) WaitForSingleObject(script->release, kGenerousTimeoutMs);
    script->finished = true;
    return script->result;
}

// Runs `drive` on a second thread while this one runs the modal dialog. A
// dialog the driver failed to end is ended for it, so a failure never hangs.
INT_PTR RunDialog(CUPDialog& dialog, const std::function<void(HWND)>& drive) {
    std::atomic<bool> ended{false};
    std::thread driver([&] {
        HWND hwnd = WaitForDialog(dialog.title);
        if (hwnd == nullptr) return;
        drive(hwnd);
        if (!WaitUntil([&] { return ended.load(); })) {
            ADD_FAILURE() << "the dialog did not end";
            PostMessageA(hwnd, UPM_FINISH, 0, 0);
        }
    });
    const INT_PTR code = dialog.DoModal();
    ended = true;
    driver.join();
    return code;
}

DWORD ExitCode(HANDLE thread) {
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    return code;
}

std::string LogText(HWND dialog) { return WindowText(GetDlgItem(dialog, IDC_LOG)); }

TEST(WorkerDialog, TheWorkersResultGivesTheEndCode) {
    for (std::uint8_t result : {1, 0, 7}) {
        WorkerScript script;
        script.result = result;
        CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, "");
        EXPECT_EQ(dialog.DoModal(), result == 1 ? kEndFinished : kEndCancelled);
        EXPECT_EQ(script.calls, 1);
        // The worker ended on its own: stopping neither waits nor forces.
        const DWORD start = GetTickCount();
        ASSERT_TRUE(WaitUntil([&] { return ExitCode(script.thread) != STILL_ACTIVE; }));
        dialog.StopWorker();
        EXPECT_LT(GetTickCount() - start, kGracePeriodMs);
        EXPECT_EQ(ExitCode(script.thread), 0u);
        EXPECT_EQ(dialog.hThread, nullptr);
        CloseHandle(script.thread);
    }
}

struct UserAction {
    const char* name;
    std::function<bool(HWND)> perform;
};

TEST(WorkerDialog, EveryWayToCloseEndsWith2AndStopsABlockedWorker) {
    const UserAction actions[] = {
        {"Cancel button", [](HWND h) { return PostMessageA(GetDlgItem(h, IDCANCEL), BM_CLICK, 0, 0) != FALSE; }},
        {"Escape", [](HWND h) { return PressKey(h, VK_ESCAPE); }},
        {"close box", [](HWND h) { return PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE; }},
        {"Alt+F4", [](HWND h) { return PressKeyWithAlt(h, VK_F4); }},
        // Tabbing round the controls back to Cancel, as a keyboard user does.
        {"Enter on the focused Cancel", [](HWND h) {
             HWND cancel = GetDlgItem(h, IDCANCEL);
             const bool focused = PressKeyWithShift(h, VK_TAB) && PressKey(h, VK_TAB) &&
                                  WaitUntil([&] { return FocusedControl(h) == cancel; });
             return focused && PressKey(h, VK_RETURN);
         }},
    };
    for (const UserAction& action : actions) {
        SCOPED_TRACE(action.name);
        WorkerScript script;
        script.block = true;
        CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, "");
        DWORD actedAt = 0;
        bool acted = false;
        const INT_PTR code = RunDialog(dialog, [&](HWND hwnd) {
            ASSERT_TRUE(WaitUntil([&] { return script.started.load(); }));
            actedAt = GetTickCount();
            acted = action.perform(hwnd);
        });
        const DWORD endedAt = GetTickCount();
        ASSERT_TRUE(acted);
        EXPECT_EQ(code, kEndCancelled);
        EXPECT_GE(endedAt - actedAt + kGraceSlackMs, kGracePeriodMs);  // the running worker got its grace
        ASSERT_EQ(ExitCode(script.thread), STILL_ACTIVE);

        dialog.StopWorker();
        EXPECT_GE(GetTickCount() - endedAt + kGraceSlackMs, kGracePeriodMs);
        ASSERT_TRUE(WaitUntil([&] { return ExitCode(script.thread) != STILL_ACTIVE; }));
        EXPECT_EQ(ExitCode(script.thread), kForcedExitCode);
        EXPECT_FALSE(script.finished);
        EXPECT_EQ(dialog.hThread, nullptr);
        EXPECT_EQ(dialog.ctx.running, 0);
        EXPECT_EQ(dialog.ctx.cancelRequested, 0);
        EXPECT_EQ(dialog.ctx.hwndDialog, nullptr);
        CloseHandle(script.thread);
    }
}

TEST(WorkerDialog, FinishMessageEndsWith1) {
    WorkerScript script;
    script.block = true;
    CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, "");
    const INT_PTR code = RunDialog(dialog, [&](HWND hwnd) {
        ASSERT_TRUE(WaitUntil([&] { return script.started.load(); }));
        PostMessageA(hwnd, UPM_FINISH, 0, 0);
    });
    EXPECT_EQ(code, kEndFinished);
    dialog.StopWorker();
    EXPECT_EQ(ExitCode(script.thread), kForcedExitCode);
    CloseHandle(script.thread);
}

TEST(WorkerDialog, ANoWorkerDialogStartsNoThread) {
    WorkerScript script;
    CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 1, "no worker");
    HANDLE threadWhileOpen = INVALID_HANDLE_VALUE;
    std::string log;
    DWORD actedAt = 0;
    const INT_PTR code = RunDialog(dialog, [&](HWND hwnd) {
        log = LogText(hwnd);
        threadWhileOpen = dialog.hThread;
        actedAt = GetTickCount();
        PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(code, kEndCancelled);
    EXPECT_LT(GetTickCount() - actedAt, kGracePeriodMs);  // nothing running, so no grace
    EXPECT_EQ(log, "no worker");
    EXPECT_EQ(threadWhileOpen, nullptr);
    EXPECT_EQ(script.calls, 0);
}

TEST(WorkerDialog, DoModalTwiceStartsClean) {
    WorkerScript script;
    script.texts = {"once\r\n"};
    CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, "start\r\n");
    EXPECT_EQ(dialog.DoModal(), kEndFinished);
    CloseHandle(script.thread);
    // Left-overs of an earlier run must not leak into the next one.
    dialog.ctx.cancelRequested = 1;
    dialog.ctx.running = 1;
    script.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::string log;
    const INT_PTR code = RunDialog(dialog, [&](HWND hwnd) {
        ASSERT_TRUE(WaitUntil([&] { return script.calls == 2 && LogText(hwnd).size() > 7; }));
        log = LogText(hwnd);
        SetEvent(script.release);
    });
    EXPECT_EQ(code, kEndFinished);
    EXPECT_EQ(script.calls, 2);
    EXPECT_EQ(log, "start\r\nonce\r\n");
    CloseHandle(script.release);
    CloseHandle(script.thread);
}

TEST(HandOff, PostTextDoesNothingWhenTheWindowIsGoneOrCancelling) {
    WorkerContext ctx;
    ctx.Clear();
    HWND edit = CreateWindowA("EDIT", "", WS_POPUP | ES_MULTILINE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    // An edit control takes UPM_APPEND_TEXT's numbers as its own message and
    // would misbehave; a counting procedure shows whether anything arrived.
    static std::atomic<int> received{0};
    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
                          if (m == UPM_APPEND_TEXT) ++received;
                          return 0;
                      }));
    ctx.hwndDialog = edit;
    ctx.PostText("arrives");
    EXPECT_EQ(received, 1);
    ctx.cancelRequested = 1;
    ctx.PostText("dropped: cancelling");
    EXPECT_EQ(received, 1);
    ctx.cancelRequested = 0;
    DestroyWindow(edit);
    ctx.PostText("dropped: no window");
    EXPECT_EQ(received, 1);
}

int VisibleLines(HWND edit) {
    HDC dc = GetDC(edit);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(edit, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
    RECT area{};
    GetClientRect(edit, &area);
    return metrics.tmHeight > 0 ? (area.bottom - area.top) / metrics.tmHeight : 0;
}

TEST(Log, InitialTextFirstThenEveryTextInOrderAndTheEndAlwaysInView) {
    constexpr int kReports = 60;
    WorkerScript script;
    for (int i = 0; i < kReports; ++i) script.texts.push_back("report " + std::to_string(i) + "\r\n");
    struct View { int first, lines, visible; };
    std::vector<View> views;
    std::string log;
    script.afterEachText = [&](WorkerContext* ctx) {
        HWND edit = GetDlgItem(ctx->hwndDialog, IDC_LOG);
        views.push_back({static_cast<int>(SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0)),
                         static_cast<int>(SendMessageA(edit, EM_GETLINECOUNT, 0, 0)), VisibleLines(edit)});
        SendMessageA(edit, WM_VSCROLL, SB_TOP, 0);  // the user scrolls up before the next report
        if (views.size() == script.texts.size()) log = LogText(ctx->hwndDialog);  // before the dialog ends
    };
    CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, "Welcome.\r\nSniffing is started!\r\n");
    EXPECT_EQ(dialog.DoModal(), kEndFinished);

    std::string expected = "Welcome.\r\nSniffing is started!\r\n";
    for (int i = 0; i < kReports; ++i) expected += "report " + std::to_string(i) + "\r\n";
    EXPECT_EQ(log, expected);
    ASSERT_EQ(views.size(), static_cast<std::size_t>(kReports));
    for (std::size_t i = 0; i < views.size(); ++i) {
        const View& v = views[i];
        ASSERT_GT(v.visible, 0);
        // The last text line (the one before the empty last line) is in view.
        EXPECT_LE(v.first, v.lines - 2) << i;
        EXPECT_GE(v.first + v.visible, v.lines - 1) << i;
        if (v.lines > v.visible + 1) {
            EXPECT_GT(v.first, 0) << i;
        }
    }
    CloseHandle(script.thread);
}

TEST(Log, OverflowDropsTheOldestLinesAndKeepsTheNewestReportWhole) {
    WorkerScript script;
    const std::string line(98, 'x');
    for (int report = 0; report < 120; ++report) {
        std::string text = "--- report " + std::to_string(report) + " ---\r\n";
        for (int i = 0; i < 10; ++i) text += line + "\r\n";
        script.texts.push_back(text);
    }
    std::string log;
    std::vector<std::size_t> lengths;
    script.afterEachText = [&](WorkerContext* ctx) {
        log = LogText(ctx->hwndDialog);
        lengths.push_back(log.size());
    };
    CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 0, "first line\r\n");
    EXPECT_EQ(dialog.DoModal(), kEndFinished);
    for (std::size_t length : lengths) EXPECT_LT(length, 65536u);
    EXPECT_GT(lengths.back(), 60000u);  // the log stays nearly full, not emptied
    ASSERT_GE(log.size(), script.texts.back().size());
    EXPECT_EQ(log.substr(log.size() - script.texts.back().size()), script.texts.back());
    EXPECT_EQ(log.find("first line"), std::string::npos);
    // Only whole lines were dropped: the log starts with a complete line.
    EXPECT_TRUE(log.compare(0, 4, "--- ") == 0 || log.compare(0, line.size(), line) == 0) << log.substr(0, 40);
    CloseHandle(script.thread);
}

TEST(Captions, LongCaptionAndInitialTextAreCutAndShown) {
    const std::string caption = "C" + std::string(299, 'c');
    const std::string text = std::string(1200, 't');
    WorkerScript script;
    CUPDialog dialog(nullptr, ScriptedWorker, &script, caption.c_str(), 1, text.c_str());
    EXPECT_EQ(std::string(dialog.title), caption.substr(0, 255));
    EXPECT_EQ(std::string(dialog.initialText), text.substr(0, 999));
    std::string shownCaption, shownLog;
    const INT_PTR code = RunDialog(dialog, [&](HWND hwnd) {
        shownCaption = WindowText(hwnd);
        shownLog = LogText(hwnd);
        PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(code, kEndCancelled);
    EXPECT_EQ(shownCaption, caption.substr(0, 255));
    EXPECT_EQ(shownLog, text.substr(0, 999));
}

// The notice names the listening address; with the widest address the
// first line still fits the log without scrolling sideways.
TEST(Captions, TheListeningNoticeFitsTheFirstLine) {
    char text[kInitialTextSize];
    FormatInitialText(text, sizeof text, "255.255.255.255");
    const std::string firstLine = std::string(text).substr(0, std::string(text).find("\r\n"));
    EXPECT_EQ(std::string(text), firstLine + "\r\nSniffing is started!\r\n");
    EXPECT_EQ(firstLine.rfind("A tool to troubleshoot Wake-on-LAN. ", 0), 0u);
    EXPECT_NE(firstLine.find("255.255.255.255"), std::string::npos);
    WorkerScript script;
    CUPDialog dialog(nullptr, ScriptedWorker, &script, kCaption, 1, text);
    SIZE lineSize{};
    RECT formatRect{};
    RunDialog(dialog, [&](HWND hwnd) {
        HWND log = GetDlgItem(hwnd, IDC_LOG);
        SendMessageA(log, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&formatRect));
        HDC dc = GetDC(log);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(log, WM_GETFONT, 0, 0)));
        GetTextExtentPoint32A(dc, firstLine.c_str(), static_cast<int>(firstLine.size()), &lineSize);
        SelectObject(dc, old);
        ReleaseDC(log, dc);
        PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_GT(lineSize.cx, 0);
    EXPECT_LE(lineSize.cx, formatRect.right - formatRect.left) << firstLine;
    std::printf("First line: %ld of %ld pixels\n", static_cast<long>(lineSize.cx),
                static_cast<long>(formatRect.right - formatRect.left));
}

TEST(Captions, ACutNeverSplitsADoubleByteCharacter) {
    constexpr UINT kShiftJis = 932;
    char out[kTitleSize];
    // 254 single bytes, then a two-byte character across the 255-byte cut.
    std::string source(254, 'a');
    source += "\x82\xA0";
    CopyTextBounded(out, source.c_str(), kTitleSize - 1, kShiftJis);
    EXPECT_EQ(std::string(out), std::string(254, 'a'));
    // One byte earlier it fits whole.
    source = std::string(253, 'a') + "\x82\xA0" + "zz";
    CopyTextBounded(out, source.c_str(), kTitleSize - 1, kShiftJis);
    EXPECT_EQ(std::string(out), std::string(253, 'a') + "\x82\xA0");
    // In a single-byte code page the same bytes are two characters.
    source = std::string(254, 'a') + "\x82\xA0";
    CopyTextBounded(out, source.c_str(), kTitleSize - 1, 1252);
    EXPECT_EQ(std::string(out), std::string(254, 'a') + "\x82");
    // A lead byte with no trail before the terminator is not copied.
    CopyTextBounded(out, "ab\x82", kTitleSize - 1, kShiftJis);
    EXPECT_EQ(std::string(out), "ab");
}

}  // namespace
