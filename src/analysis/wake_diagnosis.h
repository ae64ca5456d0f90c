// Would this magic packet wake this machine, and if not, why? The judgement
// made from the frame lumora saw and the facts of the machine it runs on,
// and the readiness of one card on its own (lumora --check). Portable: the
// facts come in as plain data.
#pragma once

#include "analysis/hints.h"
#include "analysis/link_layer.h"
#include "analysis/machine_facts.h"
#include "base/tristate.h"

// How the frame was addressed at the link layer.
enum class Delivery : std::uint8_t {
    kUnknown,        // the capture does not record it
    kBroadcast,
    kTargetUnicast,  // to the target MAC itself
    kOtherUnicast,   // to some other MAC
    kMulticast,
};

// How the IP destination address relates to the receiving interface.
enum class IpDestination : std::uint8_t {
    kNotIp,             // a 0x0842 frame
    kUnknown,           // the receiving interface or its subnets are not known
    kLimitedBroadcast,  // 255.255.255.255
    kSubnetBroadcast,   // the broadcast address of a subnet on the interface
    kOtherSubnet,       // in no subnet on the interface
    kUnicast,
    kMulticast,
};

inline constexpr int kIpv4 = 4;
inline constexpr int kIpv6 = 6;

// What the frame tells, as lumora found it.
struct PacketFacts {
    const unsigned char* targetMac;  // six bytes, or nullptr when the packet ended inside them
    const char* targetMacText;       // as the output shows it
    bool wellFormed;
    const unsigned char* password;  // nullptr: none
    int passwordLength;
    const unsigned char* destinationMac;  // the link header's; nullptr when not recorded
    LinkPacketType packetType;            // when destinationMac is nullptr
    int vlan;                             // the outer tag's id, or kNoVlan
    int ipFamily;                         // 0 (0x0842), kIpv4 or kIpv6
    const unsigned char* ipDestination;   // 4 or 16 bytes
    const char* ipDestinationText;        // as the output shows it
    int receivingIndex;  // the interface it came in on (or left by); 0 when not known
    bool outgoing;       // this machine sent it
    int routePrefix;     // sent IPv4: the prefix length of the route it took; -1 when not known
};

// What the machine tells: nullptr interfaces for a capture file, which may
// come from any machine.
struct MachineView {
    const LocalInterfaces* interfaces;
    const NeighbourMatches* neighbours;  // may be nullptr
};

struct WakeDiagnosis {
    Delivery delivery;
    IpDestination ipDestination;
    int vlan;                    // kNoVlan when untagged
    int targetInterface;         // index into interfaces->items, or -1
    int targetNeighbour;         // index into neighbours->items holding the target MAC, or -1
    Tristate wouldWake;          // kUnknown: another machine's target, a state not known, or sent from here
    int reason;                  // index into hints of why not, or -1
    Hints hints;
};

WakeDiagnosis DiagnoseMagicPacket(const PacketFacts& packet, const MachineView& machine);

// The entries of `table` that hold `mac`, and the one for `destination`
// (family kIpv4 or kIpv6; 0: none), each once, at most kMaxNeighbourMatches.
void MatchNeighbours(const NeighbourTable& table, const unsigned char* mac, int family,
                     const unsigned char* destination, NeighbourMatches* matches);

enum class WakeOnLan : std::uint8_t { kUnknown, kUnsupported, kDisabled, kEnabled };

struct CardReadiness {
    WakeOnLan wakeOnLan;
    Tristate wakesOnMagicPacket;
    Hints hints;
};

// Whether the card behind `interface` would wake the machine on a magic packet.
CardReadiness JudgeCard(const LocalInterface& interface);

// ethtool's letters for `modes` ("pumbg"), "d" for none, into text[0, size).
void FormatWakeModes(std::uint32_t modes, char* text, int size);
