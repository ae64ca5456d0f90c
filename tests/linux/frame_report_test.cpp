// Which captured frames get a report, on every link type lumora reads, and
// where their packet starts.
#include "linux/frame_report.h"

#include "analysis/magic_packet.h"
#include "packet_builder.h"

#include <gtest/gtest.h>
#include <pcap/dlt.h>

#include <string>
#include <vector>

namespace {

using packet::Bytes;
using packet::MagicPayload;
using packet::Section;

constexpr int kIpv4 = 0x0800, kIpv6 = 0x86DD, kWake = 0x0842;
constexpr int kHost = 0, kBroadcast = 1, kOutgoing = 4;

// Reports from an exact-size copy, so the sanitizers catch reads past the frame.
bool Report(const Bytes& frame, int linkType, std::string* text) {
    Bytes copy(frame);
    std::vector<char> report(kReportBufferSize);
    const CapturedFrame captured{copy.data(), static_cast<int>(copy.size()), linkType, packet::FixedTime()};
    if (!FormatFrameReport(report.data(), captured)) return false;
    text->assign(report.data());
    return true;
}

const Bytes kIpv4Magic = packet::Datagram(MagicPayload());
const Bytes kIpv6Magic = packet::Ipv6Datagram(MagicPayload());

struct LinkCase {
    const char* name;
    int linkType;
    Bytes frame;
    const char* destinationIp;
};

TEST(FrameReport, IpPacketsAreReportedOnEveryLinkType) {
    const std::vector<LinkCase> cases = {
        {"Ethernet IPv4", DLT_EN10MB, packet::EthernetFrame(kIpv4Magic, kIpv4), "192.168.1.255"},
        {"Ethernet IPv6", DLT_EN10MB, packet::EthernetFrame(kIpv6Magic, kIpv6), "ff02::1"},
        {"802.1Q", DLT_EN10MB, packet::Tagged(packet::EthernetFrame(kIpv4Magic, kIpv4), {0x8100}), "192.168.1.255"},
        {"802.1ad+Q", DLT_EN10MB, packet::Tagged(packet::EthernetFrame(kIpv6Magic, kIpv6), {0x88A8, 0x8100}),
         "ff02::1"},
        {"cooked v1", DLT_LINUX_SLL, packet::CookedV1(kIpv4Magic, kIpv4), "192.168.1.255"},
        {"cooked v1 tagged", DLT_LINUX_SLL, packet::CookedV1(packet::Concat({0, 7, 0x86, 0xDD}, kIpv6Magic), 0x8100),
         "ff02::1"},
        {"cooked v2", DLT_LINUX_SLL2, packet::CookedV2(kIpv6Magic, kIpv6, kHost), "ff02::1"},
        {"raw IPv4", DLT_RAW, kIpv4Magic, "192.168.1.255"},
        {"raw IPv6", DLT_RAW, kIpv6Magic, "ff02::1"},
        {"IPv6 link", DLT_IPV6, kIpv6Magic, "ff02::1"},
        {"BSD loopback, little-endian", DLT_NULL, packet::BsdLoopback(kIpv4Magic, 2, false), "192.168.1.255"},
        {"BSD loopback, macOS IPv6", DLT_NULL, packet::BsdLoopback(kIpv6Magic, 30, false), "ff02::1"},
        {"OpenBSD loopback", DLT_LOOP, packet::BsdLoopback(kIpv6Magic, 24, true), "ff02::1"},
    };
    for (const LinkCase& c : cases) {
        std::string text;
        ASSERT_TRUE(Report(c.frame, c.linkType, &text)) << c.name;
        EXPECT_EQ(Section(text, "\t|-Destination IP\t:\t"), c.destinationIp) << c.name;
        EXPECT_EQ(Section(text, "\t|-Source Port\t:\t"), "50000") << c.name;
        EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " 00 1A 2B 3C 4D 5E") << c.name;
    }
}

TEST(FrameReport, WakeFramesShowWhatTheLinkRecorded) {
    struct WakeCase {
        const char* name;
        int linkType;
        Bytes frame;
        const char* source;
        const char* destination;
    };
    const Bytes wake = packet::EthernetFrame(MagicPayload());
    const std::vector<WakeCase> cases = {
        {"Ethernet", DLT_EN10MB, wake, "02:4C:55:0A:B0:01", "FF:FF:FF:FF:FF:FF"},
        {"tagged", DLT_EN10MB, packet::Tagged(wake, {0x8100}), "02:4C:55:0A:B0:01", "FF:FF:FF:FF:FF:FF"},
        {"cooked broadcast", DLT_LINUX_SLL, packet::CookedV1(MagicPayload(), kWake, kBroadcast), "02:4C:55:0A:B0:01",
         "FF:FF:FF:FF:FF:FF"},
        {"cooked v2 unicast", DLT_LINUX_SLL2, packet::CookedV2(MagicPayload(), kWake, kHost), "02:4C:55:0A:B0:01",
         "--:--:--:--:--:--"},
    };
    for (const WakeCase& c : cases) {
        std::string text;
        ASSERT_TRUE(Report(c.frame, c.linkType, &text)) << c.name;
        EXPECT_EQ(Section(text, "\t|-Source MAC\t:\t"), c.source) << c.name;
        EXPECT_EQ(Section(text, "\t|-Destination MAC\t:\t"), c.destination) << c.name;
        EXPECT_EQ(Section(text, "\t|-EtherType\t:\t"), "0x0842") << c.name;
        EXPECT_EQ(Section(text, "Raw Data ("), "102 bytes):") << c.name;
    }
}

TEST(FrameReport, OutgoingOtherLinksAndOtherProtocolsAreSkipped) {
    const std::vector<LinkCase> skipped = {
        {"outgoing cooked", DLT_LINUX_SLL, packet::CookedV1(kIpv4Magic, kIpv4, kOutgoing), ""},
        {"outgoing cooked v2", DLT_LINUX_SLL2, packet::CookedV2(kIpv4Magic, kIpv4, kOutgoing), ""},
        {"802.11", DLT_IEEE802_11, packet::EthernetFrame(kIpv4Magic, kIpv4), ""},
        {"ARP", DLT_EN10MB, packet::EthernetFrame(kIpv4Magic, 0x0806), ""},
        {"three tags", DLT_EN10MB, packet::Tagged(packet::EthernetFrame(kIpv4Magic, kIpv4), {0x8100, 0x8100, 0x8100}),
         ""},
        {"raw IP of version 5", DLT_RAW, packet::Concat({0x50}, Bytes(kIpv4Magic.begin() + 1, kIpv4Magic.end())), ""},
        {"loopback family 7", DLT_NULL, packet::BsdLoopback(kIpv4Magic, 7, false), ""},
        // 0x0842 needs the link addresses its report shows.
        {"wake over BSD loopback", DLT_NULL, packet::BsdLoopback(MagicPayload(), 0x0842, true), ""},
    };
    for (const LinkCase& c : skipped) {
        std::string text;
        EXPECT_FALSE(Report(c.frame, c.linkType, &text)) << c.name;
    }
}

TEST(FrameReport, EthernetPaddingIsNotPartOfTheDatagram) {
    // Six 0xFF only: padded to the 60-byte minimum, the zeros must not pass for a MAC.
    Bytes datagram = packet::Datagram(Bytes(6, 0xFF));
    datagram[3] = static_cast<unsigned char>(datagram.size());  // the IPv4 total length
    Bytes frame = packet::EthernetFrame(datagram, kIpv4);
    frame.resize(60, 0x00);
    std::string text;
    ASSERT_TRUE(Report(frame, DLT_EN10MB, &text));
    EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " -- -- -- -- -- --");
    EXPECT_EQ(Section(text, "Raw Data ("), "6 bytes):");
}

TEST(FrameReport, FramesCutAnywhereReadNothingBeyondTheirLength) {
    const std::vector<LinkCase> cases = {
        {"Ethernet", DLT_EN10MB, packet::Tagged(packet::EthernetFrame(kIpv6Magic, kIpv6), {0x8100, 0x8100}), ""},
        {"cooked v1", DLT_LINUX_SLL, packet::CookedV1(kIpv4Magic, kIpv4), ""},
        {"cooked v2", DLT_LINUX_SLL2, packet::CookedV2(MagicPayload(), kWake), ""},
        {"loopback", DLT_NULL, packet::BsdLoopback(kIpv6Magic, 10, false), ""},
        {"raw", DLT_RAW, kIpv4Magic, ""},
    };
    for (const LinkCase& c : cases) {
        std::string text;
        // Short of the sync stream's end, nothing is reported.
        for (std::size_t length = 0; length < c.frame.size() - 96; ++length)
            EXPECT_FALSE(Report(Bytes(c.frame.begin(), c.frame.begin() + static_cast<std::ptrdiff_t>(length)),
                                c.linkType, &text))
                << c.name << " cut at " << length;
    }
}

}  // namespace
