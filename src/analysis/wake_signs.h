// Did it wake? The frames by which a machine's operating system shows that it
// is running: a system that comes up asks for an address, announces it and
// joins its multicast groups at once, while a sleeping card sends nothing of
// its own. Only what a card answers by itself while the system sleeps (ARP
// replies, neighbour advertisements), its firmware's LLDP, its PAUSE frames
// and magic packets are no sign. Portable, fed every captured frame.
#pragma once

#include <cstdint>

enum class WakeSign : std::uint8_t {
    kNone,                   // no sign of a running system
    kDhcpRequest,            // dhcp: a BOOTREQUEST from port 68 to port 67
    kArpRequest,             // arp
    kArpProbe,               // arp: a request from 0.0.0.0, checking an address is free
    kArpAnnouncement,        // arp: a gratuitous request, sender and target address the same
    kRouterSolicitation,     // ipv6-nd
    kNeighbourSolicitation,  // ipv6-nd
    kListenerReport,         // ipv6-mld: MLDv1 or MLDv2 report
    kListenerDone,           // ipv6-mld
    kIpv4,                   // any other IPv4
    kIpv6,                   // any other IPv6
    kOther,                  // any other EtherType
    kCount,
};

struct WakeSignInfo {
    const char* code;  // stable, for scripts: "dhcp", "ipv6-nd"; "" for kNone
    const char* text;  // for people: "DHCP request"
};

const WakeSignInfo& WakeSignInfoOf(WakeSign sign);

inline constexpr int kWakeSignAddressLength = 16;

// Who sent the sign, as its IP header says.
struct WakeSignSource {
    int family;  // 0 for no IP header (ARP, other), else 4 or 6
    unsigned char address[kWakeSignAddressLength];  // 4 or 16 bytes of it used
};

// What one frame says of its sender: `etherType` is the one after any VLAN
// tags, `bytes` the `length` bytes after them. What cannot be read whole is
// no sign (kNone): a sign must be seen, since a truncated ARP packet or
// neighbour message may be a card's own reply, and a UDP datagram the
// capture holds less of than its IP header says may be a magic packet.
// Fills `source` (family 0 when there is none). Reads no byte at or past
// `length`.
WakeSign ClassifyWakeSign(int etherType, const unsigned char* bytes, int length, WakeSignSource* source);

// The same for a frame the caller has already searched for a magic packet
// and found none in (lumora's dispatch searches every frame): it leaves out
// the one search that reads past the headers, the sync stream in UDP.
WakeSign ClassifyNonMagicFrame(int etherType, const unsigned char* bytes, int length, WakeSignSource* source);
