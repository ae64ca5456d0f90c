// Builds the packets the tests feed to Lumora and lumora (magic-packet
// payloads, IPv4 and IPv6 datagrams as a raw socket delivers them, link-layer
// frames) and reads their reports back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>
#include <vector>

#include "analysis/magic_packet.h"

namespace packet {

using Bytes = std::vector<unsigned char>;

constexpr int kIpHeaderLength = 20;
constexpr int kUdpHeaderLength = 8;
constexpr int kMacCopies = 16;
constexpr int kSourcePort = 50000;
constexpr int kChecksum = 43981;
constexpr unsigned char kTestMac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
constexpr unsigned char kTestSenderMac[6] = {0x02, 0x4C, 0x55, 0x0A, 0xB0, 0x01};
constexpr unsigned char kTestSource6[16] = {0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05};
constexpr unsigned char kAllNodes6[16] = {0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
constexpr unsigned char kNextUdp = 17;

inline Bytes Concat(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all = Concat(all, part);
    return all;
}

// A 16-bit field in network order.
inline Bytes Word(int value) { return {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)}; }

// Six 0xFF and `copies` copies of `mac`.
inline Bytes SyncAndCopies(int copies, const unsigned char* mac = kTestMac) {
    Bytes p(6, 0xFF);
    for (int i = 0; i < copies; ++i) p.insert(p.end(), mac, mac + 6);
    return p;
}

// Sixteen copies of the MAC, with an optional prefix and password.
inline Bytes MagicPayload(const Bytes& prefix = {}, const Bytes& password = {},
                          const unsigned char* mac = kTestMac) {
    return Join({prefix, SyncAndCopies(kMacCopies, mac), password});
}

// `copies` copies of kTestMac, then `after` (garbage, a password).
inline Bytes MagicCopies(int copies, const Bytes& after = {}) { return Concat(SyncAndCopies(copies), after); }

// From port 50000, checksum 43981.
inline Bytes UdpHeader(int destPort, int udpLength) {
    return Join({Word(kSourcePort), Word(destPort), Word(udpLength), Word(kChecksum)});
}

// A 20-byte IPv4 header from 192.168.1.20 to 192.168.1.255, the UDP header
// and the payload; udpLength < 0 takes the true length.
inline Bytes Datagram(const Bytes& payload, int destPort = 9, int protocol = 17, int udpLength = -1) {
    if (udpLength < 0) udpLength = kUdpHeaderLength + static_cast<int>(payload.size());
    const Bytes ip = {0x45, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<unsigned char>(protocol), 0, 0,
                      192, 168, 1, 20, 192, 168, 1, 255};
    return Join({ip, UdpHeader(destPort, udpLength), payload});
}

inline std::string Hex(unsigned char byte) { return {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]}; }

// The text between `heading` and the end of its line in a report.
inline std::string Section(const std::string& report, const std::string& heading) {
    const auto at = report.find(heading);
    if (at == std::string::npos) return "";
    const auto end = report.find("\r\n", at + heading.size());
    return report.substr(at + heading.size(), end - at - heading.size());
}

// Splits a log into its reports, each starting at the banner.
inline std::vector<std::string> SplitReports(const std::string& log) {
    const std::string banner = "---------------------------Wake-On-LAN Magic Packet";
    std::vector<std::string> reports;
    for (auto at = log.find(banner), next = at; at != std::string::npos; at = next)
        reports.push_back(log.substr(at, (next = log.find(banner, at + 1)) - at));  // npos - at: the rest
    return reports;
}

// A receive time that pins the report's time line: 03/07/26 21:05:03.
inline std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 2026 - 1900, t.tm_mon = 2, t.tm_mday = 7, t.tm_hour = 21, t.tm_min = 5, t.tm_sec = 3;
    return t;
}

using Formatter = bool (*)(char* report, const unsigned char* bytes, int length, const std::tm& received);

// Formats from an exact-size heap copy, so the sanitizers see any read past
// the packet and any write past the 65,536-byte report buffer.
inline bool FormatCopy(Formatter format, const Bytes& bytes, std::string* text) {
    Bytes copy(bytes);
    std::vector<char> report(kReportBufferSize, 'x');
    if (!format(report.data(), copy.empty() ? nullptr : copy.data(), static_cast<int>(copy.size()), FixedTime()))
        return false;
    const void* end = std::memchr(report.data(), '\0', report.size());
    EXPECT_NE(end, nullptr) << "report not terminated within the buffer";
    if (end != nullptr) text->assign(report.data(), static_cast<std::size_t>(static_cast<const char*>(end) - report.data()));
    return true;
}

// The report of a packet that must be reported.
inline std::string ReportOf(Formatter format, const Bytes& bytes) {
    std::string text;
    EXPECT_TRUE(FormatCopy(format, bytes, &text));
    return text;
}

// An Ethernet header, broadcast from kTestSenderMac, and the payload: the
// frame a packet socket delivers for a 0x0842 wake frame.
inline Bytes EthernetFrame(const Bytes& payload, int etherType = 0x0842) {
    return Join({Bytes(6, 0xFF), Bytes(kTestSenderMac, kTestSenderMac + 6), Word(etherType), payload});
}

// An IPv6 extension header of `units` 8-byte units, naming `next`.
inline Bytes Ipv6Extension(unsigned char next, int units = 1) {
    return Concat({next, static_cast<unsigned char>(units - 1)}, Bytes(static_cast<std::size_t>(units) * 8 - 2, 0));
}

// A fragment header; offset in 8-byte units, 0 for the first fragment.
inline Bytes Ipv6Fragment(unsigned char next, int offset, bool more = true) {
    return Join({{next, 0}, Word((offset << 3) | (more ? 1 : 0)), {0, 0, 0x12, 0x34}});
}

// The fixed IPv6 header (first header `next`), the extension headers, then a
// UDP header to `destPort` and the payload.
inline Bytes Ipv6Datagram(const Bytes& payload, unsigned char next = kNextUdp, const Bytes& extensions = {},
                          const unsigned char* destination = kAllNodes6, int destPort = 9) {
    const int udpLength = kUdpHeaderLength + static_cast<int>(payload.size());
    return Join({{0x60, 0, 0, 0}, Word(static_cast<int>(extensions.size()) + udpLength), {next, 64},
                 Bytes(kTestSource6, kTestSource6 + 16), Bytes(destination, destination + 16), extensions,
                 UdpHeader(destPort, udpLength), payload});
}

// The frame with 802.1Q/802.1ad tags (TPIDs, VLAN 7 each) after its MAC addresses.
inline Bytes Tagged(Bytes frame, const std::vector<int>& tpids) {
    Bytes tags;
    for (int tpid : tpids) tags = Join({tags, Word(tpid), {0, 7}});
    frame.insert(frame.begin() + 12, tags.begin(), tags.end());
    return frame;
}

// Linux cooked headers (v1: 16 bytes, v2: 20) before a packet of `protocol`,
// sent by kTestSenderMac; packet type 0 host, 1 broadcast, 4 outgoing.
inline Bytes CookedV1(const Bytes& packet, int protocol, int packetType = 1) {
    return Join({{0, static_cast<unsigned char>(packetType), 0, 1, 0, 6}, Bytes(kTestSenderMac, kTestSenderMac + 6),
                 {0, 0}, Word(protocol), packet});
}

inline Bytes CookedV2(const Bytes& packet, int protocol, int packetType = 1) {
    return Join({Word(protocol), {0, 0, 0, 0, 0, 2, 0, 1, static_cast<unsigned char>(packetType), 6},
                 Bytes(kTestSenderMac, kTestSenderMac + 6), {0, 0}, packet});
}

// BSD loopback: the address family in four bytes, big- or little-endian.
inline Bytes BsdLoopback(const Bytes& packet, unsigned family, bool bigEndian) {
    const unsigned char low = static_cast<unsigned char>(family);
    return Concat(bigEndian ? Bytes{0, 0, 0, low} : Bytes{low, 0, 0, 0}, packet);
}

// An IPv6 packet from kTestSource6 to `destination` whose first header is
// `next`: the extension headers, then the upper-layer bytes as given.
inline Bytes Ipv6Packet(unsigned char next, const Bytes& extensions, const Bytes& upper,
                        const unsigned char* destination = kAllNodes6) {
    return Join({{0x60, 0, 0, 0}, Word(static_cast<int>(extensions.size() + upper.size())), {next, 255},
                 Bytes(kTestSource6, kTestSource6 + 16), Bytes(destination, destination + 16), extensions, upper});
}

// An ICMPv6 message of `type`, code and checksum 0, with a zero body (room
// for a solicitation's target or a report's first record).
inline Bytes Icmpv6(unsigned char type) { return Concat({type, 0, 0, 0}, Bytes(20, 0)); }

// An Ethernet/IPv4 ARP packet from kTestMac.
inline Bytes Arp(int operation, const Bytes& senderIp, const Bytes& targetIp) {
    return Join({{0, 1, 8, 0, 6, 4}, Word(operation), Bytes(kTestMac, kTestMac + 6), senderIp, Bytes(6, 0), targetIp});
}

// A DHCP message with BOOTP op `op` (1: BOOTREQUEST), from port 68 to port
// 67 over IPv4: the fixed fields, then the magic cookie.
inline Bytes Dhcp(unsigned char op) {
    Bytes d = Datagram(Join({{op, 1, 6, 0}, Bytes(232, 0), {99, 130, 83, 99}}), 67);
    d[kIpHeaderLength] = 0, d[kIpHeaderLength + 1] = 68;
    return d;
}

// The bytes with the one at `at` set to `value`: a field the builders leave alone.
inline Bytes WithByte(Bytes bytes, std::size_t at, unsigned char value) {
    bytes[at] = value;
    return bytes;
}

}  // namespace packet
