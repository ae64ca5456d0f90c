// Reads the link-layer header in front of a captured packet: where the
// network header starts, its EtherType, and what the header records of the
// frame's addressing (MACs, a cooked header's packet type and interface, the
// outer VLAN tag).
#include "analysis/link_layer.h"

#include "analysis/ethernet_wake.h"
#include "analysis/frame_fields.h"

#include <cstdint>

namespace {

using namespace frame_fields;

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

}  // namespace

bool IsSupportedLinkType(int linkType) {
    switch (linkType) {
        case kLinkEthernet:
        case kLinkLinuxCooked:
        case kLinkLinuxCooked2:
        case kLinkRaw:
        case kLinkIpv4:
        case kLinkIpv6:
        case kLinkNull:
        case kLinkLoop:
            return true;
        default:
            return false;
    }
}

bool ReadLinkLayer(const unsigned char* bytes, int length, int linkType, LinkView* view) {
    switch (linkType) {
        case kLinkEthernet:
            return ReadEthernet(bytes, length, view);
        case kLinkLinuxCooked:
            return ReadCooked(bytes, length, false, view);
        case kLinkLinuxCooked2:
            return ReadCooked(bytes, length, true, view);
        case kLinkRaw:
        case kLinkIpv4:
        case kLinkIpv6:
            return ReadRawIp(bytes, length, view);
        case kLinkNull:
        case kLinkLoop:
            return ReadBsdLoopback(bytes, length, view);
        default:
            return false;
    }
}

bool IsGroupAddressed(const LinkView& view) {
    if (view.destination != nullptr) return (view.destination[0] & kMacGroupBit) != 0;
    return view.packetType == LinkPacketType::kBroadcast || view.packetType == LinkPacketType::kMulticast;
}
