#include "app/startup.h"

#include <mstcpip.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

#include "app/failure_report.h"
#include "app/wake_facts.h"
#include "capture/capture_worker.h"
#include "ui/up_dialog.h"
#include "version.h"

const char kLumoraCaption[] = "Lumora v" LUMORA_VERSION_SHORT;

namespace {

// The notice names the listening address and says whether this machine
// would wake, before the user sends a single packet.
constexpr char kInitialTextFormat[] =
    "A tool to troubleshoot Wake-on-LAN. %s\r\n"
    "Sniffing is started!\r\n";
constexpr int kNoticeSize = 512;
constexpr int kAddressSize = 32;  // a dotted address, or the words for none

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);
constexpr int kHostNameSize = 100;
constexpr DWORD kReceiveAllOn = RCVALL_ON;
// In receive-all mode every datagram of the machine queues here while the
// worker waits for the log to be rewritten; the default buffer overflows in
// a burst and drops the very magic packet the user waits for.
constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
constexpr char kUnknownAddress[] = "an unknown address";
constexpr int kExitNormal = 0;
constexpr int kExitSetupFailed = 1;

}  // namespace

bool StartWinsock(WORD version) {
    WSADATA wsa;
    const int result = WSAStartup(version, &wsa);
    if (result == 0) return true;
    // WSAStartup returns its error rather than setting the last error.
    SetLastError(static_cast<DWORD>(result));
    ReportFailure("WSAStartup()");
    return false;
}

namespace {

// The first IPv4 address the host's own name resolves to, port 0.
bool FirstHostAddress(sockaddr_in* address) {
    char hostName[kHostNameSize];
    if (gethostname(hostName, sizeof hostName) == SOCKET_ERROR) {
        ReportFailure("gethostname()");
        return false;
    }
    const hostent* host = gethostbyname(hostName);
    if (host == nullptr) return false;  // an unresolvable name ends start-up silently
    if (host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr ||
        host->h_length != static_cast<int>(sizeof address->sin_addr)) {
        // The name resolves, but to no address to listen on: say so.
        SetLastError(WSANO_DATA);
        ReportFailure("gethostbyname()");
        return false;
    }
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    address->sin_port = 0;
    std::memcpy(&address->sin_addr, host->h_addr_list[0], sizeof address->sin_addr);
    return true;
}

// A refusal leaves the default buffer, which still captures.
void EnlargeReceiveBuffer(SOCKET capture) {
    const int bytes = kReceiveBufferBytes;
    setsockopt(capture, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

bool SwitchOnReceiveAll(SOCKET capture) {
    DWORD value = kReceiveAllOn;
    DWORD returned = 0;
    if (WSAIoctl(capture, SIO_RCVALL, &value, sizeof value, nullptr, 0, &returned, nullptr, nullptr) != SOCKET_ERROR)
        return true;
    ReportFailure("WSAIoctl()");
    return false;
}

}  // namespace

bool OpenCaptureSocket(const CaptureSocketSetup& setup, SOCKET* capture) {
    if (!StartWinsock(kWinsockVersion)) return false;
    *capture = socket(AF_INET, SOCK_RAW, setup.protocol);
    if (*capture == INVALID_SOCKET) {
        ReportFailure("socket()");
        return false;
    }
    sockaddr_in address;
    if (!FirstHostAddress(&address)) return false;
    if (bind(*capture, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
        ReportFailure("bind()");
        return false;
    }
    EnlargeReceiveBuffer(*capture);
    return !setup.receiveAll || SwitchOnReceiveAll(*capture);
}

void FormatInitialText(char* text, int size, const char* address, const WindowsWakeVerdict& verdict) {
    char notice[kNoticeSize];
    FormatWakeNotice(verdict, address, notice, sizeof notice);
    std::snprintf(text, static_cast<std::size_t>(size), kInitialTextFormat, notice);
}

INT_PTR RunCaptureDialog(SOCKET* capture) {
    // The address the socket is bound to, so that on a machine with several
    // adapters the user sees at once whether it listens where the packet goes.
    sockaddr_in bound{};
    int length = sizeof bound;
    char address[kAddressSize];
    std::snprintf(address, sizeof address, "%s", kUnknownAddress);
    WindowsWakeVerdict verdict{};  // unknown throughout
    if (getsockname(*capture, reinterpret_cast<sockaddr*>(&bound), &length) != SOCKET_ERROR) {
        std::snprintf(address, sizeof address, "%s", inet_ntoa(bound.sin_addr));
        verdict = JudgeWindowsWake(ReadWakeFacts(bound.sin_addr));
    }
    char initialText[kInitialTextSize];
    FormatInitialText(initialText, sizeof initialText, address, verdict);
    CUPDialog dialog(nullptr, CaptureWorker, capture, kLumoraCaption, 0, initialText);
    const INT_PTR endCode = dialog.DoModal();
    if (endCode == kEndFinished) {
        // The worker has ended, or is released from its receive by the close.
        closesocket(*capture);
        WSACleanup();
    }
    return endCode;  // the dialog object stops what is left of the worker
}

int RunLumora(const CaptureSocketSetup& setup) {
    SOCKET capture = INVALID_SOCKET;
    if (!OpenCaptureSocket(setup, &capture)) return kExitSetupFailed;
    RunCaptureDialog(&capture);
    return kExitNormal;
}
