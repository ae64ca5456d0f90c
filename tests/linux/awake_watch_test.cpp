// Did it wake: which frames are signs of a running system.
#include "analysis/wake_signs.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using packet::Bytes;
const unsigned char* const kSource6 = packet::kTestSource6;

constexpr int kIpv4 = 0x0800, kIpv6 = 0x86DD, kArp = 0x0806;
const Bytes kHere = {10, 0, 0, 2}, kRouter = {10, 0, 0, 1}, kUnspecified = {0, 0, 0, 0};

// The builder leaves the IPv4 total length 0; captured datagrams carry theirs.
Bytes Sized(Bytes d) {
    d[2] = static_cast<unsigned char>(d.size() >> 8), d[3] = static_cast<unsigned char>(d.size());
    return d;
}

struct SignCase {
    const char* name;
    int etherType;
    Bytes bytes;
    const char* code;  // "": no sign
    const char* text;
    int family;  // of the source it names
};

const SignCase kSignCases[] = {
    {"DHCP request", kIpv4, Sized(packet::Dhcp(1)), "dhcp", "DHCP request", 4},
    {"TCP", kIpv4, Sized(packet::Datagram(Bytes(20, 0), 80, 6)), "ipv4", "IPv4 traffic", 4},
    {"UDP magic packet", kIpv4, Sized(packet::Datagram(packet::MagicPayload())), "", "", 0},
    {"ARP request", kArp, packet::Arp(1, kHere, kRouter), "arp", "ARP request", 0},
    {"ARP announcement", kArp, packet::Arp(1, kHere, kHere), "arp", "ARP announcement", 0},
    {"ARP probe", kArp, packet::Arp(1, kUnspecified, kHere), "arp", "ARP probe", 0},
    {"ARP reply, as offload sends it", kArp, packet::Arp(2, kHere, kRouter), "", "", 0},
    {"router solicitation", kIpv6, packet::Ipv6Packet(58, {}, packet::Icmpv6(133)), "ipv6-nd",
     "IPv6 router solicitation", 6},
    {"neighbour solicitation", kIpv6, packet::Ipv6Packet(58, {}, packet::Icmpv6(135)), "ipv6-nd",
     "IPv6 neighbour solicitation", 6},
    {"neighbour advertisement, as offload sends it", kIpv6, packet::Ipv6Packet(58, {}, packet::Icmpv6(136)), "",
     "", 0},
    {"MLDv2 report behind hop-by-hop", kIpv6, packet::Ipv6Packet(0, packet::Ipv6Extension(58), packet::Icmpv6(143)),
     "ipv6-mld", "IPv6 multicast listener report", 6},
    {"MLDv1 done behind hop-by-hop", kIpv6, packet::Ipv6Packet(0, packet::Ipv6Extension(58), packet::Icmpv6(132)),
     "ipv6-mld", "IPv6 multicast listener done", 6},
    {"UDP over IPv6", kIpv6, packet::Ipv6Datagram(Bytes(20, 0x11)), "ipv6", "IPv6 traffic", 6},
    {"IPv6 magic packet behind hop-by-hop", kIpv6,
     packet::Ipv6Datagram(packet::MagicPayload(), 0, packet::Ipv6Extension(packet::kNextUdp)), "", "", 0},
    {"0x0842 magic packet", 0x0842, packet::MagicPayload(), "", "", 0},
    {"LLDP", 0x88CC, Bytes(46, 0x02), "", "", 0},
    {"PAUSE", 0x8808, Bytes(46, 0xFF), "", "", 0},
    {"another EtherType", 0x88B5, Bytes(46, 0), "other", "other traffic", 0},
};

// Classified from an exact-size heap copy, so the sanitizers see any read past it.
WakeSign Classify(const SignCase& c, std::size_t length, WakeSignSource* source) {
    const Bytes copy(c.bytes.begin(), c.bytes.begin() + static_cast<long>(length));
    return ClassifyWakeSign(c.etherType, copy.empty() ? nullptr : copy.data(), static_cast<int>(length), source);
}

TEST(WakeSigns, EachFrame) {
    for (const SignCase& c : kSignCases) {
        SCOPED_TRACE(c.name);
        WakeSignSource source{};
        const WakeSignInfo& info = WakeSignInfoOf(Classify(c, c.bytes.size(), &source));
        EXPECT_STREQ(info.code, c.code);
        EXPECT_STREQ(info.text, c.text);
        if (c.family == 0) continue;
        EXPECT_EQ(source.family, c.family);
        const Bytes expected = c.family == 4 ? Bytes{192, 168, 1, 20} : Bytes(kSource6, kSource6 + 16);
        EXPECT_EQ(Bytes(source.address, source.address + expected.size()), expected);
    }
}

// A cut frame may lose its sign, never gain one: a card's cut reply is no
// sign of a running system, nor is a cut magic packet.
TEST(WakeSigns, CutShortIsItsOwnSignOrNone) {
    for (const SignCase& c : kSignCases) {
        for (std::size_t length = 0; length < c.bytes.size(); ++length) {
            SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(length));
            WakeSignSource source{};
            const std::string code = WakeSignInfoOf(Classify(c, length, &source)).code;
            EXPECT_TRUE(code.empty() || code == c.code) << code;
        }
    }
}

}  // namespace
