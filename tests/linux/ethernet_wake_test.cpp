#include "analysis/ethernet_wake.h"
#include "analysis/magic_packet.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using packet::Bytes;
using packet::FixedTime;
using packet::MagicPayload;
using packet::Section;

const Bytes kSender = {0x02, 0x4C, 0x55, 0x0A, 0xB0, 0x01};
const Bytes kBroadcast(6, 0xFF);
const std::string kCutNotice = "[Report cut here: this datagram is too large to show in full.]\r\n\r\n";

Bytes Frame(const Bytes& payload, const Bytes& destination = kBroadcast, int etherType = 0x0842) {
    Bytes f = destination;
    f.insert(f.end(), kSender.begin(), kSender.end());
    f.push_back(static_cast<unsigned char>(etherType >> 8));
    f.push_back(static_cast<unsigned char>(etherType));
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

bool Format(const Bytes& frame, std::string* text) {
    return packet::FormatCopy(FormatEthernetWakeReportAt, frame, text);
}

std::string Report(const Bytes& frame) { return packet::ReportOf(FormatEthernetWakeReportAt, frame); }

TEST(EthernetWakeReport, BroadcastFrameWithPasswordGivesTheFullTextByteForByte) {
    const std::string expected =
        "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n"
        "Time received:\r\n\t 03/07/26\t 21:05:03\r\n"
        "Ethernet Header:\r\n"
        "\t|-Source MAC\t:\t02:4C:55:0A:B0:01\r\n"
        "\t|-Destination MAC\t:\tFF:FF:FF:FF:FF:FF\r\n"
        "\t|-EtherType\t:\t0x0842\r\n"
        "MAC Address:\r\n\t 00 1A 2B 3C 4D 5E\r\n"
        "Pasword:\r\n\t C0 A8 01 02 03 04\r\n"
        "Raw Data (108 bytes):\r\n"
        "\t FF FF FF FF FF FF 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n"
        "\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A\r\n"
        "\t 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n"
        "\t 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n"
        "\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A\r\n"
        "\t 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n"
        "\t 00 1A 2B 3C 4D 5E C0 A8 01 02 03 04\r\n\r\n";
    EXPECT_EQ(Report(Frame(MagicPayload({}, {0xC0, 0xA8, 0x01, 0x02, 0x03, 0x04}))), expected);
}

TEST(EthernetWakeReport, UnicastFrameNamesItsDestinationAndDumpsThePrefix) {
    const std::string text = Report(Frame(MagicPayload({0x01, 0x02}), {0x52, 0x54, 0x00, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(Section(text, "\t|-Destination MAC\t:\t"), "52:54:00:AB:CD:EF");
    EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " 00 1A 2B 3C 4D 5E");
    EXPECT_EQ(Section(text, "Raw Data (104 bytes):\r\n\t"), " 01 02 FF FF FF FF FF FF 00 1A 2B 3C 4D 5E 00 1A");
    EXPECT_EQ(text.find("Pasword"), std::string::npos);
}

TEST(EthernetWakeReport, OnlyWakeFramesWithASyncStreamInThePayloadAreReported) {
    std::string text;
    for (int etherType : {0x0800, 0x0806, 0x86DD, 0x0843, 0x4208, 0x8100})
        EXPECT_FALSE(Format(Frame(MagicPayload(), kBroadcast, etherType), &text)) << etherType;
    EXPECT_FALSE(Format(Frame(Bytes(102, 0x42)), &text));
    EXPECT_FALSE(Format(Frame(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF}), &text));
    // The broadcast destination and the sender's bytes are header, not payload.
    EXPECT_FALSE(Format(Frame({}), &text));
    EXPECT_FALSE(Format(Frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), &text));
}

TEST(EthernetWakeBounds, ShortFramesReadNothingBeyondTheLength) {
    const Bytes full = Frame(MagicPayload());
    std::string text;
    for (std::size_t length = 0; length < 14 + 6; ++length)
        EXPECT_FALSE(Format(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)), &text))
            << length;
    std::vector<char> report(kReportBufferSize);
    EXPECT_FALSE(FormatEthernetWakeReportAt(nullptr, full.data(), static_cast<int>(full.size()), FixedTime()));
    EXPECT_FALSE(FormatEthernetWakeReport(report.data(), nullptr, 0));
}

TEST(EthernetWakeBounds, AStreamAtTheVeryEndShowsTheMacAsMissing) {
    const std::string text = Report(Frame({0x11, 0x22, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " -- -- -- -- -- --");
    EXPECT_NE(text.find("\r\nRaw Data (8 bytes):\r\n\t 11 22 FF FF FF FF FF FF\r\n\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(Section(Report(Frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xAB})), "MAC Address:\r\n\t"),
              " AB -- -- -- -- --");
}

TEST(EthernetWakeBounds, HugeFramesAreCutAtAWholeLineWithANotice) {
    // A stream at the start makes a huge password line; at the end, a huge dump.
    for (bool password : {true, false}) {
        const Bytes filler(65535 - 102, 0x5A);
        const std::string text = Report(Frame(password ? MagicPayload({}, filler) : MagicPayload(filler)));
        ASSERT_LT(text.size(), static_cast<std::size_t>(kReportBufferSize));
        ASSERT_GT(text.size(), kCutNotice.size() + 2);
        EXPECT_EQ(text.substr(text.size() - kCutNotice.size() - 2), "\r\n" + kCutNotice);
        EXPECT_EQ(text.find("Pasword:") != std::string::npos, password);
        EXPECT_NE(text.find("Raw Data (65535 bytes):") != std::string::npos, password);
        // The line before the notice is a whole " XX" group row.
        const std::size_t lastLineEnd = text.size() - kCutNotice.size() - 2;
        const std::size_t lastLine = text.rfind("\r\n", lastLineEnd - 1) + 2;
        EXPECT_EQ((lastLineEnd - lastLine - 1) % 3, 0u);
        EXPECT_EQ(text[lastLine], '\t');
    }
}

}  // namespace
