// Lumora's start-up and capture end to end, on a real network path: the one
// change Wine needs is a raw socket for UDP without receive-all mode.
#include "capture_fixture.h"  // Winsock, gtest, the packets and the dialog with it

namespace {

using packet::Bytes;

constexpr DWORD kBurstTimeoutMs = 30000;

// A MAC that numbers the packet: 10:11:12:13:00:NN.
Bytes NumberedMagic(int index, const Bytes& prefix = {}, const Bytes& password = {}) {
    const unsigned char mac[6] = {0x10, 0x11, 0x12, 0x13, 0x00, static_cast<unsigned char>(index)};
    return packet::MagicPayload(prefix, password, mac);
}

std::string NumberedMacLine(int index) { return " 10 11 12 13 00 " + packet::Hex(static_cast<unsigned char>(index)); }

using CaptureEndToEnd = LumoraOnItsNetwork;

// udpLength nullptr: not a magic packet, so not reported.
struct Sent { int port; Bytes payload; const char* udpLength; const char* password; };

// Every kind, then a flood: each burst of noise, sent faster than the worker
// drains it, overflows a default-sized receive buffer and would drop the
// magic packet behind it. The next burst waits for that report, so the test
// does not hang on the speed of the machine, only on the size of the buffer.
// Escape's way out is the dialog test's; the log's first lines, before the
// reports, the readiness test's.
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
    OpenCapture();
    ASSERT_FALSE(HasFatalFailure());
    const INT_PTR code = RunModal(kLumoraCaption, [&] { return RunCaptureDialog(&capture); }, [&](HWND dialog) {
        for (const Sent& s : sent) SendTo(s.port, s.payload);
        WaitUntil([&] { return Reports(dialog).size() >= kKinds; });
        log = WindowText(GetDlgItem(dialog, IDC_LOG));
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
