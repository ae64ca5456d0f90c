#include "analysis/magic_packet.h"

#include "packet_builder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using packet::Bytes;
using packet::Datagram;
using packet::Hex;
using packet::MagicPayload;
using packet::Section;
using packet::FixedTime;

bool Format(const Bytes& datagram, std::string* text) {
    return packet::FormatCopy(FormatMagicPacketReportAt, datagram, text);
}

std::string Report(const Bytes& datagram) { return packet::ReportOf(FormatMagicPacketReportAt, datagram); }

std::string MacLine(const std::string& report) { return Section(report, "MAC Address:\r\n\t"); }

// A TAB and whole " XX" groups, as every dump row and password line is.
bool IsHexRow(const std::string& line) {
    if (line.size() < 4 || line[0] != '\t' || (line.size() - 1) % 3 != 0) return false;
    for (std::size_t i = 1; i < line.size(); i += 3) {
        if (line[i] != ' ' || !std::isxdigit(static_cast<unsigned char>(line[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(line[i + 2])))
            return false;
    }
    return true;
}

int BruteForceSync(const Bytes& d, int from) {
    for (int s = from; s + 6 <= static_cast<int>(d.size()); ++s) {
        int count = 0;
        for (int i = 0; i < 6; ++i) count += d[s + i] == 0xFF;
        if (count == 6) return s;
    }
    return -1;
}

TEST(MagicPacketReport, ClassicPacketGivesTheFullTextByteForByte) {
    const std::string expected =
        "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n"
        "Time received:\r\n\t 03/07/26\t 21:05:03\r\n"
        "UDP Header:\r\n"
        "\t|-Source IP\t:\t192.168.1.20\r\n"
        "\t|-Destination IP\t:\t192.168.1.255\r\n"
        "\t|-Source Port\t:\t50000\r\n"
        "\t|-Destination Port\t:\t9\r\n"
        "\t|-UDP Length\t:\t110\r\n"
        "\t|-UDP Checksum\t:\t43981\r\n"
        "MAC Address:\r\n\t 00 1A 2B 3C 4D 5E\r\n"
        "Raw Data (102 bytes):\r\n"
        "\t FF FF FF FF FF FF 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n"
        "\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A\r\n"
        "\t 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n"
        "\t 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n"
        "\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A\r\n"
        "\t 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n"
        "\t 00 1A 2B 3C 4D 5E\r\n\r\n";
    EXPECT_EQ(Report(Datagram(MagicPayload())), expected);
}

std::string TimeLine(const std::tm& t) {
    char text[64];
    std::strftime(text, sizeof text, "\t %m/%d/%y\t %H:%M:%S", &t);
    return text;
}

TEST(MagicPacketReport, TheClockGivesMonthFirstTwoDigitYearAnd24HourTime) {
    const Bytes d = Datagram(MagicPayload());
    std::vector<char> report(kReportBufferSize);
    const std::tm before = LocalTimeNow();
    ASSERT_TRUE(FormatMagicPacketReport(report.data(), d.data(), static_cast<int>(d.size())));
    const std::tm after = LocalTimeNow();
    const std::string line = Section(report.data(), "Time received:\r\n");
    EXPECT_TRUE(line == TimeLine(before) || line == TimeLine(after)) << line;

    std::tm late = FixedTime();
    late.tm_year = 2009 - 1900; late.tm_mon = 11; late.tm_mday = 31; late.tm_hour = 23;
    ASSERT_TRUE(FormatMagicPacketReportAt(report.data(), d.data(), static_cast<int>(d.size()), late));
    EXPECT_EQ(Section(report.data(), "Time received:\r\n"), "\t 12/31/09\t 23:05:03");
    late.tm_hour = 0; late.tm_mon = 0; late.tm_mday = 2; late.tm_year = 2000 - 1900;
    ASSERT_TRUE(FormatMagicPacketReportAt(report.data(), d.data(), static_cast<int>(d.size()), late));
    EXPECT_EQ(Section(report.data(), "Time received:\r\n"), "\t 01/02/00\t 00:05:03");
}

TEST(MagicPacketReport, OnlyUdpIsReportedWhateverThePort) {
    std::string text;
    for (int protocol : {1, 6, 0, 255, 16, 18}) EXPECT_FALSE(Format(Datagram(MagicPayload(), 9, protocol), &text)) << protocol;
    for (int port : {0, 7, 9, 40000, 65535}) {
        ASSERT_TRUE(Format(Datagram(MagicPayload(), port), &text));
        EXPECT_EQ(Section(text, "\t|-Destination Port\t:\t"), std::to_string(port));
    }
    EXPECT_FALSE(Format(Datagram(Bytes(102, 0x42)), &text));
    EXPECT_FALSE(Format(Datagram(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF}), &text));
}

TEST(MagicPacketReport, TheStreamIsTheFirstSixFFWhereverItStands) {
    const std::string prefixed = Report(Datagram(MagicPayload({0x01, 0x02, 0x03, 0x04})));
    EXPECT_EQ(MacLine(prefixed), " 00 1A 2B 3C 4D 5E");
    EXPECT_EQ(Section(prefixed, "Raw Data (106 bytes):\r\n\t"), " 01 02 03 04 FF FF FF FF FF FF 00 1A 2B 3C 4D 5E");

    // A seventh 0xFF becomes the first MAC byte.
    EXPECT_EQ(MacLine(Report(Datagram(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5}))), " FF 01 02 03 04 05");
    EXPECT_EQ(MacLine(Report(Datagram(Bytes(102, 0xFF)))), " FF FF FF FF FF FF");

    // Six 0xFF and then garbage: still reported, the MAC is whatever follows.
    Bytes garbage{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int i = 0; i < 110; ++i) garbage.push_back(static_cast<unsigned char>(i));
    const std::string text = Report(Datagram(garbage));
    EXPECT_EQ(MacLine(text), " 00 01 02 03 04 05");
    EXPECT_EQ(Section(text, "Pasword:\r\n\t"), " 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D");
}

TEST(MagicPacketReport, PasswordNeedsFourOrMoreBytesAfterTheRepetitions) {
    std::string text;
    text = Report(Datagram(MagicPayload({}, {0xA1, 0xA2, 0xA3})));
    EXPECT_EQ(text.find("Pasword"), std::string::npos);
    text = Report(Datagram(MagicPayload({}, {0xA1, 0xA2, 0xA3, 0xA4})));
    EXPECT_NE(text.find("\r\nPasword:\r\n\t A1 A2 A3 A4\r\nRaw Data (106 bytes):\r\n"), std::string::npos) << text;
    text = Report(Datagram(MagicPayload({}, {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6})));
    EXPECT_EQ(Section(text, "Pasword:\r\n\t"), " A1 A2 A3 A4 A5 A6");
    // The password runs to the end of what was received, not to the UDP length.
    text = Report(Datagram(MagicPayload({}, {0xA1, 0xA2, 0xA3, 0xA4}), 9, 17, 8 + 102));
    EXPECT_EQ(Section(text, "Pasword:\r\n\t"), " A1 A2 A3 A4");
    EXPECT_EQ(Section(text, "Raw Data ("), "102 bytes):");
}

TEST(MagicPacketReport, RawDataRowsFollowTheUdpLengthField) {
    std::string text = Report(Datagram(MagicPayload(), 9, 17, 8));
    EXPECT_NE(text.find("\r\nRaw Data (0 bytes):\r\n\r\n\r\n"), std::string::npos);
    EXPECT_EQ(text.size() - text.find("Raw Data"), std::strlen("Raw Data (0 bytes):\r\n\r\n\r\n"));
    text = Report(Datagram(MagicPayload(), 9, 17, 0));
    EXPECT_NE(text.find("\r\nRaw Data (-8 bytes):\r\n\r\n\r\n"), std::string::npos);
    text = Report(Datagram(MagicPayload(), 9, 17, 3));
    EXPECT_NE(text.find("\r\nRaw Data (-5 bytes):\r\n\r\n\r\n"), std::string::npos);

    text = Report(Datagram(MagicPayload(), 9, 17, 8 + 16));
    EXPECT_NE(text.find("Raw Data (16 bytes):\r\n\t FF FF FF FF FF FF 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n\r\n"),
              std::string::npos) << text;
    text = Report(Datagram(MagicPayload(), 9, 17, 8 + 17));
    EXPECT_NE(text.find("Raw Data (17 bytes):\r\n\t FF FF FF FF FF FF 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n\t 4D\r\n\r\n"),
              std::string::npos) << text;
}

TEST(MagicPacketReport, ClaimedPayloadBeyondTheDatagramDumpsOnlyWhatArrived) {
    const std::string text = Report(Datagram(Bytes(6, 0xFF), 9, 17, 8 + 1000));
    EXPECT_NE(text.find("Raw Data (1000 bytes, only 6 received):\r\n\t FF FF FF FF FF FF\r\n\r\n"), std::string::npos)
        << text;
}

TEST(MagicPacketReport, MacBytesBeyondTheDatagramAreShownAsMissing) {
    EXPECT_EQ(MacLine(Report(Datagram(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}))), " -- -- -- -- -- --");
    EXPECT_EQ(MacLine(Report(Datagram(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x12, 0x34}))), " 12 34 -- -- -- --");
}

TEST(MagicPacketReport, ALaterFragmentIsReadAsIfItHadAUdpHeader) {
    // Fragment bytes: eight data bytes taken as ports, length, checksum.
    Bytes d = Datagram(MagicPayload());
    d[6] = 0x00; d[7] = 0xB9;  // fragment offset, ignored
    const Bytes fake{0x00, 0x07, 0x01, 0x02, 0x00, 0x10, 0xFF, 0xFE};
    std::memcpy(&d[20], fake.data(), fake.size());
    const std::string text = Report(d);
    EXPECT_EQ(Section(text, "\t|-Source Port\t:\t"), "7");
    EXPECT_EQ(Section(text, "\t|-Destination Port\t:\t"), "258");
    EXPECT_EQ(Section(text, "\t|-UDP Checksum\t:\t"), "65534");
}

TEST(MagicPacketBounds, ShortDatagramsAndIhlExtremesReadNothingBeyondTheLength) {
    std::string text;
    for (int length = 0; length < 20; ++length) {
        Bytes d(static_cast<std::size_t>(length), 0xFF);
        if (length > 9) d[9] = 17;
        if (length > 0) d[0] = 0x40;
        EXPECT_FALSE(Format(d, &text)) << length;
    }
    const Bytes base = Datagram(MagicPayload());
    for (int ihl = 0; ihl <= 15; ++ihl) {
        for (std::size_t cut = 20; cut <= base.size(); ++cut) {
            Bytes d(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(cut));
            d[0] = static_cast<unsigned char>(0x40 | ihl);
            const int from = ihl * 4 + 8;
            const bool expected = BruteForceSync(d, from) >= 0;
            EXPECT_EQ(Format(d, &text), expected) << "ihl " << ihl << " length " << cut;
        }
    }
    // A header of IHL 0 puts the "payload" inside the IP header itself.
    Bytes d(22, 0xFF);
    d[0] = 0x40; d[9] = 17;
    EXPECT_TRUE(Format(d, &text));
    EXPECT_EQ(MacLine(text), " FF FF FF FF FF FF");
}

TEST(MagicPacketBounds, HugeDatagramsAreCutAtAWholeLineWithANotice) {
    const std::string notice = "[Report cut here: this datagram is too large to show in full.]\r\n\r\n";
    // The password runs to the end of the datagram, so a stream at the end
    // gives a huge dump and one at the start a huge password line.
    for (bool password : {false, true}) {
        Bytes payload = password ? MagicPayload({}, Bytes(65507 - 102, 0x5A)) : MagicPayload(Bytes(65507 - 102, 0x00));
        const std::string text = Report(Datagram(payload, 9, 17, 65515));
        ASSERT_LT(text.size(), static_cast<std::size_t>(kReportBufferSize));
        ASSERT_GT(text.size(), notice.size() + 2);
        EXPECT_EQ(text.substr(text.size() - notice.size() - 2), "\r\n" + notice);
        EXPECT_EQ(text.find("Raw Data (65507 bytes):\r\n") != std::string::npos, !password);
        EXPECT_EQ(text.find("Pasword:") != std::string::npos, password);
        const std::string lastLine = text.substr(text.rfind("\r\n", text.size() - notice.size() - 3) + 2);
        EXPECT_TRUE(IsHexRow(lastLine.substr(0, lastLine.size() - notice.size() - 2))) << lastLine.substr(0, 80);
    }
    // Just under the limit: no notice, every row shown.
    const Bytes payload = MagicPayload(Bytes(19000, 0x00));
    const std::string text = Report(Datagram(payload));
    EXPECT_EQ(text.find("[Report cut"), std::string::npos);
    const std::size_t rows = (payload.size() + 15) / 16;
    std::size_t rowStarts = 0;
    for (auto at = text.find("\r\n\t "); at != std::string::npos; at = text.find("\r\n\t ", at + 1)) ++rowStarts;
    EXPECT_EQ(rowStarts, rows + 1 + 1);  // the MAC line and the rows
    std::string lastRow = "\t";
    for (std::size_t i = (rows - 1) * 16; i < payload.size(); ++i) lastRow += " " + Hex(payload[i]);
    lastRow += "\r\n\r\n";
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
