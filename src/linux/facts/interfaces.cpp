// The interfaces of this network namespace from getifaddrs(): names,
// indexes, MACs, IPv4 subnets and whether each has a global IPv6 address.
#include "linux/facts/system_facts.h"

#include "linux/capture/diagnostics.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

// machine_facts.h is portable, so it spells the kernel's values out itself.
static_assert(kInterfaceNameSize == IFNAMSIZ, "IFNAMSIZ");

namespace {

constexpr char kLabelSeparator = ':';
constexpr unsigned char kNoMac[kHardwareAddressLength] = {};

// The interface an entry belongs to. getifaddrs() lists an IPv4 address
// under its label (eth0:1); the kernel allows no ':' in interface names, so
// what precedes one is the interface.
bool BaseName(const char* entryName, char (&name)[kInterfaceNameSize]) {
    if (entryName == nullptr) return false;
    const std::size_t length = strnlen(entryName, kInterfaceNameSize);
    const void* separator = std::memchr(entryName, kLabelSeparator, length);
    const std::size_t baseLength =
        separator != nullptr ? static_cast<std::size_t>(static_cast<const char*>(separator) - entryName) : length;
    if (baseLength == 0 || baseLength >= sizeof name) return false;
    std::memcpy(name, entryName, baseLength);
    name[baseLength] = '\0';
    return true;
}

bool IsLink(const ifaddrs& entry) { return entry.ifa_addr != nullptr && entry.ifa_addr->sa_family == AF_PACKET; }

LocalInterface* AddInterface(const ifaddrs& entry, const char (&name)[kInterfaceNameSize],
                             LocalInterfaces* interfaces) {
    if (interfaces->count >= kMaxLocalInterfaces) return nullptr;
    LocalInterface* added = &interfaces->items[interfaces->count++];
    *added = {};
    std::memcpy(added->name, name, sizeof added->name);
    // A link entry carries the index itself.
    if (!IsLink(entry)) added->index = static_cast<int>(if_nametoindex(name));
    added->up = (entry.ifa_flags & IFF_UP) != 0;
    added->loopback = (entry.ifa_flags & IFF_LOOPBACK) != 0;
    added->hasDevice = HasDevice(name);
    added->card.read = CardRead::kUnknown;
    added->card.deviceWakeup = DeviceWakeup::kNone;
    return added;
}

LocalInterface* FindOrAdd(const ifaddrs& entry, LocalInterfaces* interfaces) {
    char name[kInterfaceNameSize];
    if (!BaseName(entry.ifa_name, name)) return nullptr;
    for (int i = 0; i < interfaces->count; ++i)
        if (std::strncmp(interfaces->items[i].name, name, sizeof name) == 0) return &interfaces->items[i];
    return AddInterface(entry, name, interfaces);
}

bool IsEthernetLike(const sockaddr_ll& link) {
    const bool ethernetType = link.sll_hatype == ARPHRD_ETHER || link.sll_hatype == ARPHRD_IEEE802;
    return ethernetType && link.sll_halen == kHardwareAddressLength &&
           std::memcmp(link.sll_addr, kNoMac, kHardwareAddressLength) != 0;
}

void ReadLink(const sockaddr_ll& link, LocalInterface* interface) {
    interface->index = link.sll_ifindex;
    if (!IsEthernetLike(link)) return;
    std::memcpy(interface->mac, link.sll_addr, kHardwareAddressLength);
    interface->hasMac = true;
}

// 0 when the entry holds no IPv4 address there.
std::uint32_t Ipv4HostOrder(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) return 0;
    return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

void AddSubnet(const ifaddrs& entry, LocalInterface* interface) {
    if (interface->subnetCount >= kMaxSubnetsPerInterface) return;
    Ipv4Subnet& subnet = interface->subnets[interface->subnetCount++];
    subnet.address = Ipv4HostOrder(entry.ifa_addr);
    subnet.netmask = Ipv4HostOrder(entry.ifa_netmask);
    subnet.broadcast = 0;
    // Without IFF_BROADCAST the same field holds a point-to-point peer.
    if ((entry.ifa_flags & IFF_BROADCAST) == 0) return;
    // Where the kernel holds no broadcast (an address added without brd),
    // glibc puts the address itself there.
    const std::uint32_t broadcast = Ipv4HostOrder(entry.ifa_broadaddr);
    if (broadcast != subnet.address) subnet.broadcast = broadcast;
}

void NoteIpv6(const sockaddr* address, LocalInterface* interface) {
    const in6_addr& ip = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (!IN6_IS_ADDR_LINKLOCAL(&ip)) interface->hasIpv6 = true;
}

void AddEntry(const ifaddrs& entry, LocalInterfaces* interfaces) {
    LocalInterface* interface = FindOrAdd(entry, interfaces);
    if (interface == nullptr || entry.ifa_addr == nullptr) return;
    switch (entry.ifa_addr->sa_family) {
    case AF_PACKET:
        ReadLink(*reinterpret_cast<const sockaddr_ll*>(entry.ifa_addr), interface);
        break;
    case AF_INET:
        AddSubnet(entry, interface);
        break;
    case AF_INET6:
        NoteIpv6(entry.ifa_addr, interface);
        break;
    default:
        break;
    }
}

const LocalInterface* FindSame(const LocalInterfaces& interfaces, const LocalInterface& wanted) {
    for (int i = 0; i < interfaces.count; ++i) {
        const LocalInterface& candidate = interfaces.items[i];
        if (candidate.index == wanted.index && std::strncmp(candidate.name, wanted.name, kInterfaceNameSize) == 0)
            return &candidate;
    }
    return nullptr;
}

}  // namespace

bool ReadLocalInterfaces(LocalInterfaces* interfaces) {
    *interfaces = {};
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        PrintMessage("cannot read the interfaces: %s", std::strerror(errno));
        return false;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) AddEntry(*entry, interfaces);
    freeifaddrs(list);
    return true;
}

void CarryCardStates(const LocalInterfaces& from, LocalInterfaces* to) {
    for (int i = 0; i < to->count; ++i) {
        const LocalInterface* earlier = FindSame(from, to->items[i]);
        if (earlier != nullptr) to->items[i].card = earlier->card;
    }
}
