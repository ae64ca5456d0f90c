// Lumora's start-up and capture end to end, on a real network path: the one
// change Wine needs is a raw socket for UDP without receive-all mode.
#include <winsock2.h>
#include <tlhelp32.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "gui_test_support.h"
#include "packet_builder.h"
#include "resource.h"
#include "ui/up_dialog.h"

namespace {

using packet::Bytes;

constexpr CaptureSocketSetup kWineSetup = {IPPROTO_UDP, false};
constexpr DWORD kBurstTimeoutMs = 30000;

// Every text the dialog appends to its log, seen as it is handed over.
std::mutex gAppendedLock;
std::vector<std::string> gAppended;

LRESULT CALLBACK RecordAppends(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == UPM_APPEND_TEXT && call->lParam != 0) {
        std::lock_guard<std::mutex> lock(gAppendedLock);
        gAppended.emplace_back(reinterpret_cast<const char*>(call->lParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::size_t AppendedCount() {
    std::lock_guard<std::mutex> lock(gAppendedLock);
    return gAppended.size();
}

std::vector<std::string> Appended() {
    std::lock_guard<std::mutex> lock(gAppendedLock);
    return gAppended;
}

std::set<DWORD> ThreadsOfThisProcess() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

unsigned char MacByte(int index, int byte) { return static_cast<unsigned char>(byte < 4 ? 0x10 + byte : index >> (8 * (5 - byte))); }

// A MAC that numbers the packet: 10:11:12:13:HI:LO.
Bytes NumberedMagic(int index, const Bytes& prefix = {}, const Bytes& password = {}) {
    unsigned char mac[6];
    for (int i = 0; i < 6; ++i) mac[i] = MacByte(index, i);
    return packet::MagicPayload(prefix, password, mac);
}

std::string NumberedMacLine(int index) {
    std::string line;
    for (int i = 0; i < 6; ++i) line += " " + packet::Hex(MacByte(index, i));
    return line;
}

class CaptureEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(gAppendedLock);
            gAppended.clear();
        }
        // Our own reference on the socket library, to see Lumora's clean-up.
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
        ASSERT_TRUE(OpenCaptureSocket(kWineSetup, &capture));
        int size = sizeof hostAddress;
        ASSERT_EQ(getsockname(capture, reinterpret_cast<sockaddr*>(&hostAddress), &size), 0);
        // Traffic stays on this machine: only a loopback first address is used.
        if ((ntohl(hostAddress.sin_addr.s_addr) >> 24) != 127)
            GTEST_SKIP() << "the host's first address is not a loopback address: " << inet_ntoa(hostAddress.sin_addr);
        sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        ASSERT_NE(sender, INVALID_SOCKET);
        sockaddr_in from = hostAddress;
        from.sin_port = 0;
        ASSERT_EQ(bind(sender, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
        size = sizeof senderAddress;
        getsockname(sender, reinterpret_cast<sockaddr*>(&senderAddress), &size);
        hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordAppends, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
    }
    void TearDown() override {
        if (hook != nullptr) UnhookWindowsHookEx(hook);
        if (sender != INVALID_SOCKET) closesocket(sender);
        WSACleanup();
    }
    void SendTo(int port, const Bytes& payload) {
        sockaddr_in to = hostAddress;
        to.sin_port = htons(static_cast<u_short>(port));
        sendto(sender, reinterpret_cast<const char*>(payload.data()), static_cast<int>(payload.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    SOCKET capture = INVALID_SOCKET;
    SOCKET sender = INVALID_SOCKET;
    sockaddr_in hostAddress{};
    sockaddr_in senderAddress{};
    HHOOK hook = nullptr;
};

TEST_F(CaptureEndToEnd, EveryKindOfMagicPacketIsReportedInOrderAndEscapeEndsTheCapture) {
    const std::set<DWORD> before = ThreadsOfThisProcess();
    std::vector<HANDLE> newThreads;
    std::string log;
    std::thread driver([&] {
        HWND dialog = WaitForDialog("Lumora v1.1");
        if (dialog == nullptr) return;
        SendTo(9, Bytes(64, 0x11));
        SendTo(9, NumberedMagic(1));
        SendTo(40000, Bytes(300, 0x22));
        SendTo(7, NumberedMagic(2, {}, {0xA1, 0xA2, 0xA3, 0xA4}));
        SendTo(40000, NumberedMagic(3, {0x01, 0x02, 0x03, 0x04}));
        SendTo(7, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF});
        SendTo(9, NumberedMagic(4, {}, {0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6}));
        HWND logView = GetDlgItem(dialog, IDC_LOG);
        WaitUntil([&] { return packet::SplitReports(WindowText(logView)).size() >= 4; });
        log = WindowText(logView);
        // scripts/screenshot asks for a picture of the capture for the README.
        if (const char* picture = std::getenv("LUMORA_SCREENSHOT")) {
            SendMessageA(logView, WM_VSCROLL, SB_TOP, 0);  // the notice with the address, then the first report
            RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            SendMessageA(dialog, WM_NULL, 0, 0);  // the UI thread has painted
            EXPECT_TRUE(SaveWindowImage(dialog, picture));
        }
        for (DWORD id : ThreadsOfThisProcess()) {
            if (before.count(id) == 0 && id != GetCurrentThreadId())
                newThreads.push_back(OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id));
        }
        PressKey(dialog, VK_ESCAPE);
    });
    const INT_PTR code = RunCaptureDialog(&capture);
    driver.join();

    EXPECT_EQ(code, kEndCancelled);
    // The notice names the address the capture listens on.
    const std::string initial = std::string("A tool to troubleshoot Wake-on-LAN. Listening on ") +
                                inet_ntoa(hostAddress.sin_addr) + ": leave it open.\r\nSniffing is started!\r\n";
    EXPECT_EQ(log.substr(0, initial.size()), initial);
    EXPECT_EQ(log.compare(initial.size(), 27, std::string(27, '-')), 0) << log.substr(0, 200);
    const std::vector<std::string> reports = packet::SplitReports(log);
    ASSERT_EQ(reports.size(), 4u) << log;
    EXPECT_EQ(Appended(), reports);
    const std::string host = inet_ntoa(hostAddress.sin_addr);
    const std::string senderPort = std::to_string(ntohs(senderAddress.sin_port));
    const char* ports[] = {"9", "7", "40000", "9"};
    const char* lengths[] = {"110", "114", "114", "116"};
    const char* passwords[] = {"", " A1 A2 A3 A4", "", " B1 B2 B3 B4 B5 B6"};
    const char* firstRows[] = {" FF FF FF FF FF FF 10 11", " FF FF FF FF FF FF 10 11", " 01 02 03 04 FF FF FF FF",
                               " FF FF FF FF FF FF 10 11"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("report " + std::to_string(i + 1));
        const std::string& r = reports[static_cast<std::size_t>(i)];
        EXPECT_EQ(packet::Section(r, "\t|-Source IP\t:\t"), host);
        EXPECT_EQ(packet::Section(r, "\t|-Destination IP\t:\t"), host);
        EXPECT_EQ(packet::Section(r, "\t|-Source Port\t:\t"), senderPort);
        EXPECT_EQ(packet::Section(r, "\t|-Destination Port\t:\t"), ports[i]);
        EXPECT_EQ(packet::Section(r, "\t|-UDP Length\t:\t"), lengths[i]);
        EXPECT_EQ(packet::Section(r, "MAC Address:\r\n\t"), NumberedMacLine(i + 1));
        EXPECT_EQ(packet::Section(r, "Pasword:\r\n\t"), passwords[i]);
        EXPECT_EQ(packet::Section(r, "Raw Data (" + std::to_string(std::stoi(lengths[i]) - 8) + " bytes):\r\n\t")
                      .substr(0, 24),
                  firstRows[i]);
    }
    // The worker, blocked in its receive, was ended by force.
    int forced = 0;
    for (HANDLE thread : newThreads) {
        DWORD exitCode = 0;
        WaitForSingleObject(thread, kGenerousTimeoutMs);
        if (GetExitCodeThread(thread, &exitCode) && exitCode == kForcedExitCode) ++forced;
        CloseHandle(thread);
    }
    EXPECT_EQ(forced, 1);
    closesocket(capture);  // end code 2 leaves the socket to its owner
    WSACleanup();
}

// Each burst of noise, sent faster than the worker drains it, overflows a
// default-sized receive buffer and would drop the magic packet behind it. The
// next burst waits for that report, so the test does not hang on the speed of
// the machine, only on the size of the buffer.
TEST_F(CaptureEndToEnd, AFloodLosesNoMagicPacketAndAFailedReceiveEndsWith1) {
    static constexpr int kMagicPackets = 20;
    static constexpr int kNoisePerMagic = 1000;
    static constexpr int kNoiseBytes = 64;
    DWORD sentAt = 0, lastReportAt = 0;
    std::thread driver([&] {
        if (WaitForDialog("Lumora v1.1") == nullptr) return;
        const Bytes noise(kNoiseBytes, 0x5A);
        sentAt = GetTickCount();
        for (int i = 0; i < kMagicPackets; ++i) {
            for (int n = 0; n < kNoisePerMagic; ++n) SendTo(40000 + n, noise);
            SendTo(9, NumberedMagic(i));
            const std::size_t reported = static_cast<std::size_t>(i) + 1;
            if (!WaitUntil([reported] { return AppendedCount() >= reported; }, kBurstTimeoutMs)) break;
        }
        lastReportAt = GetTickCount();
        closesocket(capture);  // the receive fails under the worker
    });
    const INT_PTR code = RunCaptureDialog(&capture);
    driver.join();

    EXPECT_EQ(code, kEndFinished);
    const std::vector<std::string> appended = Appended();
    ASSERT_EQ(appended.size(), static_cast<std::size_t>(kMagicPackets));
    for (int i = 0; i < kMagicPackets; ++i)
        EXPECT_EQ(packet::Section(appended[static_cast<std::size_t>(i)], "MAC Address:\r\n\t"), NumberedMacLine(i));
    std::printf("Flood: %d of %d magic packets reported, in order, among %d datagrams of noise, in %lu ms\n",
                static_cast<int>(appended.size()), kMagicPackets, kMagicPackets * kNoisePerMagic,
                static_cast<unsigned long>(lastReportAt - sentAt));

    // After end code 1 Lumora cleaned up its reference to the socket library:
    // dropping ours leaves none.
    WSACleanup();
    EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);  // for TearDown's sender
}

}  // namespace
