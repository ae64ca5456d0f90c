#include "linux/facts/system_facts.h"

#include "linux/capture/diagnostics.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/ether.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

// machine_facts.h is portable, so it spells the kernel's values out itself.
static_assert(kWakePhy == WAKE_PHY, "WAKE_PHY");
static_assert(kWakeUnicast == WAKE_UCAST, "WAKE_UCAST");
static_assert(kWakeMulticast == WAKE_MCAST, "WAKE_MCAST");
static_assert(kWakeBroadcast == WAKE_BCAST, "WAKE_BCAST");
static_assert(kWakeArp == WAKE_ARP, "WAKE_ARP");
static_assert(kWakeMagic == WAKE_MAGIC, "WAKE_MAGIC");
static_assert(kWakeMagicSecure == WAKE_MAGICSECURE, "WAKE_MAGICSECURE");
static_assert(kWakeFilter == WAKE_FILTER, "WAKE_FILTER");
static_assert(kSecureOnLength == SOPASS_MAX, "SOPASS_MAX");
static_assert(kInterfaceNameSize == IFNAMSIZ, "IFNAMSIZ");
static_assert(kHardwareAddressLength == ETH_ALEN, "ETH_ALEN");

namespace {

constexpr int kSysfsPathSize = 64;
constexpr char kDeviceLink[] = "device";
constexpr char kWakeupFlag[] = "device/power/wakeup";
// Room for "disabled\n" and more, so a longer text is seen as other content.
constexpr int kWakeupTextSize = 16;
constexpr char kWakeupEnabled[] = "enabled\n";
constexpr char kWakeupDisabled[] = "disabled\n";
constexpr char kLabelSeparator = ':';
constexpr char kPathSeparator = '/';
constexpr unsigned char kNoMac[kHardwareAddressLength] = {};
constexpr int kIpv4AddressLength = 4;
constexpr int kIpv4Family = 4;
constexpr int kIpv6Family = 6;
constexpr std::uint32_t kKernelPort = 0;
constexpr std::uint32_t kDumpSequence = 1;
// The kernel fills a dump datagram up to 32 KiB when the reader's buffer is
// that large: eight pages hold any of them whole.
constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t kReceiveBufferBytes = 8 * kPageBytes;
// ether_ntohost() copies with no bound; glibc keeps the name it finds in a
// 1024-byte buffer, so it fits NI_MAXHOST.
constexpr int kEthersNameSize = 1025;

// Interface names never hold '/' (nor ':'), so a path built from one stays
// under /sys/class/net.
bool InterfacePath(const char* name, const char* tail, char (&path)[kSysfsPathSize]) {
    if (std::strchr(name, kPathSeparator) != nullptr) return false;
    const int length = std::snprintf(path, sizeof path, "/sys/class/net/%s/%s", name, tail);
    return length > 0 && length < kSysfsPathSize;
}

bool FitsName(const char* name) { return name != nullptr && strnlen(name, kInterfaceNameSize) < kInterfaceNameSize; }

// A card has a device behind it; veth, bridges and tunnels have none.
bool HasDevice(const char* name) {
    char path[kSysfsPathSize];
    return InterfacePath(name, kDeviceLink, path) && access(path, F_OK) == 0;
}

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

bool HoldsText(const char* bytes, ssize_t length, const char* text) {
    return length == static_cast<ssize_t>(std::strlen(text)) &&
           std::memcmp(bytes, text, static_cast<std::size_t>(length)) == 0;
}

// Readable by anyone, so it is known even without CAP_NET_ADMIN.
DeviceWakeup ReadDeviceWakeup(const char* name) {
    char path[kSysfsPathSize];
    if (!InterfacePath(name, kWakeupFlag, path)) return DeviceWakeup::kNone;
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return DeviceWakeup::kNone;
    char text[kWakeupTextSize];
    const ssize_t length = read(file, text, sizeof text);
    close(file);
    if (HoldsText(text, length, kWakeupEnabled)) return DeviceWakeup::kEnabled;
    if (HoldsText(text, length, kWakeupDisabled)) return DeviceWakeup::kDisabled;
    return DeviceWakeup::kNone;
}

// 0, or the errno the kernel refused ETHTOOL_GWOL with.
int QueryWakeOnLan(const char* name, ethtool_wolinfo* wol) {
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return errno;
    ifreq request{};
    std::memcpy(request.ifr_name, name, strnlen(name, kInterfaceNameSize));
    wol->cmd = ETHTOOL_GWOL;
    request.ifr_data = reinterpret_cast<char*>(wol);
    const int error = ioctl(probe, SIOCETHTOOL, &request) == 0 ? 0 : errno;
    close(probe);
    return error;
}

void ReadWakeOnLan(const char* name, CardState* card) {
    ethtool_wolinfo wol{};
    const int error = QueryWakeOnLan(name, &wol);
    // Only EOPNOTSUPP says the driver has no get_wol. EPERM (no
    // CAP_NET_ADMIN), ENODEV (the interface went away) and the rest tell
    // nothing about the card, so it stays unknown.
    if (error == EOPNOTSUPP || (error == 0 && wol.supported == 0)) {
        card->read = CardRead::kUnsupported;
        return;
    }
    if (error != 0) return;
    card->read = CardRead::kRead;
    card->supported = wol.supported;
    card->enabled = wol.wolopts;
    if ((wol.supported & WAKE_MAGICSECURE) == 0) return;
    card->secureOnKnown = true;
    std::memcpy(card->secureOn, wol.sopass, kSecureOnLength);
}

const LocalInterface* FindSame(const LocalInterfaces& interfaces, const LocalInterface& wanted) {
    for (int i = 0; i < interfaces.count; ++i) {
        const LocalInterface& candidate = interfaces.items[i];
        if (candidate.index == wanted.index && std::strncmp(candidate.name, wanted.name, kInterfaceNameSize) == 0)
            return &candidate;
    }
    return nullptr;
}

enum class DumpStep { kMore, kDone, kFailed };

struct NeighbourRequest {
    nlmsghdr header;
    ndmsg message;
};

// A route socket bound to a port the kernel picks, whose id goes to *port;
// -1 on failure.
int OpenRouteSocket(std::uint32_t* port) {
    const int route = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (route < 0) return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    socklen_t length = sizeof local;
    if (bind(route, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
        getsockname(route, reinterpret_cast<sockaddr*>(&local), &length) == 0 && length == sizeof local) {
        *port = local.nl_pid;
        return route;
    }
    close(route);
    return -1;
}

// No family: the ARP and the IPv6 neighbour tables come in one dump.
bool RequestNeighbourDump(int route) {
    NeighbourRequest request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.message);
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = kDumpSequence;
    request.message.ndm_family = AF_UNSPEC;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    const ssize_t sent = sendto(route, &request, request.header.nlmsg_len, 0,
                                reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
    return sent == static_cast<ssize_t>(request.header.nlmsg_len);
}

// One datagram from the kernel: its length, or -1 on failure or when it was
// cut. Datagrams from other processes are passed over.
int ReceiveFromKernel(int route, unsigned char* buffer, std::size_t size) {
    for (;;) {
        sockaddr_nl sender{};
        iovec piece{buffer, size};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &piece;
        message.msg_iovlen = 1;
        const ssize_t received = recvmsg(route, &message, 0);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0 || (message.msg_flags & MSG_TRUNC) != 0) return -1;
        if (sender.nl_pid == kKernelPort) return static_cast<int>(received);
    }
}

int FamilyNumber(unsigned char family) {
    if (family == AF_INET) return kIpv4Family;
    if (family == AF_INET6) return kIpv6Family;
    return 0;
}

int AddressLength(int family) { return family == kIpv4Family ? kIpv4AddressLength : kIpv6AddressLength; }

// Proxy entries hold no address of a machine, and multicast and broadcast
// entries a MAC computed from the address with no state learned from the
// wire: none tells anything about the target.
bool IsDerived(const ndmsg& message) {
    return (message.ndm_flags & NTF_PROXY) != 0 || message.ndm_type == RTN_MULTICAST ||
           message.ndm_type == RTN_BROADCAST;
}

struct StateBit {
    std::uint16_t bit;
    NeighbourState state;
};

// The kernel sets one state at a time; should several bits come, those an
// administrator sets win, then those holding an address, freshest first.
constexpr StateBit kStateOrder[] = {
    {NUD_PERMANENT, NeighbourState::kPermanent},
    {NUD_NOARP, NeighbourState::kNoArp},
    {NUD_REACHABLE, NeighbourState::kReachable},
    {NUD_STALE, NeighbourState::kStale},
    {NUD_DELAY, NeighbourState::kDelay},
    {NUD_PROBE, NeighbourState::kProbe},
    {NUD_INCOMPLETE, NeighbourState::kIncomplete},
    {NUD_FAILED, NeighbourState::kFailed},
};

NeighbourState StateOf(std::uint16_t bits) {
    for (const StateBit& candidate : kStateOrder)
        if ((bits & candidate.bit) != 0) return candidate.state;
    return NeighbourState::kNone;
}

void ReadAttribute(const rtattr* attribute, NeighbourEntry* entry, bool* hasAddress) {
    const int length = static_cast<int>(RTA_PAYLOAD(attribute));
    const void* data = RTA_DATA(attribute);
    if (attribute->rta_type == NDA_DST && length == AddressLength(entry->family)) {
        std::memcpy(entry->address, data, static_cast<std::size_t>(length));
        *hasAddress = true;
    }
    // FAILED and INCOMPLETE entries carry no NDA_LLADDR.
    if (attribute->rta_type == NDA_LLADDR && length == kHardwareAddressLength) {
        std::memcpy(entry->mac, data, kHardwareAddressLength);
        entry->hasMac = true;
    }
}

// The entry an RTM_NEWNEIGH message holds; false when it is none to judge.
bool ParseNeighbour(const nlmsghdr* header, NeighbourEntry* entry) {
    if (header->nlmsg_len < NLMSG_SPACE(sizeof(ndmsg))) return false;
    const ndmsg* message = static_cast<const ndmsg*>(NLMSG_DATA(header));
    const int family = FamilyNumber(message->ndm_family);
    if (family == 0 || IsDerived(*message)) return false;
    *entry = {};
    entry->interfaceIndex = message->ndm_ifindex;
    entry->family = family;
    entry->state = StateOf(message->ndm_state);
    const unsigned char* attributes = reinterpret_cast<const unsigned char*>(message) + NLMSG_ALIGN(sizeof(ndmsg));
    int length = static_cast<int>(NLMSG_PAYLOAD(header, sizeof(ndmsg)));
    bool hasAddress = false;
    for (const rtattr* attribute = reinterpret_cast<const rtattr*>(attributes); RTA_OK(attribute, length);
         attribute = RTA_NEXT(attribute, length))
        ReadAttribute(attribute, entry, &hasAddress);
    return hasAddress;
}

// Entries past the table's room are left out.
void ConsiderNeighbour(const nlmsghdr* header, NeighbourTable* table) {
    NeighbourEntry entry;
    if (!ParseNeighbour(header, &entry) || table->count == kMaxNeighbours) return;
    table->items[table->count++] = entry;
}

// NLMSG_DONE carries the dump's own result.
DumpStep DoneStep(const nlmsghdr* header) {
    int error = 0;
    if (header->nlmsg_len >= NLMSG_LENGTH(sizeof error)) std::memcpy(&error, NLMSG_DATA(header), sizeof error);
    return error < 0 ? DumpStep::kFailed : DumpStep::kDone;
}

// NLMSG_OK, with the signs its comparison mixes made explicit.
bool MessageFits(const nlmsghdr* header, int length) {
    return length >= static_cast<int>(sizeof(nlmsghdr)) && header->nlmsg_len >= sizeof(nlmsghdr) &&
           header->nlmsg_len <= static_cast<std::uint32_t>(length);
}

// A dump interrupted by a change of the table (NLM_F_DUMP_INTR) still holds
// entries that were true while it ran; they are kept.
DumpStep ReadMessages(const unsigned char* buffer, int length, std::uint32_t port, NeighbourTable* table) {
    for (const nlmsghdr* header = reinterpret_cast<const nlmsghdr*>(buffer); MessageFits(header, length);
         header = NLMSG_NEXT(header, length)) {
        if (header->nlmsg_seq != kDumpSequence || header->nlmsg_pid != port) continue;
        if (header->nlmsg_type == NLMSG_DONE) return DoneStep(header);
        if (header->nlmsg_type == NLMSG_ERROR) return DumpStep::kFailed;
        if (header->nlmsg_type == RTM_NEWNEIGH) ConsiderNeighbour(header, table);
    }
    return DumpStep::kMore;
}

bool ReadNeighbourDump(int route, std::uint32_t port, NeighbourTable* table) {
    alignas(nlmsghdr) unsigned char buffer[kReceiveBufferBytes];
    for (;;) {
        const int length = ReceiveFromKernel(route, buffer, sizeof buffer);
        if (length < 0) return false;
        const DumpStep step = ReadMessages(buffer, length, port, table);
        if (step != DumpStep::kMore) return step == DumpStep::kDone;
    }
}

constexpr std::uint32_t kRouteSequence = 2;
constexpr int kIpv4PrefixBits = 32;

struct RouteRequest {
    nlmsghdr header;
    rtmsg message;
    rtattr destinationAttribute;
    unsigned char destination[kIpv4AddressLength];
};

// The prefix length of the route an RTM_NEWROUTE answer holds, or -1.
int ReadRoutePrefix(const unsigned char* buffer, int length, std::uint32_t port) {
    const nlmsghdr* header = reinterpret_cast<const nlmsghdr*>(buffer);
    if (!MessageFits(header, length) || header->nlmsg_seq != kRouteSequence || header->nlmsg_pid != port) return -1;
    if (header->nlmsg_type != RTM_NEWROUTE || header->nlmsg_len < NLMSG_SPACE(sizeof(rtmsg))) return -1;
    return static_cast<const rtmsg*>(NLMSG_DATA(header))->rtm_dst_len;
}

// Asks for the routing entry the destination matches (RTM_F_FIB_MATCH: the
// entry with its own prefix, not the host route a plain lookup answers).
bool RequestRoute(int route, const unsigned char* destination) {
    RouteRequest request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = kRouteSequence;
    request.message.rtm_family = AF_INET;
    request.message.rtm_dst_len = kIpv4PrefixBits;
    request.message.rtm_flags = RTM_F_FIB_MATCH;
    request.destinationAttribute.rta_len = RTA_LENGTH(kIpv4AddressLength);
    request.destinationAttribute.rta_type = RTA_DST;
    std::memcpy(request.destination, destination, kIpv4AddressLength);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return sendto(route, &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) ==
           static_cast<ssize_t>(sizeof request);
}

}  // namespace

int ReadRoutePrefixLength(const unsigned char* destination) {
    std::uint32_t port = 0;
    const int route = OpenRouteSocket(&port);
    if (route < 0) return -1;
    alignas(nlmsghdr) unsigned char buffer[kReceiveBufferBytes];
    int length = -1;
    if (RequestRoute(route, destination)) length = ReceiveFromKernel(route, buffer, sizeof buffer);
    close(route);
    return length > 0 ? ReadRoutePrefix(buffer, length, port) : -1;
}

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

void ReadCardState(const char* name, CardState* card) {
    *card = {};
    card->read = CardRead::kUnknown;
    card->deviceWakeup = DeviceWakeup::kNone;
    if (!FitsName(name)) return;
    card->deviceWakeup = ReadDeviceWakeup(name);
    ReadWakeOnLan(name, card);
}

void CarryCardStates(const LocalInterfaces& from, LocalInterfaces* to) {
    for (int i = 0; i < to->count; ++i) {
        const LocalInterface* earlier = FindSame(from, to->items[i]);
        if (earlier != nullptr) to->items[i].card = earlier->card;
    }
}

// No privilege is needed: the table is readable by anyone, so this works
// after lumora has given its up.
bool ReadNeighbourTable(NeighbourTable* table) {
    table->count = 0;
    std::uint32_t port = 0;
    const int route = OpenRouteSocket(&port);
    if (route < 0) return false;
    const bool read = RequestNeighbourDump(route) && ReadNeighbourDump(route, port, table);
    close(route);
    if (!read) table->count = 0;
    return read;
}

bool LookUpEthersName(const unsigned char* mac, char* name, int size) {
    if (name == nullptr || size <= 0) return false;
    name[0] = '\0';
    ether_addr address{};
    std::memcpy(address.ether_addr_octet, mac, kHardwareAddressLength);
    char found[kEthersNameSize] = "";
    if (ether_ntohost(found, &address) != 0) return false;
    found[kEthersNameSize - 1] = '\0';
    if (found[0] == '\0') return false;
    std::snprintf(name, static_cast<std::size_t>(size), "%s", found);
    return true;
}
