// The link-layer headers lumora reads frames behind: Ethernet with up to two
// VLAN tags, Linux cooked v1 and v2, raw IP and BSD loopback. Portable: the
// link types are libpcap's DLT_ numbers spelled out here, and the capture
// code holds them to libpcap's own.
#pragma once

#include <cstdint>

inline constexpr int kLinkNull = 0;            // DLT_NULL: BSD loopback, the capturing host's byte order
inline constexpr int kLinkEthernet = 1;        // DLT_EN10MB
inline constexpr int kLinkRaw = 12;            // DLT_RAW (Linux's number)
inline constexpr int kLinkLoop = 108;          // DLT_LOOP: BSD loopback, network byte order
inline constexpr int kLinkLinuxCooked = 113;   // DLT_LINUX_SLL
inline constexpr int kLinkIpv4 = 228;          // DLT_IPV4
inline constexpr int kLinkIpv6 = 229;          // DLT_IPV6
inline constexpr int kLinkLinuxCooked2 = 276;  // DLT_LINUX_SLL2

inline constexpr int kNoEtherType = -1;
inline constexpr int kNoVlan = -1;

// What a Linux cooked header says in place of the destination MAC.
enum class LinkPacketType : std::uint8_t {
    kNotRecorded,
    kToThisHost,  // to the receiving interface's own MAC
    kBroadcast,
    kMulticast,
    kOtherHost,   // to a MAC that is not the receiving interface's
};

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

bool IsSupportedLinkType(int linkType);

// Reads the link-layer header of a frame of `linkType`, bytes[0, length);
// false when the link type is not one of the above or the header is cut
// short. Reads no byte at or past `length`; view->offset may pass it.
bool ReadLinkLayer(const unsigned char* bytes, int length, int linkType, LinkView* view);

// Whether the frame went to a broadcast or multicast address, by its
// destination MAC or, where the header records none, its packet type.
bool IsGroupAddressed(const LinkView& view);
