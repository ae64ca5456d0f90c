// What lumora knows of the machine it runs on when a magic packet arrives:
// its interfaces, their cards' Wake-on-LAN state, and the neighbour entries
// that matter for one packet. Plain data, filled by lumora's own readers of
// the kernel's interfaces and judged by wake_diagnosis; portable, so the
// judgement is tested by tables with no system behind it.
#pragma once

#include <cstdint>

inline constexpr int kInterfaceNameSize = 16;  // the kernel's IFNAMSIZ
inline constexpr int kHardwareAddressLength = 6;
inline constexpr int kIpv6AddressLength = 16;
inline constexpr int kMaxLocalInterfaces = 64;
inline constexpr int kMaxSubnetsPerInterface = 8;
inline constexpr int kMaxNeighbourMatches = 8;
inline constexpr int kMaxNeighbours = 4096;  // a large LAN's; the rest are left out
inline constexpr int kSecureOnLength = 6;
inline constexpr int kDriverNameSize = 32;  // ethtool's driver name

// ethtool's Wake-on-LAN modes, bit for bit as the kernel reports them, and
// the letters ethtool prints for them ("d": none enabled).
inline constexpr std::uint32_t kWakePhy = 1u << 0;          // p
inline constexpr std::uint32_t kWakeUnicast = 1u << 1;      // u
inline constexpr std::uint32_t kWakeMulticast = 1u << 2;    // m
inline constexpr std::uint32_t kWakeBroadcast = 1u << 3;    // b
inline constexpr std::uint32_t kWakeArp = 1u << 4;          // a
inline constexpr std::uint32_t kWakeMagic = 1u << 5;        // g
inline constexpr std::uint32_t kWakeMagicSecure = 1u << 6;  // s
inline constexpr std::uint32_t kWakeFilter = 1u << 7;       // f
inline constexpr char kWakeLetters[] = "pumbagsf";

enum class CardRead : std::uint8_t {
    kUnknown,      // not read: no CAP_NET_ADMIN, or the call failed otherwise
    kUnsupported,  // the driver has no Wake-on-LAN (veth, bridges, most Wi-Fi)
    kRead,         // supported and enabled below hold the card's answer
};

enum class DeviceWakeup : std::uint8_t {
    kNone,  // no power/wakeup flag behind the interface
    kDisabled,
    kEnabled,
};

struct CardState {
    CardRead read;
    std::uint32_t supported;  // kWake* bits
    std::uint32_t enabled;    // kWake* bits
    bool secureOnKnown;       // supported has kWakeMagicSecure and the password was read
    unsigned char secureOn[kSecureOnLength];  // compared only, never printed
    DeviceWakeup deviceWakeup;
    char driver[kDriverNameSize];  // the card's driver ("e1000e", "virtio_net"), terminated; "" unknown
};

struct Ipv4Subnet {
    std::uint32_t address;    // host byte order
    std::uint32_t netmask;    // host byte order
    std::uint32_t broadcast;  // host byte order; 0 when the interface has none
};

struct LocalInterface {
    char name[kInterfaceNameSize];  // terminated
    int index;                      // the kernel's interface index
    unsigned char mac[kHardwareAddressLength];
    bool hasMac;     // an Ethernet-like address (not loopback, tunnels without one)
    bool up;
    bool loopback;
    bool hasDevice;  // /sys/class/net/NAME/device exists: a card, not veth or a bridge
    bool hasIpv6;    // holds an IPv6 address other than link-local
    Ipv4Subnet subnets[kMaxSubnetsPerInterface];
    int subnetCount;
    CardState card;  // read at start-up, while lumora may still read it
};

struct LocalInterfaces {
    LocalInterface items[kMaxLocalInterfaces];
    int count;
};

enum class NeighbourState : std::uint8_t {
    kNone,  // no entry
    kIncomplete,
    kReachable,
    kStale,
    kDelay,
    kProbe,
    kFailed,
    kNoArp,
    kPermanent,
};

struct NeighbourEntry {
    int interfaceIndex;
    int family;  // 4 or 6
    unsigned char address[kIpv6AddressLength];  // IPv4 in the first four bytes
    unsigned char mac[kHardwareAddressLength];
    bool hasMac;  // FAILED and INCOMPLETE entries hold none
    NeighbourState state;
};

// The neighbour entries that matter for one packet: those holding the target
// MAC, and the one for the packet's destination address.
struct NeighbourMatches {
    NeighbourEntry items[kMaxNeighbourMatches];
    int count;
};

struct NeighbourTable {
    NeighbourEntry items[kMaxNeighbours];
    int count;
};
