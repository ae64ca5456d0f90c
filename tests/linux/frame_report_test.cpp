// Which captured frames get a report on every link type lumora reads, the
// IPv6 and 0x0842 reports they get, and where their packet starts.
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
using packet::Ipv6Datagram;
using packet::Ipv6Extension;
using packet::Ipv6Fragment;
using packet::MagicPayload;
using packet::Section;
using packet::Tagged;

constexpr int kIpv4 = 0x0800, kIpv6 = 0x86DD, kWake = 0x0842, kHost = 0, kBroadcast = 1, kOutgoing = 4;
constexpr unsigned char kHopByHop = 0, kRouting = 43, kFragment = 44, kDestinationOptions = 60, kTcp = 6, kUdp = 17;
const Bytes kIpv4Magic = packet::Datagram(MagicPayload());
const Bytes kIpv6Magic = Ipv6Datagram(MagicPayload());

// The report, from an exact-size copy so the sanitizers catch reads past the
// frame; "" when there is none.
std::string Report(const Bytes& frame, int linkType) {
    const Bytes copy(frame);
    std::vector<char> report(kReportBufferSize);
    const CapturedFrame captured{copy.data(), static_cast<int>(copy.size()), linkType, packet::FixedTime()};
    return FormatFrameReport(report.data(), captured) ? report.data() : "";
}

// The IPv4 report of the same payload, which magic_packet_test pins byte for byte.
std::string Ipv4Report(const Bytes& payload) {
    return packet::ReportOf(FormatMagicPacketReportAt, packet::Datagram(payload));
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(FrameReport, Ipv6ReportIsTheIpv4OneWithIpv6Addresses) {
    const Bytes payload = MagicPayload({}, {0xC0, 0xA8, 0x01, 0x02});
    const std::string ipv4 = Ipv4Report(payload);
    EXPECT_EQ(Report(Ipv6Datagram(payload), DLT_RAW),
              Replaced(Replaced(ipv4, "\t192.168.1.20\r", "\t2001:db8::5\r"), "\t192.168.1.255\r", "\tff02::1\r"));
}

TEST(FrameReport, WakeFrameReportShowsTheEthernetHeaderThenWhatEveryReportShows) {
    const Bytes payload = MagicPayload({0x01, 0x02}, {0xC0, 0xA8, 0x01, 0x02, 0x03, 0x04});
    const Bytes sender(packet::kTestSenderMac, packet::kTestSenderMac + 6);
    const Bytes unicast = packet::Join({{0x52, 0x54, 0x00, 0xAB, 0xCD, 0xEF}, sender, packet::Word(kWake), payload});
    const std::string ipv4 = Ipv4Report(payload);
    EXPECT_EQ(Report(unicast, DLT_EN10MB),
              "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n"
              "Time received:\r\n\t 03/07/26\t 21:05:03\r\nEthernet Header:\r\n"
              "\t|-Source MAC\t:\t02:4C:55:0A:B0:01\r\n\t|-Destination MAC\t:\t52:54:00:AB:CD:EF\r\n"
              "\t|-EtherType\t:\t0x0842\r\n" +
                  ipv4.substr(ipv4.find("MAC Address:")));
}

TEST(FrameReport, Ipv6ExtensionHeadersBeforeUdpAreSteppedOver) {
    const std::pair<unsigned char, Bytes> chains[] = {
        {kHopByHop, Ipv6Extension(kUdp)},
        {kRouting, Ipv6Extension(kUdp, 3)},
        {kDestinationOptions, Ipv6Extension(kUdp, 2)},
        {kFragment, Ipv6Fragment(kUdp, 0)},
        {kHopByHop, packet::Join({Ipv6Extension(kDestinationOptions), Ipv6Extension(kRouting),
                                  Ipv6Extension(kFragment), Ipv6Fragment(kUdp, 0)})},
    };
    for (const auto& [first, extensions] : chains) {
        const std::string text = Report(Ipv6Datagram(MagicPayload({0x01}), first, extensions), DLT_RAW);
        EXPECT_EQ(Section(text, "\t|-UDP Length\t:\t"), "111") << int(first);
        EXPECT_EQ(Section(text, "Raw Data (103 bytes):\r\n\t").substr(0, 9), " 01 FF FF") << int(first);
    }
}

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
    const std::string ipv4 = Ipv4Report(MagicPayload());
    const std::string ipv6 = packet::ReportOf(FormatIpv6MagicPacketReportAt, kIpv6Magic);
    for (const auto& [c, v6] : cases) EXPECT_EQ(Report(c.frame, c.linkType), v6 ? ipv6 : ipv4) << c.name;
}

TEST(FrameReport, WakeFramesShowTheAddressesTheLinkRecorded) {
    const std::pair<LinkCase, std::string> cases[] = {
        {{"Ethernet", DLT_EN10MB, EthernetFrame(MagicPayload())}, "FF:FF:FF:FF:FF:FF"},
        {{"tagged", DLT_EN10MB, Tagged(EthernetFrame(MagicPayload()), {0x8100})}, "FF:FF:FF:FF:FF:FF"},
        {{"cooked broadcast", DLT_LINUX_SLL, CookedV1(MagicPayload(), kWake, kBroadcast)}, "FF:FF:FF:FF:FF:FF"},
        // A cooked header keeps no destination.
        {{"cooked v2 unicast", DLT_LINUX_SLL2, CookedV2(MagicPayload(), kWake, kHost)}, "--:--:--:--:--:--"},
    };
    for (const auto& [c, destination] : cases) {
        const std::string text = Report(c.frame, c.linkType);
        EXPECT_EQ(Section(text, "\t|-Source MAC\t:\t"), "02:4C:55:0A:B0:01") << c.name;
        EXPECT_EQ(Section(text, "\t|-Destination MAC\t:\t"), destination) << c.name;
        EXPECT_EQ(Section(text, "Raw Data ("), "102 bytes):") << c.name;
    }
}

TEST(FrameReport, OnlyIncomingMagicPacketsAreReported) {
    const LinkCase skipped[] = {
        {"outgoing cooked", DLT_LINUX_SLL, CookedV1(kIpv4Magic, kIpv4, kOutgoing)},
        {"outgoing cooked v2", DLT_LINUX_SLL2, CookedV2(kIpv4Magic, kIpv4, kOutgoing)},
        {"802.11", DLT_IEEE802_11, EthernetFrame(kIpv4Magic, kIpv4)},
        {"ARP", DLT_EN10MB, EthernetFrame(kIpv4Magic, 0x0806)},
        {"three tags", DLT_EN10MB, Tagged(EthernetFrame(kIpv4Magic, kIpv4), {0x8100, 0x8100, 0x8100})},
        {"raw IP of version 5", DLT_RAW, packet::WithByte(kIpv4Magic, 0, 0x55)},
        {"loopback family 7", DLT_NULL, BsdLoopback(kIpv4Magic, 7, false)},
        {"wake over BSD loopback", DLT_NULL, BsdLoopback(MagicPayload(), kWake, true)},
        {"0x0842, no stream", DLT_EN10MB, EthernetFrame(Bytes(102, 0x42))},
        {"0x0842, stream broken", DLT_EN10MB, EthernetFrame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF})},
        // The broadcast destination's 0xFF are header, not payload.
        {"0x0842, empty", DLT_EN10MB, EthernetFrame({})},
        {"0x0842, five 0xFF", DLT_EN10MB, EthernetFrame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"IPv6 TCP", DLT_RAW, Ipv6Datagram(MagicPayload(), kTcp)},
        {"IPv6 TCP behind hop-by-hop", DLT_RAW, Ipv6Datagram(MagicPayload(), kHopByHop, Ipv6Extension(kTcp))},
        // A later fragment has no UDP header to show.
        {"IPv6 later fragment", DLT_RAW, Ipv6Datagram(MagicPayload(), kFragment, Ipv6Fragment(kUdp, 185, false))},
        {"IPv6, no stream", DLT_RAW, Ipv6Datagram(Bytes(102, 0x42))},
        {"IPv6, five 0xFF after the address's", DLT_RAW, Ipv6Datagram({0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"IPv6 extension past the end", DLT_RAW,
         packet::WithByte(Ipv6Datagram(MagicPayload(), kHopByHop, Ipv6Extension(kUdp)), 41, 0xFF)},
    };
    for (const LinkCase& c : skipped) EXPECT_EQ(Report(c.frame, c.linkType), "") << c.name;
}

TEST(FrameReport, EthernetPaddingIsNotPartOfTheDatagram) {
    // Six 0xFF only, padded to the 60-byte minimum: the zeros must not pass for a MAC.
    const Bytes datagram = packet::Datagram(Bytes(6, 0xFF));
    Bytes frame = EthernetFrame(packet::WithByte(datagram, 3, static_cast<unsigned char>(datagram.size())), kIpv4);
    frame.resize(60, 0x00);
    const std::string text = Report(frame, DLT_EN10MB);
    EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " -- -- -- -- -- --");
    EXPECT_EQ(Section(text, "Raw Data ("), "6 bytes):");
}

// Short of the sync stream's end, nothing is reported.
TEST(FrameReport, FramesCutAnywhereReadNothingBeyondTheirLength) {
    const LinkCase cases[] = {
        {"Ethernet", DLT_EN10MB, Tagged(EthernetFrame(kIpv6Magic, kIpv6), {0x8100, 0x8100})},
        {"cooked v1", DLT_LINUX_SLL, CookedV1(kIpv4Magic, kIpv4)},
        {"cooked v2", DLT_LINUX_SLL2, CookedV2(MagicPayload(), kWake)},
        {"loopback", DLT_NULL, BsdLoopback(kIpv6Magic, 10, false)},
        {"raw", DLT_RAW, kIpv4Magic},
        {"IPv6 extension headers", DLT_RAW,
         Ipv6Datagram(MagicPayload(), kHopByHop, packet::Concat(Ipv6Extension(kFragment, 4), Ipv6Fragment(kUdp, 0)))},
    };
    for (const LinkCase& c : cases)
        for (std::size_t length = 0; length < c.frame.size() - 96; ++length)
            EXPECT_EQ(Report(Bytes(c.frame.begin(), c.frame.begin() + static_cast<std::ptrdiff_t>(length)), c.linkType),
                      "")
                << c.name << " cut at " << length;
}

}  // namespace
