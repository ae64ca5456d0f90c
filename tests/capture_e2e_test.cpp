// Lumora's start-up and capture end to end, on a real network path: the one
// change Wine needs is a raw socket for UDP without receive-all mode.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/startup.h"
#include "gui_test_support.h"
#include "packet_builder.h"
#include "resource.h"
#include "ui/up_dialog.h"
#include "version.h"

namespace {

using packet::Bytes;

constexpr CaptureSocketSetup kWineSetup = {IPPROTO_UDP, false};
constexpr char kCaption[] = "Lumora v" LUMORA_VERSION_SHORT;
constexpr DWORD kBurstTimeoutMs = 30000;
constexpr int kBitmapBits = 24;
constexpr WORD kBitmapMagic = 0x4D42;  // "BM"
constexpr int kHostNameBytes = 256;
constexpr char kNamespaceAddress[] = "127.0.0.1";

// A MAC that numbers the packet: 10:11:12:13:00:NN.
Bytes NumberedMagic(int index, const Bytes& prefix = {}, const Bytes& password = {}) {
    const unsigned char mac[6] = {0x10, 0x11, 0x12, 0x13, 0x00, static_cast<unsigned char>(index)};
    return packet::MagicPayload(prefix, password, mac);
}

std::string NumberedMacLine(int index) { return " 10 11 12 13 00 " + packet::Hex(static_cast<unsigned char>(index)); }

std::vector<std::string> Reports(HWND dialog) { return packet::SplitReports(WindowText(GetDlgItem(dialog, IDC_LOG))); }

// Writes what the screen shows of the window, frame included, as a 24-bit
// BMP: scripts/screenshot takes the README's picture with it.
bool SaveWindowImage(HWND window, const char* path) {
    RECT frame{};
    if (!GetWindowRect(window, &frame)) return false;
    BITMAPINFOHEADER info{sizeof info, frame.right - frame.left, frame.bottom - frame.top, 1, kBitmapBits, BI_RGB,
                          0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, info.biWidth, info.biHeight);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    std::vector<char> pixels(static_cast<std::size_t>((info.biWidth * 3 + 3) & ~3) * info.biHeight);
    const bool copied = GetDIBits(memory, bitmap, 0, info.biHeight, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                                  DIB_RGB_COLORS) == info.biHeight;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file{kBitmapMagic, offset + static_cast<DWORD>(pixels.size()), 0, 0, offset};
    FILE* out = copied ? std::fopen(path, "wb") : nullptr;
    if (out == nullptr) return false;
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                         std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

class CaptureEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // Our own reference on the socket library: Lumora drops its own after end code 1.
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
        // Lumora ends silently when its host name does not resolve; the test says so.
        char name[kHostNameBytes] = "";
        gethostname(name, sizeof name);
        ASSERT_NE(gethostbyname(name), nullptr) << "the host name '" << name << "' does not resolve (Winsock error "
                                                << WSAGetLastError() << "), so Lumora cannot start: run the suite "
                                                << "through scripts/wine-session, which gives it an /etc/hosts";
        ASSERT_TRUE(OpenCaptureSocket(kWineSetup, &capture));
        int size = sizeof host;
        ASSERT_EQ(getsockname(capture, reinterpret_cast<sockaddr*>(&host), &size), 0);
        // Traffic stays in the namespace, whose one address is 127.0.0.1. Bound
        // to another loopback address (Debian's 127.0.1.1 line), Wine still
        // sends from 127.0.0.1 and every report would name another source.
        ASSERT_STREQ(inet_ntoa(host.sin_addr), kNamespaceAddress)
            << "the host name '" << name << "' resolves to another address than the namespace's own: run the "
            << "suite through scripts/wine-session, which gives it an /etc/hosts";
        sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        ASSERT_NE(sender, INVALID_SOCKET);
        sockaddr_in from = host;
        from.sin_port = 0;
        ASSERT_EQ(bind(sender, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    }
    void TearDown() override {
        if (sender != INVALID_SOCKET) closesocket(sender);
        WSACleanup();
    }
    void SendTo(int port, const Bytes& payload) {
        sockaddr_in to = host;
        to.sin_port = htons(static_cast<u_short>(port));
        sendto(sender, reinterpret_cast<const char*>(payload.data()), static_cast<int>(payload.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    SOCKET capture = INVALID_SOCKET;
    SOCKET sender = INVALID_SOCKET;
    sockaddr_in host{};
};

// udpLength nullptr: not a magic packet, so not reported.
struct Sent { int port; Bytes payload; const char* udpLength; const char* password; };

// Every kind, then a flood: each burst of noise, sent faster than the worker
// drains it, overflows a default-sized receive buffer and would drop the
// magic packet behind it. The next burst waits for that report, so the test
// does not hang on the speed of the machine, only on the size of the buffer.
// Escape's way out is the dialog test's.
TEST_F(CaptureEndToEnd, EveryKindOfMagicPacketIsReportedInOrderAFloodLosesNoneAndAFailedReceiveEndsWith1) {
    constexpr std::size_t kKinds = 4, kFlood = 20;
    constexpr int kNoisePerMagic = 1000;
    const Sent sent[] = {
        {9, Bytes(64, 0x11), nullptr, ""},
        {9, NumberedMagic(1), "110", ""},
        {40000, Bytes(300, 0x22), nullptr, ""},
        {7, NumberedMagic(2, {}, {0xA1, 0xA2, 0xA3, 0xA4}), "114", " A1 A2 A3 A4"},
        {40000, NumberedMagic(3, {0x01, 0x02, 0x03, 0x04}), "114", ""},
        {7, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF}, nullptr, ""},
        {9, NumberedMagic(4, {}, {0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6}), "116", " B1 B2 B3 B4 B5 B6"},
    };
    const Bytes noise(64, 0x5A);
    std::string log;
    std::vector<std::string> reports;
    const INT_PTR code = RunModal(kCaption, [&] { return RunCaptureDialog(&capture); }, [&](HWND dialog) {
        for (const Sent& s : sent) SendTo(s.port, s.payload);
        WaitUntil([&] { return Reports(dialog).size() >= kKinds; });
        log = WindowText(GetDlgItem(dialog, IDC_LOG));
        if (const char* picture = std::getenv("LUMORA_SCREENSHOT")) {
            SendMessageA(GetDlgItem(dialog, IDC_LOG), WM_VSCROLL, SB_TOP, 0);  // the notice, then the first report
            RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            SendMessageA(dialog, WM_NULL, 0, 0);  // the UI thread has painted
            EXPECT_TRUE(SaveWindowImage(dialog, picture));
        }
        for (std::size_t i = kKinds + 1; i <= kKinds + kFlood; ++i) {
            for (int n = 0; n < kNoisePerMagic; ++n) SendTo(40000 + n, noise);
            SendTo(9, NumberedMagic(static_cast<int>(i)));
            if (!WaitUntil([&] { return Reports(dialog).size() >= i; }, kBurstTimeoutMs)) break;
        }
        reports = Reports(dialog);
        closesocket(capture);  // the receive fails under the worker
    });
    EXPECT_EQ(code, kEndFinished);
    const std::string address = inet_ntoa(host.sin_addr);
    const std::string notice = "A tool to troubleshoot Wake-on-LAN. Listening on " + address +
                               ": leave it open.\r\nSniffing is started!\r\n";
    EXPECT_EQ(log.substr(0, notice.size()), notice);
    EXPECT_EQ(log.find("---------------------------Wake-On-LAN"), notice.size());  // the first report follows
    ASSERT_EQ(reports.size(), kKinds + kFlood) << log;
    int number = 0;
    for (const Sent& s : sent) {
        if (s.udpLength == nullptr) continue;
        const std::string& r = reports[static_cast<std::size_t>(number++)];
        SCOPED_TRACE(r);
        EXPECT_EQ(packet::Section(r, "\t|-Source IP\t:\t"), address);
        EXPECT_EQ(packet::Section(r, "\t|-Destination IP\t:\t"), address);
        EXPECT_EQ(packet::Section(r, "\t|-Destination Port\t:\t"), std::to_string(s.port));
        EXPECT_EQ(packet::Section(r, "\t|-UDP Length\t:\t"), s.udpLength);
        EXPECT_EQ(packet::Section(r, "MAC Address:\r\n\t"), NumberedMacLine(number));
        EXPECT_EQ(packet::Section(r, "Pasword:\r\n\t"), s.password);
    }
    for (std::size_t i = kKinds; i < reports.size(); ++i)
        EXPECT_EQ(packet::Section(reports[i], "MAC Address:\r\n\t"), NumberedMacLine(static_cast<int>(i) + 1));
}

}  // namespace
