// Which captured frames get a report, and where their datagram starts.
#include "linux/frame_report.h"

#include "analysis/magic_packet.h"

#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kRadiotap = 803;  // ARPHRD_IEEE80211_RADIOTAP: a link header of varying length

Bytes MagicPayload() {
    Bytes p(6, 0xFF);
    for (int i = 0; i < 16; ++i) p.insert(p.end(), {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    return p;
}

// IPv4 (20-byte header, total length set) and UDP to 10.77.0.255:9.
Bytes UdpDatagram(const Bytes& payload) {
    const int total = 28 + static_cast<int>(payload.size());
    const int udpLength = 8 + static_cast<int>(payload.size());
    Bytes d = {0x45, 0, static_cast<unsigned char>(total >> 8), static_cast<unsigned char>(total), 0, 0, 0x40, 0,
               64,   17, 0, 0, 10, 77, 0, 1, 10, 77, 0, 255,
               0xC3, 0x50, 0, 9, static_cast<unsigned char>(udpLength >> 8), static_cast<unsigned char>(udpLength),
               0,    0};
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

Bytes EthernetFrame(int etherType, const Bytes& payload) {
    Bytes f = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x4C, 0x55, 0, 0, 1};
    f.push_back(static_cast<unsigned char>(etherType >> 8));
    f.push_back(static_cast<unsigned char>(etherType));
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

// Reports from an exact-size copy, so the sanitizers catch reads past the frame.
bool Report(const Bytes& frame, int packetType, int hardwareType, int protocol, std::string* text) {
    Bytes copy(frame);
    std::vector<char> report(kReportBufferSize);
    const FrameInfo info{static_cast<int>(copy.size()), packetType, hardwareType, protocol};
    if (!FormatFrameReport(report.data(), copy.data(), info)) return false;
    text->assign(report.data());
    return true;
}

std::string Section(const std::string& report, const std::string& heading) {
    const auto at = report.find(heading);
    if (at == std::string::npos) return "<missing>";
    return report.substr(at + heading.size(), report.find("\r\n", at + heading.size()) - at - heading.size());
}

TEST(FrameReport, IncomingIpv4IsReportedOnEthernetLoopbackAndHeaderlessLinks) {
    const Bytes datagram = UdpDatagram(MagicPayload());
    std::string text;
    for (int packetType : {PACKET_HOST, PACKET_BROADCAST, PACKET_MULTICAST, PACKET_OTHERHOST}) {
        ASSERT_TRUE(Report(EthernetFrame(ETH_P_IP, datagram), packetType, ARPHRD_ETHER, ETH_P_IP, &text));
        EXPECT_EQ(Section(text, "\t|-Destination IP\t:\t"), "10.77.0.255");
        EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " 00 1A 2B 3C 4D 5E");
    }
    ASSERT_TRUE(Report(EthernetFrame(ETH_P_IP, datagram), PACKET_HOST, ARPHRD_LOOPBACK, ETH_P_IP, &text));
    EXPECT_EQ(Section(text, "\t|-Source IP\t:\t"), "10.77.0.1");
    for (int headerless : {ARPHRD_NONE, ARPHRD_RAWIP, ARPHRD_PPP, ARPHRD_TUNNEL}) {
        ASSERT_TRUE(Report(datagram, PACKET_HOST, headerless, ETH_P_IP, &text)) << headerless;
        EXPECT_EQ(Section(text, "\t|-Source Port\t:\t"), "50000");
    }
}

TEST(FrameReport, OutgoingUnknownLinksAndOtherProtocolsAreSkipped) {
    const Bytes datagram = UdpDatagram(MagicPayload());
    std::string text;
    EXPECT_FALSE(Report(EthernetFrame(ETH_P_IP, datagram), PACKET_OUTGOING, ARPHRD_ETHER, ETH_P_IP, &text));
    EXPECT_FALSE(Report(EthernetFrame(0x0842, MagicPayload()), PACKET_OUTGOING, ARPHRD_ETHER, 0x0842, &text));
    EXPECT_FALSE(Report(EthernetFrame(ETH_P_IP, datagram), PACKET_HOST, kRadiotap, ETH_P_IP, &text));
    EXPECT_FALSE(Report(EthernetFrame(ETH_P_IPV6, datagram), PACKET_HOST, ARPHRD_ETHER, ETH_P_IPV6, &text));
    // 0x0842 needs the Ethernet header its report shows.
    EXPECT_FALSE(Report(MagicPayload(), PACKET_HOST, ARPHRD_NONE, 0x0842, &text));
}

TEST(FrameReport, WakeFramesGetTheEthernetReport) {
    std::string text;
    ASSERT_TRUE(Report(EthernetFrame(0x0842, MagicPayload()), PACKET_BROADCAST, ARPHRD_ETHER, 0x0842, &text));
    EXPECT_EQ(Section(text, "\t|-Source MAC\t:\t"), "02:4C:55:00:00:01");
    EXPECT_EQ(text.find("UDP Header"), std::string::npos);
}

TEST(FrameReport, EthernetPaddingIsNotPartOfTheDatagram) {
    // Six 0xFF only: padded to the 60-byte minimum, the zeros must not pass for a MAC.
    Bytes frame = EthernetFrame(ETH_P_IP, UdpDatagram(Bytes(6, 0xFF)));
    frame.resize(60, 0x00);
    std::string text;
    ASSERT_TRUE(Report(frame, PACKET_HOST, ARPHRD_ETHER, ETH_P_IP, &text));
    EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " -- -- -- -- -- --");
    EXPECT_EQ(Section(text, "Raw Data ("), "6 bytes):");
}

TEST(FrameReport, FramesShorterThanTheirHeadersAreSkipped) {
    const Bytes frame = EthernetFrame(ETH_P_IP, UdpDatagram(MagicPayload()));
    std::string text;
    for (std::size_t length = 0; length < 14 + 20; ++length)
        EXPECT_FALSE(Report(Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length)), PACKET_HOST,
                            ARPHRD_ETHER, ETH_P_IP, &text))
            << length;
}

}  // namespace
