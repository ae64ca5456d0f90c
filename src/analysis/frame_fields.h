// Field readers and header constants shared by the reports and by lumora's
// frame dispatch, so each header is read one way only. Portable and
// header-only.
#pragma once

#include "base/mac_text.h"

namespace frame_fields {

inline constexpr int kEtherTypeLength = 2;
inline constexpr int kEtherTypeIpv4 = 0x0800;
inline constexpr int kEtherTypeIpv6 = 0x86DD;
inline constexpr int kVlanTagLength = 4;  // TCI, then the next EtherType
inline constexpr int kVlanTciLength = 2;
inline constexpr int kMaxVlanTags = 2;    // 802.1Q, or 802.1ad with an inner 802.1Q tag
inline constexpr int kVlanTypes[] = {0x8100, 0x88A8, 0x9100};

inline constexpr int kIpv4MinHeaderLength = 20;  // addresses end at byte 19
inline constexpr int kIpv4TotalLengthOffset = 2;
inline constexpr int kIpv4ProtocolOffset = 9;
inline constexpr int kIpv4SourceOffset = 12;
inline constexpr int kIpv4DestinationOffset = 16;
inline constexpr int kIpv4IhlMask = 0x0F;
inline constexpr int kIpv4BytesPerIhlWord = 4;

inline constexpr int kIpv6HeaderLength = 40;
inline constexpr int kIpv6PayloadLengthOffset = 4;
inline constexpr int kIpv6NextHeaderOffset = 6;
inline constexpr int kIpv6SourceOffset = 8;
inline constexpr int kIpv6DestinationOffset = 24;

inline constexpr unsigned char kProtocolUdp = 17;
inline constexpr int kUdpSourcePortOffset = 0;
inline constexpr int kUdpDestinationPortOffset = 2;
inline constexpr int kUdpLengthOffset = 4;
inline constexpr int kUdpChecksumOffset = 6;
inline constexpr int kUdpHeaderLength = 8;

inline constexpr int kIpVersionShift = 4;  // the version is the first byte's high nibble
inline constexpr int kIpv4Version = 4;
inline constexpr int kIpv6Version = 6;

// ARP (RFC 826): hardware and protocol address lengths, then the operation.
inline constexpr int kEtherTypeArp = 0x0806;
inline constexpr int kArpHardwareLengthOffset = 4;
inline constexpr int kArpProtocolLengthOffset = 5;
inline constexpr int kArpOperationOffset = 6;
inline constexpr int kArpAddressesOffset = 8;  // the sender's hardware address, then its protocol address
inline constexpr int kArpRequest = 1;

inline constexpr unsigned char kIcmpv6 = 58;
inline constexpr unsigned char kNeighbourSolicitation = 135;
inline constexpr unsigned char kNeighbourAdvertisement = 136;  // what a card's NS offload answers

// DHCP (RFC 2131) over BOOTP.
inline constexpr int kDhcpServerPort = 67;
inline constexpr int kDhcpClientPort = 68;
inline constexpr unsigned char kBootRequest = 1;

inline int ReadWord(const unsigned char* at) {
    return (at[0] << 8) | at[1];  // network byte order
}

inline bool IsVlanTag(int etherType) {
    for (const int tag : kVlanTypes)
        if (etherType == tag) return true;
    return false;
}

// Steps over up to two VLAN tags: `etherType` is the type read just before
// `offset`, and both move on past each tag. False when a tag is cut short.
inline bool SkipVlanTags(const unsigned char* bytes, int length, int* etherType, int* offset) {
    for (int tags = 0; tags < kMaxVlanTags && IsVlanTag(*etherType); ++tags) {
        if (*offset + kVlanTagLength > length) return false;
        *etherType = ReadWord(bytes + *offset + kVlanTciLength);
        *offset += kVlanTagLength;
    }
    return true;
}

}  // namespace frame_fields
