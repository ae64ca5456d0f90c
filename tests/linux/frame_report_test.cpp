// Which captured frames get a report, on every link type lumora reads, and
// where their packet starts.
#include "linux/frame_report.h"

#include "analysis/ipv6_wake.h"
#include "analysis/magic_packet.h"
#include "packet_builder.h"

#include <gtest/gtest.h>
#include <pcap/dlt.h>

#include <string>
#include <vector>

namespace {

using packet::Bytes;
using packet::BsdLoopback;
using packet::CookedV1;
using packet::CookedV2;
using packet::EthernetFrame;
using packet::MagicPayload;
using packet::Section;
using packet::Tagged;

constexpr int kIpv4 = 0x0800, kIpv6 = 0x86DD, kWake = 0x0842;
constexpr int kHost = 0, kBroadcast = 1, kOutgoing = 4;

// Reports from an exact-size copy, so the sanitizers catch reads past the frame.
bool Report(const Bytes& frame, int linkType, std::string* text) {
    const Bytes copy(frame);
    std::vector<char> report(kReportBufferSize);
    if (!FormatFrameReport(report.data(), {copy.data(), static_cast<int>(copy.size()), linkType, packet::FixedTime()}))
        return false;
    text->assign(report.data());
    return true;
}

const Bytes kIpv4Magic = packet::Datagram(MagicPayload());
const Bytes kIpv6Magic = packet::Ipv6Datagram(MagicPayload());

struct LinkCase {
    const char* name;
    int linkType;
    Bytes frame;
};

// The report is the IP packet's own, byte for byte, whatever link carried it.
TEST(FrameReport, IpPacketsAreReportedOnEveryLinkType) {
    const std::pair<LinkCase, bool> cases[] = {
        {{"Ethernet IPv4", DLT_EN10MB, EthernetFrame(kIpv4Magic, kIpv4)}, false},
        {{"Ethernet IPv6", DLT_EN10MB, EthernetFrame(kIpv6Magic, kIpv6)}, true},
        {{"802.1Q", DLT_EN10MB, Tagged(EthernetFrame(kIpv4Magic, kIpv4), {0x8100})}, false},
        {{"802.1ad+Q", DLT_EN10MB, Tagged(EthernetFrame(kIpv6Magic, kIpv6), {0x88A8, 0x8100})}, true},
        {{"cooked v1", DLT_LINUX_SLL, CookedV1(kIpv4Magic, kIpv4)}, false},
        {{"cooked v1 tagged", DLT_LINUX_SLL, CookedV1(packet::Concat({0, 7, 0x86, 0xDD}, kIpv6Magic), 0x8100)}, true},
        {{"cooked v2", DLT_LINUX_SLL2, CookedV2(kIpv6Magic, kIpv6, kHost)}, true},
        {{"raw IPv4", DLT_RAW, kIpv4Magic}, false},
        {{"raw IPv6", DLT_RAW, kIpv6Magic}, true},
        {{"IPv6 link", DLT_IPV6, kIpv6Magic}, true},
        {{"BSD loopback, little-endian", DLT_NULL, BsdLoopback(kIpv4Magic, 2, false)}, false},
        {{"BSD loopback, big-endian", DLT_NULL, BsdLoopback(kIpv4Magic, 2, true)}, false},
        {{"BSD loopback, macOS IPv6", DLT_NULL, BsdLoopback(kIpv6Magic, 30, false)}, true},
        {{"OpenBSD loopback", DLT_LOOP, BsdLoopback(kIpv6Magic, 24, true)}, true},
    };
    const std::string ipv4 = packet::ReportOf(FormatMagicPacketReportAt, kIpv4Magic);
    const std::string ipv6 = packet::ReportOf(FormatIpv6MagicPacketReportAt, kIpv6Magic);
    for (const auto& [c, v6] : cases) {
        std::string text;
        EXPECT_TRUE(Report(c.frame, c.linkType, &text)) << c.name;
        EXPECT_EQ(text, v6 ? ipv6 : ipv4) << c.name;
    }
}

TEST(FrameReport, WakeFramesShowTheAddressesTheLinkRecorded) {
    struct WakeCase {
        LinkCase link;
        const char* destination;
    };
    const WakeCase cases[] = {
        {{"Ethernet", DLT_EN10MB, EthernetFrame(MagicPayload())}, "FF:FF:FF:FF:FF:FF"},
        {{"tagged", DLT_EN10MB, Tagged(EthernetFrame(MagicPayload()), {0x8100})}, "FF:FF:FF:FF:FF:FF"},
        {{"cooked broadcast", DLT_LINUX_SLL, CookedV1(MagicPayload(), kWake, kBroadcast)}, "FF:FF:FF:FF:FF:FF"},
        // A cooked header keeps no destination.
        {{"cooked v2 unicast", DLT_LINUX_SLL2, CookedV2(MagicPayload(), kWake, kHost)}, "--:--:--:--:--:--"},
    };
    for (const WakeCase& c : cases) {
        std::string text;
        ASSERT_TRUE(Report(c.link.frame, c.link.linkType, &text)) << c.link.name;
        EXPECT_EQ(Section(text, "\t|-Source MAC\t:\t"), "02:4C:55:0A:B0:01") << c.link.name;
        EXPECT_EQ(Section(text, "\t|-Destination MAC\t:\t"), c.destination) << c.link.name;
        EXPECT_EQ(Section(text, "Raw Data ("), "102 bytes):") << c.link.name;
    }
}

TEST(FrameReport, OutgoingOtherLinksAndOtherProtocolsAreSkipped) {
    const LinkCase skipped[] = {
        {"outgoing cooked", DLT_LINUX_SLL, CookedV1(kIpv4Magic, kIpv4, kOutgoing)},
        {"outgoing cooked v2", DLT_LINUX_SLL2, CookedV2(kIpv4Magic, kIpv4, kOutgoing)},
        {"802.11", DLT_IEEE802_11, EthernetFrame(kIpv4Magic, kIpv4)},
        {"ARP", DLT_EN10MB, EthernetFrame(kIpv4Magic, 0x0806)},
        {"three tags", DLT_EN10MB, Tagged(EthernetFrame(kIpv4Magic, kIpv4), {0x8100, 0x8100, 0x8100})},
        {"raw IP of version 5", DLT_RAW, packet::WithByte(kIpv4Magic, 0, 0x55)},
        {"loopback family 7", DLT_NULL, BsdLoopback(kIpv4Magic, 7, false)},
        // 0x0842 needs the link addresses its report shows.
        {"wake over BSD loopback", DLT_NULL, BsdLoopback(MagicPayload(), kWake, true)},
    };
    for (const LinkCase& c : skipped) {
        std::string text;
        EXPECT_FALSE(Report(c.frame, c.linkType, &text)) << c.name;
    }
}

TEST(FrameReport, EthernetPaddingIsNotPartOfTheDatagram) {
    // Six 0xFF only, padded to the 60-byte minimum: the zeros must not pass for a MAC.
    const Bytes datagram = packet::Datagram(Bytes(6, 0xFF));
    Bytes frame = EthernetFrame(packet::WithByte(datagram, 3, static_cast<unsigned char>(datagram.size())), kIpv4);
    frame.resize(60, 0x00);
    std::string text;
    ASSERT_TRUE(Report(frame, DLT_EN10MB, &text));
    EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " -- -- -- -- -- --");
    EXPECT_EQ(Section(text, "Raw Data ("), "6 bytes):");
}

// Short of the sync stream's end, nothing is reported.
TEST(FrameReport, FramesCutAnywhereReadNothingBeyondTheirLength) {
    const Bytes ipv6Extended = packet::Ipv6Datagram(
        MagicPayload(), 0, packet::Concat(packet::Ipv6Extension(44, 4), packet::Ipv6Fragment(17, 0)));
    const LinkCase cases[] = {
        {"Ethernet", DLT_EN10MB, Tagged(EthernetFrame(kIpv6Magic, kIpv6), {0x8100, 0x8100})},
        {"cooked v1", DLT_LINUX_SLL, CookedV1(kIpv4Magic, kIpv4)},
        {"cooked v2", DLT_LINUX_SLL2, CookedV2(MagicPayload(), kWake)},
        {"loopback", DLT_NULL, BsdLoopback(kIpv6Magic, 10, false)},
        {"raw", DLT_RAW, kIpv4Magic},
        {"IPv6 extension headers", DLT_RAW, ipv6Extended},
    };
    for (const LinkCase& c : cases) {
        std::string text;
        for (std::size_t length = 0; length < c.frame.size() - 96; ++length)
            EXPECT_FALSE(Report(Bytes(c.frame.begin(), c.frame.begin() + static_cast<std::ptrdiff_t>(length)),
                                c.linkType, &text))
                << c.name << " cut at " << length;
    }
}

}  // namespace
