// Judging a magic packet and a card against the machine's facts.
#include "analysis/wake_diagnosis.h"

#include "analysis/frame_fields.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned char kIpv6MulticastPrefix = 0xFF;
constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFF;
constexpr std::uint32_t kIpv4MulticastMask = 0xF0000000;
constexpr std::uint32_t kIpv4MulticastPrefix = 0xE0000000;
constexpr int kBitsPerByte = 8;
constexpr int kIpv4Length = 4;
constexpr int kVlanTextSize = 8;
constexpr int kIpv6Length = 16;
constexpr unsigned char kLinkLocalScope = 0x02;  // ff02::/16: every node of the link
constexpr unsigned char kScopeMask = 0x0F;
constexpr int kMaxBroadcastPrefix = 30;  // /31 and /32 have no broadcast address
// The drivers of the cards hypervisors give their guests (KVM and QEMU,
// VMware, Hyper-V, Xen, AWS, Google Cloud), as ethtool -i names them.
constexpr const char* kVirtualMachineDrivers[] = {"virtio_net", "vmxnet3", "hv_netvsc", "vif", "ena", "gve"};

bool IsVirtualMachineCard(const char* driver) {
    for (const char* known : kVirtualMachineDrivers)
        if (std::strncmp(driver, known, kDriverNameSize) == 0) return true;
    return false;
}

bool SameMac(const unsigned char* a, const unsigned char* b) {
    return a != nullptr && b != nullptr && std::memcmp(a, b, kHardwareAddressLength) == 0;
}

bool IsBroadcastMac(const unsigned char* mac) {
    for (int i = 0; i < kHardwareAddressLength; ++i)
        if (mac[i] != 0xFF) return false;
    return true;
}

const LocalInterface* InterfaceByIndex(const LocalInterfaces* interfaces, int index) {
    if (interfaces == nullptr || index <= 0) return nullptr;
    for (int i = 0; i < interfaces->count; ++i)
        if (interfaces->items[i].index == index) return &interfaces->items[i];
    return nullptr;
}

Delivery ClassifyMac(const unsigned char* destination, const unsigned char* target) {
    if (IsBroadcastMac(destination)) return Delivery::kBroadcast;
    if ((destination[0] & kMacGroupBit) != 0) return Delivery::kMulticast;
    return SameMac(destination, target) ? Delivery::kTargetUnicast : Delivery::kOtherUnicast;
}

// A cooked header says only whether the frame was for the receiving
// interface; its MAC then tells whether that was the target's.
Delivery ClassifyPacketType(LinkPacketType type, const LocalInterface* receiving, const unsigned char* target) {
    switch (type) {
        case LinkPacketType::kBroadcast: return Delivery::kBroadcast;
        case LinkPacketType::kMulticast: return Delivery::kMulticast;
        case LinkPacketType::kToThisHost:
            if (receiving == nullptr || !receiving->hasMac || target == nullptr) return Delivery::kUnknown;
            return SameMac(receiving->mac, target) ? Delivery::kTargetUnicast : Delivery::kOtherUnicast;
        case LinkPacketType::kOtherHost:
            // Not the receiving interface's MAC: certainly not the target's when that is it.
            if (receiving != nullptr && receiving->hasMac && SameMac(receiving->mac, target))
                return Delivery::kOtherUnicast;
            return Delivery::kUnknown;
        case LinkPacketType::kNotRecorded: break;
    }
    return Delivery::kUnknown;
}

Delivery ClassifyDelivery(const PacketFacts& packet, const LocalInterface* receiving) {
    if (packet.destinationMac != nullptr) return ClassifyMac(packet.destinationMac, packet.targetMac);
    return ClassifyPacketType(packet.packetType, receiving, packet.targetMac);
}

std::uint32_t ReadIpv4(const unsigned char* at) {
    std::uint32_t value = 0;
    for (int i = 0; i < kIpv4Length; ++i) value = (value << kBitsPerByte) | at[i];
    return value;
}

IpDestination ClassifyIpv4(std::uint32_t destination, const LocalInterface* receiving) {
    if (destination == kLimitedBroadcast) return IpDestination::kLimitedBroadcast;
    if ((destination & kIpv4MulticastMask) == kIpv4MulticastPrefix) return IpDestination::kMulticast;
    if (receiving == nullptr || receiving->subnetCount == 0) return IpDestination::kUnknown;
    bool inSubnet = false;
    for (int i = 0; i < receiving->subnetCount; ++i) {
        const Ipv4Subnet& subnet = receiving->subnets[i];
        if (subnet.broadcast != 0 && destination == subnet.broadcast) return IpDestination::kSubnetBroadcast;
        inSubnet = inSubnet || (destination & subnet.netmask) == (subnet.address & subnet.netmask);
    }
    return inSubnet ? IpDestination::kUnicast : IpDestination::kOtherSubnet;
}

IpDestination ClassifyIp(const PacketFacts& packet, const LocalInterface* receiving) {
    if (packet.ipDestination == nullptr) return IpDestination::kNotIp;
    if (packet.ipFamily == kIpv4) return ClassifyIpv4(ReadIpv4(packet.ipDestination), receiving);
    if (packet.ipFamily == kIpv6)
        return packet.ipDestination[0] == kIpv6MulticastPrefix ? IpDestination::kMulticast : IpDestination::kUnicast;
    return IpDestination::kNotIp;
}

// The interface whose MAC the target is. Several may share it (a bridge and
// its port, VLAN interfaces on a card): a card wins over the rest, and the
// receiving interface over another card.
int FindTargetInterface(const LocalInterfaces* interfaces, const unsigned char* target, int receivingIndex) {
    if (interfaces == nullptr || target == nullptr) return -1;
    int best = -1;
    int bestScore = -1;
    for (int i = 0; i < interfaces->count; ++i) {
        const LocalInterface& candidate = interfaces->items[i];
        if (!candidate.hasMac || !SameMac(candidate.mac, target)) continue;
        const int score = (candidate.hasDevice ? 2 : 0) + (candidate.index == receivingIndex ? 1 : 0);
        if (score > bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

int FindTargetNeighbour(const NeighbourMatches* neighbours, const unsigned char* target) {
    if (neighbours == nullptr) return -1;
    for (int i = 0; i < neighbours->count; ++i)
        if (neighbours->items[i].hasMac && SameMac(neighbours->items[i].mac, target)) return i;
    return -1;
}

void AddVlanHint(WakeDiagnosis* d) {
    char vlan[kVlanTextSize];
    std::snprintf(vlan, sizeof vlan, "%d", d->vlan);
    AddHint(&d->hints, HintCode::kVlanTagged, vlan);
}

void AddPacketHints(const PacketFacts& packet, const LocalInterface* receiving, WakeDiagnosis* d) {
    if (!packet.wellFormed) AddHint(&d->hints, HintCode::kMalformed);
    if (d->delivery == Delivery::kOtherUnicast) AddHint(&d->hints, HintCode::kOtherMac);
    if (d->delivery == Delivery::kMulticast) AddHint(&d->hints, HintCode::kMulticast);
    if (d->vlan != kNoVlan) AddVlanHint(d);
    if (d->ipDestination == IpDestination::kOtherSubnet)
        AddHint(&d->hints, HintCode::kNotThisSubnet, packet.ipDestinationText, receiving->name);
    if (d->ipDestination == IpDestination::kUnicast)
        AddHint(&d->hints, HintCode::kUnicastIp, packet.ipDestinationText);
}

// The card's own hints; a card that wakes on the magic packet itself adds none.
void AddCardHints(const LocalInterface& target, WakeOnLan state, Hints* hints) {
    const char* name = target.name;
    if (state == WakeOnLan::kUnknown) AddHint(hints, HintCode::kWolUnknown, name);
    if (state == WakeOnLan::kUnsupported && IsVirtualMachineCard(target.card.driver))
        AddHint(hints, HintCode::kVmCard, name, target.card.driver);
    else if (state == WakeOnLan::kUnsupported)
        AddHint(hints, HintCode::kWolUnsupported, name);
    if (state == WakeOnLan::kDisabled) AddHint(hints, HintCode::kWolDisabled, name);
    if (target.card.deviceWakeup == DeviceWakeup::kDisabled) AddHint(hints, HintCode::kDeviceWakeupDisabled, name);
}

WakeOnLan WakeOnLanOf(const CardState& card) {
    if (card.read == CardRead::kUnknown) return WakeOnLan::kUnknown;
    const std::uint32_t magic = kWakeMagic | kWakeMagicSecure;
    if (card.read == CardRead::kUnsupported || (card.supported & magic) == 0) return WakeOnLan::kUnsupported;
    return (card.enabled & magic) != 0 ? WakeOnLan::kEnabled : WakeOnLan::kDisabled;
}

// Armed for SecureOn only: the packet must carry the card's password.
bool PasswordRefused(const CardState& card, const PacketFacts& packet) {
    if ((card.enabled & kWakeMagic) != 0 || (card.enabled & kWakeMagicSecure) == 0) return false;
    if (!card.secureOnKnown) return false;
    return packet.password == nullptr || packet.passwordLength != kSecureOnLength ||
           std::memcmp(packet.password, card.secureOn, kSecureOnLength) != 0;
}

// Did the frame reach the target's card? It came in on another interface
// when that one has neither the target's index nor its MAC.
bool ArrivedElsewhere(const LocalInterface& target, const LocalInterface* receiving) {
    if (receiving == nullptr || receiving->index == target.index) return false;
    return !(receiving->hasMac && SameMac(receiving->mac, target.mac));
}

void JudgeLocalTarget(const PacketFacts& packet, const MachineView& machine, const LocalInterface* receiving,
                      WakeDiagnosis* d) {
    const LocalInterface& target = machine.interfaces->items[d->targetInterface];
    const WakeOnLan state = WakeOnLanOf(target.card);
    AddCardHints(target, state, &d->hints);
    if (state == WakeOnLan::kEnabled && PasswordRefused(target.card, packet))
        AddHint(&d->hints, HintCode::kPasswordMismatch, target.name);
    if (ArrivedElsewhere(target, receiving))
        AddHint(&d->hints, HintCode::kWrongInterface, target.name, receiving->name);
}

// Why not, in the order a user should mend things: the card, then the packet.
constexpr HintCode kBlockingHints[] = {
    HintCode::kWolUnsupported, HintCode::kVmCard,         HintCode::kWolDisabled,    HintCode::kDeviceWakeupDisabled,
    HintCode::kPasswordMismatch, HintCode::kMalformed,    HintCode::kWrongInterface,
    HintCode::kOtherMac,
};

int FindReason(const Hints& hints) {
    for (const HintCode code : kBlockingHints)
        for (int i = 0; i < hints.count; ++i)
            if (hints.items[i].code == code) return i;
    return -1;
}

Tristate WouldWake(const WakeDiagnosis& d) {
    if (d.targetInterface < 0) return Tristate::kUnknown;
    if (d.reason >= 0) return Tristate::kNo;
    if (HasHint(d.hints, HintCode::kWolUnknown) || d.delivery == Delivery::kUnknown) return Tristate::kUnknown;
    return Tristate::kYes;
}

bool IsMatch(const NeighbourEntry& entry, const unsigned char* mac, int family, const unsigned char* destination) {
    if (entry.hasMac && SameMac(entry.mac, mac)) return true;
    if (destination == nullptr || entry.family != family) return false;
    return std::memcmp(entry.address, destination, family == kIpv4 ? kIpv4Length : kIpv6Length) == 0;
}

// --- what this machine sent ---

const char* NeighbourStateName(NeighbourState state) {
    switch (state) {
        case NeighbourState::kIncomplete: return "INCOMPLETE";
        case NeighbourState::kReachable: return "REACHABLE";
        case NeighbourState::kStale: return "STALE";
        case NeighbourState::kDelay: return "DELAY";
        case NeighbourState::kProbe: return "PROBE";
        case NeighbourState::kFailed: return "FAILED";
        case NeighbourState::kNoArp: return "NOARP";
        case NeighbourState::kPermanent: return "PERMANENT";
        case NeighbourState::kNone: break;
    }
    return "NONE";
}

const NeighbourEntry* DestinationNeighbour(const PacketFacts& packet, const NeighbourMatches* neighbours) {
    if (neighbours == nullptr || packet.ipDestination == nullptr) return nullptr;
    const int length = packet.ipFamily == kIpv4 ? kIpv4Length : kIpv6Length;
    for (int i = 0; i < neighbours->count; ++i) {
        const NeighbourEntry& entry = neighbours->items[i];
        if (entry.family == packet.ipFamily && std::memcmp(entry.address, packet.ipDestination, length) == 0)
            return &entry;
    }
    return nullptr;
}

// A unicast send works while the neighbour cache holds the target: a
// reachable, permanent or no-ARP entry does; any other state, or none, is
// the packet that silently stops working.
void AddSentUnicastHint(const PacketFacts& packet, const NeighbourMatches* neighbours, Hints* hints) {
    const NeighbourEntry* entry = DestinationNeighbour(packet, neighbours);
    const NeighbourState state = entry != nullptr ? entry->state : NeighbourState::kNone;
    if (state == NeighbourState::kReachable || state == NeighbourState::kPermanent || state == NeighbourState::kNoArp)
        return;
    char said[kHintSubjectSize];
    if (state == NeighbourState::kNone)
        std::snprintf(said, sizeof said, ", for which this machine's neighbour table holds no entry");
    else
        std::snprintf(said, sizeof said, ", whose neighbour entry here is %s", NeighbourStateName(state));
    AddHint(hints, HintCode::kUnicastIp, packet.ipDestinationText, said);
}

bool SharesEveryNetwork(const PacketFacts& packet, IpDestination destination) {
    if (destination == IpDestination::kLimitedBroadcast) return true;
    return packet.ipFamily == kIpv6 && packet.ipDestination[0] == kIpv6MulticastPrefix &&
           (packet.ipDestination[1] & kScopeMask) == kLinkLocalScope;
}

bool CarriesAddresses(const LocalInterface& interface) {
    return interface.up && !interface.loopback && (interface.subnetCount > 0 || interface.hasIpv6);
}

// "eth1, wlan0": the other interfaces with addresses, as many as fit.
void OtherInterfaces(const LocalInterfaces& interfaces, int leftBy, char* names, int size) {
    int length = 0;
    names[0] = '\0';
    for (int i = 0; i < interfaces.count; ++i) {
        const LocalInterface& other = interfaces.items[i];
        if (other.index == leftBy || !CarriesAddresses(other)) continue;
        const int written = std::snprintf(names + length, static_cast<std::size_t>(size - length), "%s%s",
                                          length == 0 ? "" : ", ", other.name);
        if (written < 0 || written >= size - length) break;
        length += written;
    }
}

void AddLeftByHints(const PacketFacts& packet, const MachineView& machine, const LocalInterface* leftBy,
                    WakeDiagnosis* d) {
    if (leftBy == nullptr) return;
    char others[kHintSubjectSize];
    OtherInterfaces(*machine.interfaces, leftBy->index, others, sizeof others);
    if (SharesEveryNetwork(packet, d->ipDestination) && others[0] != '\0')
        AddHint(&d->hints, HintCode::kOneInterfaceOnly, leftBy->name, others);
    if (machine.neighbours == nullptr) return;
    for (int i = 0; i < machine.neighbours->count; ++i) {
        const NeighbourEntry& entry = machine.neighbours->items[i];
        const LocalInterface* known = InterfaceByIndex(machine.interfaces, entry.interfaceIndex);
        if (entry.hasMac && SameMac(entry.mac, packet.targetMac) && known != nullptr && known != leftBy)
            AddHint(&d->hints, HintCode::kWrongInterface, known->name, leftBy->name);
    }
}

// Sent to another network: the broadcast address of the route's prefix is a
// directed broadcast, any other a unicast address there.
bool IsDirectedBroadcast(const PacketFacts& packet) {
    if (packet.ipFamily != kIpv4 || packet.routePrefix <= 0 || packet.routePrefix > kMaxBroadcastPrefix) return false;
    const std::uint32_t host = kLimitedBroadcast >> packet.routePrefix;
    return (ReadIpv4(packet.ipDestination) & host) == host;
}

void AddSentAddressHints(const PacketFacts& packet, const MachineView& machine, const LocalInterface* leftBy,
                         WakeDiagnosis* d) {
    const bool elsewhere = d->ipDestination == IpDestination::kOtherSubnet;
    if (elsewhere && IsDirectedBroadcast(packet))
        AddHint(&d->hints, HintCode::kNotThisSubnet, packet.ipDestinationText, leftBy->name);
    else if (elsewhere || d->ipDestination == IpDestination::kUnicast)
        AddSentUnicastHint(packet, machine.neighbours, &d->hints);
}

// Sent from here: whether it can reach the target, not whether it wakes us.
void JudgeSent(const PacketFacts& packet, const MachineView& machine, const LocalInterface* leftBy,
               WakeDiagnosis* d) {
    if (!packet.wellFormed) AddHint(&d->hints, HintCode::kMalformed);
    if (machine.interfaces != nullptr) AddLeftByHints(packet, machine, leftBy, d);
    // To another network the frame goes to a router's MAC, as it should.
    if (d->delivery == Delivery::kOtherUnicast && d->ipDestination != IpDestination::kOtherSubnet)
        AddHint(&d->hints, HintCode::kOtherMac);
    if (d->delivery == Delivery::kMulticast) AddHint(&d->hints, HintCode::kMulticast);
    if (d->vlan != kNoVlan) AddVlanHint(d);
    AddSentAddressHints(packet, machine, leftBy, d);
    d->wouldWake = Tristate::kUnknown;
}

}  // namespace

void MatchNeighbours(const NeighbourTable& table, const unsigned char* mac, int family,
                     const unsigned char* destination, NeighbourMatches* matches) {
    matches->count = 0;
    for (int i = 0; i < table.count && matches->count < kMaxNeighbourMatches; ++i)
        if (IsMatch(table.items[i], mac, family, destination)) matches->items[matches->count++] = table.items[i];
}

WakeDiagnosis DiagnoseMagicPacket(const PacketFacts& packet, const MachineView& machine) {
    WakeDiagnosis d{};
    const LocalInterface* receiving = InterfaceByIndex(machine.interfaces, packet.receivingIndex);
    d.delivery = ClassifyDelivery(packet, receiving);
    d.ipDestination = ClassifyIp(packet, receiving);
    d.vlan = packet.vlan;
    d.targetInterface = FindTargetInterface(machine.interfaces, packet.targetMac, packet.receivingIndex);
    d.targetNeighbour = FindTargetNeighbour(machine.neighbours, packet.targetMac);
    d.reason = -1;
    if (packet.outgoing) {
        JudgeSent(packet, machine, receiving, &d);
        return d;
    }
    if (d.targetInterface >= 0) JudgeLocalTarget(packet, machine, receiving, &d);
    AddPacketHints(packet, receiving, &d);
    if (d.targetInterface < 0 && machine.interfaces != nullptr && packet.targetMac != nullptr)
        AddHint(&d.hints, HintCode::kNotThisMachine, packet.targetMacText);
    if (d.targetInterface >= 0) d.reason = FindReason(d.hints);
    d.wouldWake = WouldWake(d);
    return d;
}

CardReadiness JudgeCard(const LocalInterface& interface) {
    CardReadiness readiness{};
    readiness.wakeOnLan = WakeOnLanOf(interface.card);
    AddCardHints(interface, readiness.wakeOnLan, &readiness.hints);
    if (readiness.wakeOnLan == WakeOnLan::kUnknown)
        readiness.wakesOnMagicPacket = Tristate::kUnknown;
    else if (readiness.wakeOnLan == WakeOnLan::kEnabled && interface.card.deviceWakeup != DeviceWakeup::kDisabled)
        readiness.wakesOnMagicPacket = Tristate::kYes;
    else
        readiness.wakesOnMagicPacket = Tristate::kNo;
    return readiness;
}

void FormatWakeModes(std::uint32_t modes, char* text, int size) {
    if (text == nullptr || size <= 0) return;
    int length = 0;
    for (int bit = 0; kWakeLetters[bit] != '\0' && length < size - 1; ++bit)
        if ((modes & (1u << bit)) != 0) text[length++] = kWakeLetters[bit];
    if (length == 0 && size > 1) text[length++] = 'd';
    text[length] = '\0';
}
