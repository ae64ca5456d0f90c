// The report Lumora shows for a magic packet, and the bounds of every read
// made to find one: run natively under the sanitizers too.
#include "analysis/magic_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "packet_builder.h"

namespace {

using packet::Bytes;
using packet::Concat;
using packet::Datagram;
using packet::MagicPayload;

constexpr int kMaxUdpPayload = 65507;
constexpr int kUdp = 17;
const Bytes kSix(6, 0xFF);
const Bytes kPassword4 = {0xA1, 0xA2, 0xA3, 0xA4};

bool Format(const Bytes& datagram, std::string* text) {
    return packet::FormatCopy(FormatMagicPacketReportAt, datagram, text);
}

std::string Report(const Bytes& datagram) { return packet::ReportOf(FormatMagicPacketReportAt, datagram); }

Bytes Patched(Bytes d, std::size_t at, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), d.begin() + static_cast<std::ptrdiff_t>(at));
    return d;
}

int BruteForceSync(const Bytes& d, int from) {
    for (int s = from; s + 6 <= static_cast<int>(d.size()); ++s)
        if (std::count(d.begin() + s, d.begin() + s + 6, 0xFF) == 6) return s;
    return -1;
}

std::string TimeLine(std::time_t when) {
    char text[32];
    std::strftime(text, sizeof text, "\t %m/%d/%y\t %H:%M:%S", std::localtime(&when));
    return text;
}

TEST(MagicPacketReport, TheTimeLineIsTheLocalTimeOfReceipt) {
    const Bytes d = Datagram(MagicPayload());
    std::vector<char> report(kReportBufferSize);
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(FormatMagicPacketReport(report.data(), d.data(), static_cast<int>(d.size())));
    const std::string line = packet::Section(report.data(), "Time received:\r\n");
    EXPECT_TRUE(line == TimeLine(before) || line == TimeLine(std::time(nullptr))) << line;
}

struct Shown { const char* what; Bytes datagram; std::string fragment; bool present = true; };

// The layout, the time line and a dump's rows whole and part are the
// end-to-end goldens' (tests/linux/expected_reports.txt, the files group).
TEST(MagicPacketReport, EachCaseShowsItsLines) {
    Bytes counting = kSix;
    for (int i = 0; i < 110; ++i) counting.push_back(static_cast<unsigned char>(i));
    const Bytes laterFragment = Patched(Patched(Datagram(MagicPayload()), 6, {0x00, 0xB9}), 20,
                                        {0, 7, 1, 2, 0, 0x10, 0xFF, 0xFE});  // data taken as the UDP header
    const Shown cases[] = {
        {"port 65535", Datagram(MagicPayload(), 65535), "Destination Port\t:\t65535\r\n"},
        {"a seventh 0xFF opens the MAC", Datagram(Concat(kSix, {0xFF, 1, 2, 3, 4, 5})), "\t FF 01 02 03 04 05\r\n"},
        {"garbage after the sync stream", Datagram(counting),
         "\t 00 01 02 03 04 05\r\nPasword:\r\n\t 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D\r\n"},
        {"three bytes are no password", Datagram(MagicPayload({}, {0xA1, 0xA2, 0xA3})), "Pasword", false},
        {"four bytes are a password", Datagram(MagicPayload({}, kPassword4)),
         "\r\nPasword:\r\n\t A1 A2 A3 A4\r\nRaw Data (106 bytes):\r\n"},
        {"password to the end received, past the UDP length", Datagram(MagicPayload({}, kPassword4), 9, kUdp, 110),
         "\r\nPasword:\r\n\t A1 A2 A3 A4\r\nRaw Data (102 bytes):\r\n"},
        {"UDP length of the header alone", Datagram(MagicPayload(), 9, kUdp, 8), "\r\nRaw Data (0 bytes):\r\n\r\n\r\n"},
        {"UDP length below the header", Datagram(MagicPayload(), 9, kUdp, 0), "\r\nRaw Data (-8 bytes):\r\n\r\n\r\n"},
        {"truncated dump", Datagram(kSix, 9, kUdp, 1008),
         "Raw Data (1000 bytes, only 6 received):\r\n\t FF FF FF FF FF FF\r\n\r\n"},
        {"no MAC received", Datagram(kSix), "MAC Address:\r\n\t -- -- -- -- -- --\r\n"},
        {"part of the MAC received", Datagram(Concat(kSix, {0x12, 0x34})), "MAC Address:\r\n\t 12 34 -- -- -- --\r\n"},
        {"later fragment", laterFragment,
         "Port\t:\t7\r\n\t|-Destination Port\t:\t258\r\n\t|-UDP Length\t:\t16\r\n\t|-UDP Checksum\t:\t65534\r\n"},
    };
    for (const Shown& c : cases) {
        std::string text;
        ASSERT_TRUE(Format(c.datagram, &text)) << c.what;
        EXPECT_EQ(text.find(c.fragment) != std::string::npos, c.present) << c.what << "\n" << text;
    }
}

// Without six 0xFF in a row nothing is reported either: the bounds test below.
TEST(MagicPacketReport, OnlyUdpIsReported) {
    std::string text;
    for (int protocol : {0, 1, 6, 16, 18, 255}) EXPECT_FALSE(Format(Datagram(MagicPayload(), 9, protocol), &text));
}

TEST(MagicPacketBounds, ShortDatagramsAndEveryIhlReadNothingBeyondTheLength) {
    std::string text;
    // IHL 0, UDP, and 0xFF everywhere else: only the length stops a read.
    const Bytes header = Patched(Patched(Bytes(packet::kIpHeaderLength, 0xFF), 0, {0x40}), 9, {kUdp});
    for (std::size_t length = 0; length < header.size(); ++length)
        EXPECT_FALSE(Format(Bytes(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(length)), &text));
    const Bytes base = Datagram(MagicPayload());
    for (int ihl = 0; ihl <= 15; ++ihl) {
        for (std::size_t cut = packet::kIpHeaderLength; cut <= base.size(); ++cut) {
            const Bytes d = Patched(Bytes(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(cut)), 0,
                                    {static_cast<unsigned char>(0x40 | ihl)});
            const bool magic = BruteForceSync(d, ihl * 4 + packet::kUdpHeaderLength) >= 0;
            EXPECT_EQ(Format(d, &text), magic) << "ihl " << ihl << ", length " << cut;
        }
    }
}

TEST(MagicPacketBounds, AHugeDatagramIsCutAtAWholeLineWithANotice) {
    const std::string notice = "\r\n[Report cut here: this datagram is too large to show in full.]\r\n\r\n";
    // The password runs to the end of the datagram: a stream at the end gives
    // a huge dump, one at the start a huge password line.
    for (bool password : {false, true}) {
        const Bytes filler(kMaxUdpPayload - 102, 0x5A);
        const std::string text = Report(Datagram(password ? MagicPayload({}, filler) : MagicPayload(filler)));
        ASSERT_LT(text.size(), static_cast<std::size_t>(kReportBufferSize));
        EXPECT_EQ(text.substr(text.size() - notice.size()), notice);
        EXPECT_EQ(text.find("Pasword:") != std::string::npos, password);
        const std::string body = text.substr(0, text.size() - notice.size());
        const std::string lastLine = body.substr(body.rfind("\r\n") + 2);
        // A TAB and whole groups " 5A" of the filler: the cut splits no line.
        EXPECT_EQ(lastLine.substr(0, 4), "\t 5A");
        EXPECT_EQ(lastLine.find_first_not_of(" 5A", 1), std::string::npos);
        EXPECT_EQ(lastLine.size() % 3, 1u);
    }
    // Just under the limit: no notice, and the last row is whole.
    const std::string text = Report(Datagram(MagicPayload(Bytes(19000, 0x00))));
    const std::string lastRow = "\r\n\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n\r\n";
    EXPECT_EQ(text.find("[Report cut"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - lastRow.size()), lastRow);
}

TEST(SyncSearch, FindsTheSameStartAsTheWindowByWindowDefinition) {
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        Bytes d(static_cast<std::size_t>(random() % 300), 0);
        const int ffShare = static_cast<int>(random() % 4);  // from sparse to mostly 0xFF
        for (auto& b : d) b = (static_cast<int>(random() % 4) < ffShare) ? 0xFF : static_cast<unsigned char>(random());
        const int from = static_cast<int>(random() % 40);
        ASSERT_EQ(FindSyncStream(d.data(), from, static_cast<int>(d.size())), BruteForceSync(d, from)) << round;
    }
}

}  // namespace
