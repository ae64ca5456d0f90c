#include "linux/frame_report.h"

#include "analysis/ethernet_wake.h"
#include "analysis/frame_fields.h"
#include "analysis/ipv6_wake.h"
#include "analysis/magic_packet.h"
#include "analysis/report_writer.h"

#include <arpa/inet.h>
#include <pcap/dlt.h>

#include <cstdint>

namespace {

using namespace frame_fields;

constexpr int kNoEtherType = -1;

// Linux cooked headers: v1 is 16 bytes, v2 20.
constexpr int kCookedV1Length = 16;
constexpr int kCookedV1PacketType = 0;
constexpr int kCookedV1AddressLength = 4;
constexpr int kCookedV1Address = 6;
constexpr int kCookedV1Protocol = 14;
constexpr int kCookedV2Length = 20;
constexpr int kCookedV2Protocol = 0;
constexpr int kCookedV2InterfaceIndex = 4;
constexpr int kCookedV2PacketType = 10;
constexpr int kCookedV2AddressLength = 11;
constexpr int kCookedV2Address = 12;
constexpr int kPacketHost = 0;       // the kernel's PACKET_HOST
constexpr int kPacketBroadcast = 1;  // PACKET_BROADCAST
constexpr int kPacketMulticast = 2;  // PACKET_MULTICAST
constexpr int kPacketOtherHost = 3;  // PACKET_OTHERHOST
constexpr int kPacketOutgoing = 4;   // PACKET_OUTGOING
constexpr int kVlanIdMask = 0x0FFF;
const unsigned char kBroadcastMac[kMacLength] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// BSD loopback: a 4-byte address family, in the capturing host's byte order
// (DLT_NULL) or in network order (DLT_LOOP).
constexpr int kLoopbackHeaderLength = 4;
constexpr int kBitsPerByte = 8;
constexpr int kLongLength = 4;
constexpr std::uint32_t kSwappedFamilyMask = 0xFFFF0000;
constexpr std::uint32_t kFamilyInet = 2;
constexpr std::uint32_t kFamiliesInet6[] = {10, 24, 28, 30};  // Linux, Net/OpenBSD, FreeBSD, macOS

constexpr int kIpVersionShift = 4;
constexpr int kIpv4Version = 4;
constexpr int kIpv6Version = 6;

// What the link layer says about the packet it carries.
struct LinkView {
    int etherType = kNoEtherType;
    int offset = 0;  // where the network header starts
    const unsigned char* destination = nullptr;
    const unsigned char* source = nullptr;
    LinkPacketType packetType = LinkPacketType::kNotRecorded;
    int vlan = kNoVlan;
    int interfaceIndex = 0;
    bool outgoing = false;  // a cooked header says this machine sent it
};


// Four bytes in network order.
std::uint32_t ReadLong(const unsigned char* at) {
    std::uint32_t value = 0;
    for (int i = 0; i < kLongLength; ++i) value = (value << kBitsPerByte) | at[i];
    return value;
}

// Up to two VLAN tags, which libpcap puts back in the frame when the kernel
// had taken them out. False when a tag is cut short.
bool SkipVlanTags(const unsigned char* bytes, int length, LinkView* view) {
    if (IsVlanTag(view->etherType) && view->offset + kVlanTciLength <= length)
        view->vlan = ReadWord(bytes + view->offset) & kVlanIdMask;
    return frame_fields::SkipVlanTags(bytes, length, &view->etherType, &view->offset);
}

bool ReadEthernet(const unsigned char* bytes, int length, LinkView* view) {
    if (length < kEthernetHeaderLength) return false;
    view->etherType = ReadWord(bytes + kEthernetHeaderLength - kEtherTypeLength);
    view->offset = kEthernetHeaderLength;
    view->destination = bytes;
    view->source = bytes + kMacLength;
    return SkipVlanTags(bytes, length, view);
}

LinkPacketType CookedPacketType(int packetType) {
    switch (packetType) {
        case kPacketHost: return LinkPacketType::kToThisHost;
        case kPacketBroadcast: return LinkPacketType::kBroadcast;
        case kPacketMulticast: return LinkPacketType::kMulticast;
        case kPacketOtherHost: return LinkPacketType::kOtherHost;
        default: return LinkPacketType::kNotRecorded;
    }
}

// A cooked header records the sender's address and how the frame was
// addressed (broadcast, multicast, to this host), not the destination address.
void ReadCookedAddresses(const unsigned char* bytes, int packetType, int addressLength, int address,
                         LinkView* view) {
    view->source = addressLength == kMacLength ? bytes + address : nullptr;
    view->destination = packetType == kPacketBroadcast ? kBroadcastMac : nullptr;
    view->packetType = CookedPacketType(packetType);
}

bool ReadCooked(const unsigned char* bytes, int length, bool version2, LinkView* view) {
    const int header = version2 ? kCookedV2Length : kCookedV1Length;
    if (length < header) return false;
    const int packetType = version2 ? bytes[kCookedV2PacketType] : ReadWord(bytes + kCookedV1PacketType);
    view->outgoing = packetType == kPacketOutgoing;
    const int addressLength =
        version2 ? bytes[kCookedV2AddressLength] : ReadWord(bytes + kCookedV1AddressLength);
    ReadCookedAddresses(bytes, packetType, addressLength, version2 ? kCookedV2Address : kCookedV1Address, view);
    view->etherType = ReadWord(bytes + (version2 ? kCookedV2Protocol : kCookedV1Protocol));
    view->offset = header;
    if (version2) view->interfaceIndex = static_cast<int>(ReadLong(bytes + kCookedV2InterfaceIndex));
    return SkipVlanTags(bytes, length, view);
}

int EtherTypeOfVersion(int version) {
    if (version == kIpv4Version) return kEtherTypeIpv4;
    if (version == kIpv6Version) return kEtherTypeIpv6;
    return kNoEtherType;
}

bool ReadRawIp(const unsigned char* bytes, int length, LinkView* view) {
    if (length < 1) return false;
    view->etherType = EtherTypeOfVersion(bytes[0] >> kIpVersionShift);
    return true;
}

int EtherTypeOfFamily(std::uint32_t family) {
    if (family == kFamilyInet) return kEtherTypeIpv4;
    for (const std::uint32_t inet6 : kFamiliesInet6)
        if (family == inet6) return kEtherTypeIpv6;
    return kNoEtherType;
}

// Families are small numbers, so a value with high bits set is the other
// byte order.
bool ReadBsdLoopback(const unsigned char* bytes, int length, LinkView* view) {
    if (length < kLoopbackHeaderLength) return false;
    std::uint32_t family = ReadLong(bytes);
    if ((family & kSwappedFamilyMask) != 0) family = __builtin_bswap32(family);
    view->etherType = EtherTypeOfFamily(family);
    view->offset = kLoopbackHeaderLength;
    return true;
}

bool ReadLink(const CapturedFrame& frame, LinkView* view) {
    switch (frame.linkType) {
        case DLT_EN10MB:
            return ReadEthernet(frame.bytes, frame.length, view);
        case DLT_LINUX_SLL:
            return ReadCooked(frame.bytes, frame.length, false, view);
        case DLT_LINUX_SLL2:
            return ReadCooked(frame.bytes, frame.length, true, view);
        case DLT_RAW:
        case DLT_IPV4:
        case DLT_IPV6:
            return ReadRawIp(frame.bytes, frame.length, view);
        case DLT_NULL:
        case DLT_LOOP:
            return ReadBsdLoopback(frame.bytes, frame.length, view);
        default:
            return false;
    }
}

// Ethernet pads short frames to 60 bytes and some captures keep a trailer:
// the datagram ends where its own header says, as a raw socket would deliver it.
int TrimTo(int declared, int received) { return (declared > 0 && declared < received) ? declared : received; }

int Ipv4Length(const unsigned char* datagram, int received) {
    if (received < kIpv4MinHeaderLength) return received;
    const int total = ReadWord(datagram + kIpv4TotalLengthOffset);
    return total >= kIpv4MinHeaderLength ? TrimTo(total, received) : received;
}

int Ipv6Length(const unsigned char* datagram, int received) {
    if (received < kIpv6HeaderLength) return received;
    const int payload = ReadWord(datagram + kIpv6PayloadLengthOffset);
    return payload == 0 ? received : TrimTo(kIpv6HeaderLength + payload, received);  // 0: a jumbogram
}

bool FindNetworkMagic(const CapturedFrame& frame, const LinkView& view, FrameMagic* magic) {
    const unsigned char* network = frame.bytes + view.offset;
    const int received = frame.length - view.offset;
    UdpMagicPlace at{};
    *magic = FrameMagic{SightingKind::kUdp4, network,   received,           -1,           -1, view.source,
                        view.destination,    view.packetType, view.vlan, view.interfaceIndex, view.outgoing};
    switch (view.etherType) {
        case kEtherTypeIpv4:
            magic->length = Ipv4Length(network, received);
            if (!LocateIpv4MagicPacket(network, magic->length, &at)) return false;
            break;
        case kEtherTypeIpv6:
            magic->kind = SightingKind::kUdp6;
            magic->length = Ipv6Length(network, received);
            if (!LocateIpv6MagicPacket(network, magic->length, &at)) return false;
            break;
        case kEtherTypeWake:
            magic->kind = SightingKind::kEther;
            magic->sync = FindSyncStream(network, 0, received);
            return magic->sync >= 0;
        default:
            return false;
    }
    magic->udp = at.udp;
    magic->sync = at.sync;
    return true;
}

void FormatIpAddress(int family, const unsigned char* at, char* text) {
    if (inet_ntop(family, at, text, kEndpointTextSize) == nullptr) text[0] = '\0';
}

// Both addresses of a UDP magic packet's datagram as text, kEndpointTextSize
// bytes each.
void FormatIpAddresses(const FrameMagic& magic, char* source, char* destination) {
    const bool v6 = magic.kind == SightingKind::kUdp6;
    const int family = v6 ? AF_INET6 : AF_INET;
    FormatIpAddress(family, magic.packet + (v6 ? kIpv6SourceOffset : kIpv4SourceOffset), source);
    FormatIpAddress(family, magic.packet + (v6 ? kIpv6DestinationOffset : kIpv4DestinationOffset), destination);
}

void DescribeUdp(const FrameMagic& magic, Sighting* sighting) {
    FormatIpAddresses(magic, sighting->source, sighting->destination);
    const unsigned char* udp = magic.packet + magic.udp;
    sighting->sourcePort = ReadWord(udp + kUdpSourcePortOffset);
    sighting->destinationPort = ReadWord(udp + kUdpDestinationPortOffset);
    sighting->udpLength = ReadWord(udp + kUdpLengthOffset);
    sighting->udpChecksum = ReadWord(udp + kUdpChecksumOffset);
    sighting->payload = udp + kUdpHeaderLength;
    sighting->payloadLength = magic.length - magic.udp - kUdpHeaderLength;
}

static_assert(kEndpointTextSize >= kMacTextSize, "a MAC fits where an address goes");

void DescribeEther(const FrameMagic& magic, Sighting* sighting) {
    FormatMacAddress(magic.sourceMac, magic.sourceMac != nullptr ? kMacLength : 0, sighting->source);
    FormatMacAddress(magic.destinationMac, magic.destinationMac != nullptr ? kMacLength : 0, sighting->destination);
    sighting->sourcePort = sighting->destinationPort = sighting->udpLength = sighting->udpChecksum = 0;
    sighting->payload = magic.packet;
    sighting->payloadLength = magic.length;
}

}  // namespace

bool IsSupportedLinkType(int linkType) {
    switch (linkType) {
        case DLT_EN10MB:
        case DLT_LINUX_SLL:
        case DLT_LINUX_SLL2:
        case DLT_RAW:
        case DLT_IPV4:
        case DLT_IPV6:
        case DLT_NULL:
        case DLT_LOOP:
            return true;
        default:
            return false;
    }
}

bool FindFrameMagic(const CapturedFrame& frame, FrameMagic* magic) {
    if (frame.bytes == nullptr || frame.length <= 0) return false;
    LinkView view;
    if (!ReadLink(frame, &view) || view.offset > frame.length) return false;
    return FindNetworkMagic(frame, view, magic);
}

void FormatFrameMagicReport(char* report, const FrameMagic& magic, const std::tm& received) {
    if (magic.kind == SightingKind::kEther) {
        FormatWakeFrameReportAt(report, WakeFrame{magic.destinationMac, magic.sourceMac, magic.packet, magic.length},
                                received);
        return;
    }
    char source[kEndpointTextSize];
    char destination[kEndpointTextSize];
    FormatIpAddresses(magic, source, destination);
    report_writer::WriteUdpMagicReport(report, magic.packet, magic.length, magic.udp, magic.sync, source,
                                       destination, received);
}

bool FormatFrameReport(char* report, const CapturedFrame& frame) {
    FrameMagic magic{};
    if (!FindFrameMagic(frame, &magic)) return false;
    FormatFrameMagicReport(report, magic, frame.received);
    return true;
}

void DescribeFrameMagic(const FrameMagic& magic, Sighting* sighting) {
    sighting->kind = magic.kind;
    if (magic.kind == SightingKind::kEther)
        DescribeEther(magic, sighting);
    else
        DescribeUdp(magic, sighting);
    DescribeMagicPacket(magic.packet, magic.sync, magic.length, sighting);
}

PacketFacts PacketFactsOf(const FrameMagic& magic, const Sighting& s, const char* macText) {
    PacketFacts facts{};
    facts.targetMac = s.targetMacBytes == kHardwareAddressLength ? s.targetMac : nullptr;
    facts.targetMacText = macText;
    facts.wellFormed = s.verdict.wellFormed;
    facts.password = s.password;
    facts.passwordLength = s.verdict.passwordLength;
    facts.destinationMac = magic.destinationMac;
    facts.packetType = magic.packetType;
    facts.vlan = magic.vlan;
    facts.ipDestinationText = s.destination;
    facts.receivingIndex = magic.interfaceIndex;
    if (magic.kind == SightingKind::kUdp4) {
        facts.ipFamily = kIpv4;
        facts.ipDestination = magic.packet + kIpv4DestinationOffset;
    } else if (magic.kind == SightingKind::kUdp6) {
        facts.ipFamily = kIpv6;
        facts.ipDestination = magic.packet + kIpv6DestinationOffset;
    }
    return facts;
}
