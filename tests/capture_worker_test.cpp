// The receive loop on a real Winsock socket: a UDP socket on 127.0.0.1 whose
// datagrams carry IPv4 datagram images, as a raw socket would deliver them.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_worker.h"
#include "gui_test_support.h"
#include "packet_builder.h"
#include "resource.h"
#include "ui/up_dialog.h"

namespace {

using packet::Bytes;

class CaptureWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
        capture = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        ASSERT_NE(capture, INVALID_SOCKET);
        ASSERT_NE(sender, INVALID_SOCKET);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(capture, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        int size = sizeof target;
        ASSERT_EQ(getsockname(capture, reinterpret_cast<sockaddr*>(&target), &size), 0);
    }
    void TearDown() override {
        if (capture != INVALID_SOCKET) closesocket(capture);
        closesocket(sender);
        WSACleanup();
    }
    void Send(const Bytes& image) {
        ASSERT_EQ(sendto(sender, reinterpret_cast<const char*>(image.data()), static_cast<int>(image.size()), 0,
                         reinterpret_cast<const sockaddr*>(&target), sizeof target),
                  static_cast<int>(image.size()));
    }
    // Ends the loop the way start-up does: by closing the socket under it.
    void CloseCapture() {
        closesocket(capture);
        capture = INVALID_SOCKET;
    }

    SOCKET capture = INVALID_SOCKET;
    SOCKET sender = INVALID_SOCKET;
    sockaddr_in target{};
};

std::vector<std::string> Reports(HWND dialog) { return packet::SplitReports(WindowText(GetDlgItem(dialog, IDC_LOG))); }

TEST_F(CaptureWorkerTest, MagicPacketsAreReportedInArrivalOrderAndClosingEndsWith1) {
    SOCKET socketVariable = capture;
    CUPDialog dialog(nullptr, CaptureWorker, &socketVariable, "Lumora capture test", 0, "Listening.\r\n");
    std::vector<std::string> reports;
    std::string logStart;
    std::thread driver([&] {
        HWND hwnd = WaitForDialog(dialog.title);
        if (hwnd == nullptr) return;
        Send(packet::Datagram(Bytes(200, 0x11)));                               // plain traffic
        Send(packet::Datagram(packet::MagicPayload(), 7));
        Send(packet::Datagram(packet::MagicPayload(), 9, 6));                   // TCP: not reported
        Send(packet::Datagram(packet::MagicPayload({1, 2, 3, 4}), 40000));
        Send(packet::Datagram(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));      // five 0xFF only
        Send(packet::Datagram(packet::MagicPayload({}, {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}), 9));
        WaitUntil([&] { return Reports(hwnd).size() >= 3; });
        reports = Reports(hwnd);
        logStart = WindowText(GetDlgItem(hwnd, IDC_LOG)).substr(0, 11);
        CloseCapture();
    });
    const INT_PTR code = dialog.DoModal();
    driver.join();

    EXPECT_EQ(code, kEndFinished);  // the loop ended on its own
    EXPECT_EQ(logStart, "Listening.\r");
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(packet::Section(reports[0], "\t|-Destination Port\t:\t"), "7");
    EXPECT_EQ(packet::Section(reports[1], "\t|-Destination Port\t:\t"), "40000");
    EXPECT_NE(reports[1].find("Raw Data (106 bytes):\r\n\t 01 02 03 04 FF"), std::string::npos);
    EXPECT_EQ(packet::Section(reports[2], "Pasword:\r\n\t"), " A1 A2 A3 A4 A5 A6");
    for (const std::string& report : reports) EXPECT_EQ(packet::Section(report, "MAC Address:\r\n\t"), " 00 1A 2B 3C 4D 5E");
}

TEST_F(CaptureWorkerTest, WithoutADialogReportsAreDroppedAndClosingEndsTheLoopWith1) {
    SOCKET socketVariable = capture;
    WorkerContext ctx;
    ctx.Clear();
    ctx.userData = &socketVariable;
    std::atomic<int> result{-1};
    std::thread worker([&] { result = CaptureWorker(&ctx); });
    for (int i = 0; i < 50; ++i) Send(packet::Datagram(i % 5 == 0 ? packet::MagicPayload() : Bytes(64, 0x22)));
    CloseCapture();
    EXPECT_TRUE(WaitUntil([&] { return result != -1; }));
    worker.join();
    EXPECT_EQ(result, 1);
}

}  // namespace
