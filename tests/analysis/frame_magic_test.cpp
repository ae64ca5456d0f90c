// Which captured frames get a report on every link type lumora reads, and
// which report: the packet's own, byte for byte, wherever it starts.
#include "analysis/frame_magic.h"
#include "analysis/link_layer.h"

#include "analysis/ipv6_wake.h"
#include "analysis/magic_packet.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace packet;

constexpr int kIpv4 = 0x0800, kWake = 0x0842, kHost = 0, kOutgoing = 4;
constexpr int kLink80211 = 105;  // DLT_IEEE802_11, a link lumora does not read
constexpr unsigned char kHopByHop = 0, kRouting = 43, kFragment = 44, kDestinationOptions = 60, kTcp = 6, kUdp = 17;
const Bytes kIpv4Magic = Datagram(MagicPayload());
const Bytes kIpv6Magic = Ipv6Datagram(MagicPayload());

// The report, from an exact-size copy so the sanitizers catch reads past the
// frame; "" when there is none.
std::string Report(const Bytes& frame, int linkType) {
    const Bytes copy(frame);
    std::vector<char> report(kReportBufferSize);
    const CapturedFrame captured{copy.data(), static_cast<int>(copy.size()), linkType, FixedTime()};
    return FormatFrameReport(report.data(), captured) ? report.data() : "";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

// What each frame below should get. The IPv4 text is the one magic_packet_test
// pins byte for byte; the IPv6 and 0x0842 reports share all but their header.
enum Expected { kIpv4Text, kIpv6Text, kWakeText, kUnicastWakeText, kNoDestinationWakeText, kNothing };

std::vector<std::string> ExpectedTexts() {
    const std::string ipv4 = ReportOf(FormatMagicPacketReportAt, kIpv4Magic);
    const std::string wake =
        "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n"
        "Time received:\r\n\t 03/07/26\t 21:05:03\r\nEthernet Header:\r\n\t|-Source MAC\t:\t02:4C:55:0A:B0:01\r\n"
        "\t|-Destination MAC\t:\tFF:FF:FF:FF:FF:FF\r\n\t|-EtherType\t:\t0x0842\r\n" +
        ipv4.substr(ipv4.find("MAC Address:"));
    return {ipv4,
            Replaced(Replaced(ipv4, "\t192.168.1.20\r", "\t2001:db8::5\r"), "\t192.168.1.255\r", "\tff02::1\r"),
            wake,
            Replaced(wake, "FF:FF:FF:FF:FF:FF", "52:54:00:AB:CD:EF"),
            Replaced(wake, "FF:FF:FF:FF:FF:FF", "--:--:--:--:--:--"),
            ""};
}

struct FrameCase {
    const char* name;
    int linkType;
    Bytes frame;
    Expected expected;
};

const Bytes kSender(kTestSenderMac, kTestSenderMac + 6);
// Hop-by-hop (two units), destination options, then a first fragment.
const Bytes kChain = Join({Ipv6Extension(kDestinationOptions, 2), Ipv6Extension(kFragment), Ipv6Fragment(kUdp, 0)});

// What the end-to-end tests read from capture files (plain Ethernet, one
// cooked header of each kind and a 0x0842 frame behind it, raw IPv4 and IPv6,
// hop-by-hop, a first fragment, ARP, 802.1Q and 802.1ad tags) is pinned there;
// each path stays here too, under the sanitizers and cut at every length (a
// tag's through the tagged 0x0842 frame), and one report that shows a cooked
// header's source.
const FrameCase kFrames[] = {
    {"cooked v1 tagged", kLinkLinuxCooked, CookedV1(Concat({0, 7, 0x86, 0xDD}, kIpv6Magic), 0x8100), kIpv6Text},
    {"IPv6 link", kLinkIpv6, kIpv6Magic, kIpv6Text},
    {"BSD loopback, little-endian", kLinkNull, BsdLoopback(kIpv4Magic, 2, false), kIpv4Text},
    {"BSD loopback, big-endian", kLinkNull, BsdLoopback(kIpv4Magic, 2, true), kIpv4Text},
    {"OpenBSD loopback", kLinkLoop, BsdLoopback(kIpv6Magic, 24, true), kIpv6Text},
    // Extension headers before UDP are stepped over; a later fragment has no UDP header.
    {"IPv6 routing", kLinkRaw, Ipv6Datagram(MagicPayload(), kRouting, Ipv6Extension(kUdp, 3)), kIpv6Text},
    {"IPv6 chain", kLinkRaw, Ipv6Datagram(MagicPayload(), kHopByHop, kChain), kIpv6Text},
    {"IPv6 later fragment", kLinkRaw, Ipv6Datagram(MagicPayload(), kFragment, Ipv6Fragment(kUdp, 185, false)), kNothing},
    {"IPv6 TCP", kLinkRaw, Ipv6Datagram(MagicPayload(), kTcp), kNothing},
    {"IPv6 TCP behind hop-by-hop", kLinkRaw, Ipv6Datagram(MagicPayload(), kHopByHop, Ipv6Extension(kTcp)), kNothing},
    {"IPv6 extension past the end", kLinkRaw,
     WithByte(Ipv6Datagram(MagicPayload(), kHopByHop, Ipv6Extension(kUdp)), 41, 0xFF), kNothing},
    {"IPv6, 0xFF of the address and five", kLinkRaw, Ipv6Datagram({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), kNothing},
    {"0x0842 unicast", kLinkEthernet, Join({{0x52, 0x54, 0x00, 0xAB, 0xCD, 0xEF}, kSender, Word(kWake), MagicPayload()}),
     kUnicastWakeText},
    {"0x0842 tagged", kLinkEthernet, Tagged(EthernetFrame(MagicPayload()), {0x8100}), kWakeText},
    // A cooked header keeps no destination.
    {"0x0842 cooked v2 unicast", kLinkLinuxCooked2, CookedV2(MagicPayload(), kWake, kHost), kNoDestinationWakeText},
    {"0x0842, stream broken", kLinkEthernet, EthernetFrame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF}), kNothing},
    // The broadcast destination's 0xFF are header, not payload.
    {"0x0842, five 0xFF", kLinkEthernet, EthernetFrame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), kNothing},
    {"0x0842 over BSD loopback", kLinkNull, BsdLoopback(MagicPayload(), kWake, true), kNothing},
    // What this machine sent is found too; -Q decides whether it is reported.
    {"outgoing cooked", kLinkLinuxCooked, CookedV1(kIpv4Magic, kIpv4, kOutgoing), kIpv4Text},
    {"802.11", kLink80211, EthernetFrame(kIpv4Magic, kIpv4), kNothing},
    {"three tags", kLinkEthernet, Tagged(EthernetFrame(kIpv4Magic, kIpv4), {0x8100, 0x8100, 0x8100}), kNothing},
    {"raw IP of version 5", kLinkRaw, WithByte(kIpv4Magic, 0, 0x55), kNothing},
    {"loopback family 7", kLinkNull, BsdLoopback(kIpv4Magic, 7, false), kNothing},
};

TEST(FrameReport, EachFrameGetsItsPacketsReportOrNone) {
    const std::vector<std::string> texts = ExpectedTexts();
    for (const FrameCase& c : kFrames) EXPECT_EQ(Report(c.frame, c.linkType), texts[c.expected]) << c.name;
}

TEST(FrameReport, EthernetPaddingIsNotPartOfTheDatagram) {
    // Six 0xFF only, padded to the 60-byte minimum: the zeros must not pass for a MAC.
    const Bytes datagram = Datagram(Bytes(6, 0xFF));
    Bytes frame = EthernetFrame(WithByte(datagram, 3, static_cast<unsigned char>(datagram.size())), kIpv4);
    frame.resize(60, 0x00);
    const std::string text = Report(frame, kLinkEthernet);
    EXPECT_EQ(Section(text, "MAC Address:\r\n\t"), " -- -- -- -- -- --");
    EXPECT_EQ(Section(text, "Raw Data ("), "6 bytes):");
}

// Short of the sync stream's end, no frame is reported.
TEST(FrameReport, FramesCutAnywhereReadNothingBeyondTheirLength) {
    for (const FrameCase& c : kFrames)
        for (std::size_t length = 0; c.expected != kNothing && length < c.frame.size() - 96; ++length)
            EXPECT_EQ(Report(Bytes(c.frame.begin(), c.frame.begin() + static_cast<std::ptrdiff_t>(length)), c.linkType),
                      "")
                << c.name << " cut at " << length;
}

}  // namespace
