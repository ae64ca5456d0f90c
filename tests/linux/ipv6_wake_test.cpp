// The IPv6 report: the IPv4 report's shape, IPv6 address text, and the
// extension headers a sender may put before UDP.
#include "analysis/ipv6_wake.h"

#include "analysis/magic_packet.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using packet::Bytes;
using packet::Ipv6Datagram;
using packet::Ipv6Extension;
using packet::Ipv6Fragment;
using packet::MagicPayload;
using packet::Section;

constexpr unsigned char kHopByHop = 0, kRouting = 43, kFragment = 44, kDestinationOptions = 60, kTcp = 6, kUdp = 17;

std::string Report(const Bytes& datagram) { return packet::ReportOf(FormatIpv6MagicPacketReportAt, datagram); }

TEST(Ipv6Report, MulticastPacketWithPasswordGivesTheFullTextByteForByte) {
    const std::string expected =
        "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n"
        "Time received:\r\n\t 03/07/26\t 21:05:03\r\n"
        "UDP Header:\r\n"
        "\t|-Source IP\t:\t2001:db8::5\r\n"
        "\t|-Destination IP\t:\tff02::1\r\n"
        "\t|-Source Port\t:\t50000\r\n"
        "\t|-Destination Port\t:\t9\r\n"
        "\t|-UDP Length\t:\t114\r\n"
        "\t|-UDP Checksum\t:\t43981\r\n"
        "MAC Address:\r\n\t 00 1A 2B 3C 4D 5E\r\n"
        "Pasword:\r\n\t C0 A8 01 02\r\n"
        "Raw Data (106 bytes):\r\n"
        "\t FF FF FF FF FF FF 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n"
        "\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A\r\n"
        "\t 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n"
        "\t 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n"
        "\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A\r\n"
        "\t 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n"
        "\t 00 1A 2B 3C 4D 5E C0 A8 01 02\r\n\r\n";
    EXPECT_EQ(Report(Ipv6Datagram(MagicPayload({}, {0xC0, 0xA8, 0x01, 0x02}))), expected);
}

TEST(Ipv6Report, AddressesAreInStandardText) {
    const std::pair<Bytes, std::string> cases[] = {
        {{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x4C, 0x55, 0xFF, 0xFE, 0, 0, 0x01}, "fe80::4c:55ff:fe00:1"},
        // One zero group stays; the longest run goes, the first of equal runs.
        {{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}, "2001:db8:0:1:1:1:1:1"},
        {{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}, "2001:db8::1:0:0:1"},
        {Bytes(16, 0), "::"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 77, 0, 1}, "::ffff:10.77.0.1"},
    };
    for (const auto& [address, text] : cases)
        EXPECT_EQ(Section(Report(Ipv6Datagram(MagicPayload(), kUdp, {}, address.data())), "\t|-Destination IP\t:\t"),
                  text);
}

TEST(Ipv6Report, ExtensionHeadersBeforeUdpAreSteppedOver) {
    const std::pair<unsigned char, Bytes> chains[] = {
        {kHopByHop, Ipv6Extension(kUdp)},
        {kRouting, Ipv6Extension(kUdp, 3)},
        {kDestinationOptions, Ipv6Extension(kUdp, 2)},
        {kFragment, Ipv6Fragment(kUdp, 0)},
        {kHopByHop, packet::Join({Ipv6Extension(kDestinationOptions), Ipv6Extension(kRouting),
                                  Ipv6Extension(kFragment), Ipv6Fragment(kUdp, 0)})},
    };
    for (const auto& [first, extensions] : chains) {
        const std::string text =
            Report(Ipv6Datagram(MagicPayload({0x01}), first, extensions, packet::kAllNodes6, 40000));
        EXPECT_EQ(Section(text, "\t|-Destination Port\t:\t"), "40000") << int(first);
        EXPECT_EQ(Section(text, "\t|-UDP Length\t:\t"), "111") << int(first);
        EXPECT_EQ(Section(text, "Raw Data (103 bytes):\r\n\t").substr(0, 9), " 01 FF FF") << int(first);
    }
}

TEST(Ipv6Report, OnlyUdpWithASyncStreamInItsPayloadIsReported) {
    const Bytes notReported[] = {
        Ipv6Datagram(MagicPayload(), kTcp),
        Ipv6Datagram(MagicPayload(), kHopByHop, Ipv6Extension(kTcp)),
        // A later fragment has no UDP header to show.
        Ipv6Datagram(MagicPayload(), kFragment, Ipv6Fragment(kUdp, 185, false)),
        Ipv6Datagram(Bytes(102, 0x42)),
        Ipv6Datagram(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),  // the 0xFF of the address are no stream
        // An extension header whose length points past the end.
        packet::WithByte(Ipv6Datagram(MagicPayload(), kHopByHop, Ipv6Extension(kUdp)), 41, 0xFF),
    };
    for (const Bytes& datagram : notReported) {
        std::string text;
        EXPECT_FALSE(packet::FormatCopy(FormatIpv6MagicPacketReportAt, datagram, &text)) << text;
    }
}

}  // namespace
