#include "ui/dialog_proc.h"

#include <shellapi.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "analysis/magic_packet.h"
#include "resource.h"
#include "ui/log_text.h"
#include "ui/up_dialog.h"

// Help opens this troubleshooting page, on the project's own host, when no
// guide lies beside the program.
const char kHelpPageUrl[] = "http://lumora.example.org/wakeonlan_troubleshoot.aspx";

namespace {

constexpr int kScrollToEndLines = 5000;

// The guide shipped beside Lumora.exe works offline, unlike the page.
constexpr char kHelpGuideName[] = "wakeonlan_troubleshoot.html";
constexpr DWORD kHelpPathSize = MAX_PATH;

CUPDialog* DialogObject(HWND hwnd) {
    return reinterpret_cast<CUPDialog*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

HICON LoadLumoraIcon(int id, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_SHARED));
}

// The title bar and the taskbar show Lumora's own icon, when the program has one.
void SetDialogIcons(HWND hwnd) {
    HICON bigIcon = LoadLumoraIcon(IDI_LUMORA, SM_CXICON);
    HICON smallIcon = LoadLumoraIcon(IDI_LUMORA_SMALL, SM_CXSMICON);
    if (bigIcon != nullptr) SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    if (smallIcon != nullptr) SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

void StartWorker(HWND hwnd, CUPDialog* dialog) {
    dialog->ctx.hwndDialog = hwnd;
    dialog->hThread = CreateThread(nullptr, 0, CUPDialog::WorkerThreadStart, &dialog->ctx, 0, nullptr);
    if (dialog->hThread == nullptr) EndDialog(hwnd, kEndCancelled);
}

BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    CUPDialog* dialog = reinterpret_cast<CUPDialog*>(lParam);
    SendDlgItemMessageA(hwnd, IDC_LOG, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(dialog->initialText));
    SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(dialog->title));
    SetDialogIcons(hwnd);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
    if (dialog->noWorker)
        SendMessageA(hwnd, UPM_NO_WORKER, wParam, lParam);
    else
        StartWorker(hwnd, dialog);
    return TRUE;  // the focus goes to the first tab stop, Cancel
}

// The full path of the guide beside the running program, written into
// `path`, if it is there; otherwise the page's address.
const char* HelpTarget(char* path, DWORD size) {
    const DWORD length = GetModuleFileNameA(nullptr, path, size);
    if (length == 0 || length >= size) return kHelpPageUrl;  // failed or cut short
    char* folderEnd = path;  // just past the last backslash
    // Character by character: a double-byte character's trail byte may be a backslash.
    for (char* c = path; *c != '\0'; c = CharNextA(c))
        if (*c == '\\') folderEnd = c + 1;
    const std::size_t folderLength = static_cast<std::size_t>(folderEnd - path);
    if (folderLength + sizeof kHelpGuideName > size) return kHelpPageUrl;
    std::memcpy(folderEnd, kHelpGuideName, sizeof kHelpGuideName);  // with its terminator
    const DWORD attributes = GetFileAttributesA(path);
    const bool isFile = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return isFile ? path : kHelpPageUrl;
}

void OpenHelpPage() {
    char path[kHelpPathSize];
    // Minimized and without the focus, so the log stays in front.
    ShellExecuteA(nullptr, "open", HelpTarget(path, kHelpPathSize), nullptr, nullptr, SW_SHOWMINNOACTIVE);
}

BOOL OnCommand(HWND hwnd, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        SendMessageA(hwnd, UPM_CANCEL, 0, 0);
        return TRUE;
    case IDHELP:
        OpenHelpPage();
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL OnSysCommand(HWND hwnd, WPARAM wParam) {
    if (wParam != SC_CLOSE) return FALSE;
    SendMessageA(hwnd, UPM_CANCEL, 0, 0);
    return TRUE;
}

// Cancel and Finish: from here on the worker hands over nothing and posts
// no completion.
CUPDialog* RequestStop(HWND hwnd) {
    CUPDialog* dialog = DialogObject(hwnd);
    if (dialog != nullptr) dialog->ctx.cancelRequested = 1;
    return dialog;
}

// A worker still running gets a grace period before the dialog ends.
void EndAfterGrace(HWND hwnd, const CUPDialog* dialog, INT_PTR endCode) {
    if (dialog != nullptr && dialog->ctx.running == 1) Sleep(kGracePeriodMs);
    EndDialog(hwnd, endCode);
}

BOOL OnCancel(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const CUPDialog* dialog = RequestStop(hwnd);
    SendMessageA(hwnd, UPM_CANCELLING, wParam, lParam);
    EndAfterGrace(hwnd, dialog, kEndCancelled);
    return TRUE;
}

BOOL OnFinish(HWND hwnd) {
    EndAfterGrace(hwnd, RequestStop(hwnd), kEndFinished);
    return TRUE;
}

// The whole log is rewritten with the new text at its end, then scrolled so
// the end is in view, even if the user had scrolled up.
BOOL OnAppendText(HWND hwnd, LPARAM lParam) {
    const char* text = reinterpret_cast<const char*>(lParam);
    HWND log = GetDlgItem(hwnd, IDC_LOG);
    char* scratch = static_cast<char*>(std::malloc(kReportBufferSize));
    if (text == nullptr || scratch == nullptr) {
        std::free(scratch);
        return TRUE;  // the report is skipped; the worker's send still returns
    }
    const LRESULT length = SendMessageA(log, WM_GETTEXT, kReportBufferSize, reinterpret_cast<LPARAM>(scratch));
    scratch[length >= 0 && length < kReportBufferSize ? length : 0] = '\0';
    AppendToLog(scratch, kReportBufferSize, text);
    SendMessageA(log, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(scratch));
    SendMessageA(log, EM_LINESCROLL, 0, kScrollToEndLines);
    std::free(scratch);
    return TRUE;
}

BOOL OnWorkerDone(HWND hwnd, WPARAM wParam) {
    EndDialog(hwnd, static_cast<INT_PTR>(LOWORD(wParam)));
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK UPDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(hwnd, wParam, lParam);
    case WM_COMMAND:
        return OnCommand(hwnd, wParam);
    case WM_SYSCOMMAND:
        return OnSysCommand(hwnd, wParam);
    case UPM_WORKER_DONE:
        return OnWorkerDone(hwnd, wParam);
    case UPM_APPEND_TEXT:
        return OnAppendText(hwnd, lParam);
    case UPM_CANCEL:
        return OnCancel(hwnd, wParam, lParam);
    case UPM_FINISH:
        return OnFinish(hwnd);
    case UPM_CANCELLING:
    case UPM_RESERVED:
    case UPM_NO_WORKER:
        return TRUE;
    default:
        return FALSE;
    }
}
