// Would the magic packet wake this machine: the facts of a frame and of a
// machine in, would_wake, the delivery and the hint codes out. No system
// behind it: the machine is made up here.
#include "analysis/wake_diagnosis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr int kEth0 = 2, kVeth0 = 3, kBr0 = 4;
const unsigned char kEth0Mac[6] = {0x52, 0x54, 0x00, 0x00, 0x00, 0x10};
const unsigned char kVethMac[6] = {0x02, 0x4C, 0x55, 0x00, 0x00, 0x20};
const unsigned char kStranger[6] = {0x02, 0x4C, 0x55, 0x00, 0x00, 0x99};
const unsigned char kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const unsigned char kAllNodesMac[6] = {0x33, 0x33, 0x00, 0x00, 0x00, 0x01};
const unsigned char kSecret[6] = {1, 2, 3, 4, 5, 6};
const unsigned char kWrongSecret[6] = {1, 2, 3, 4, 5, 7};

enum class Card { kArmed, kOff, kUnknown, kNoWakeup, kSecureOnly, kSecureAndMagic };

CardState CardOf(Card card) {
    CardState state{CardRead::kRead, kWakeMagic | kWakeMagicSecure | kWakePhy, kWakeMagic, true, {},
                    DeviceWakeup::kEnabled};
    std::memcpy(state.secureOn, kSecret, sizeof kSecret);
    if (card == Card::kOff) state.enabled = 0;
    if (card == Card::kUnknown) state = CardState{};
    if (card == Card::kNoWakeup) state.deviceWakeup = DeviceWakeup::kDisabled;
    if (card == Card::kSecureOnly) state.enabled = kWakeMagicSecure;
    if (card == Card::kSecureAndMagic) state.enabled = kWakeMagicSecure | kWakeMagic;
    return state;
}

LocalInterface Interface(const char* name, int index, const unsigned char* mac, bool device) {
    LocalInterface i{};
    std::snprintf(i.name, sizeof i.name, "%s", name);
    i.index = index;
    std::memcpy(i.mac, mac, 6);
    i.hasMac = i.up = true;
    i.hasDevice = device;
    i.card.read = device ? CardRead::kRead : CardRead::kUnsupported;
    return i;
}

// eth0, a card on 10.0.0.2/24; veth0 on 10.1.0.2/24; br0 shares eth0's MAC.
LocalInterfaces Machine(Card card) {
    LocalInterfaces m{};
    m.items[0] = Interface("eth0", kEth0, kEth0Mac, true);
    m.items[0].card = CardOf(card);
    m.items[0].subnets[0] = {0x0A000002, 0xFFFFFF00, 0x0A0000FF};
    m.items[0].subnetCount = 1;
    m.items[1] = Interface("veth0", kVeth0, kVethMac, false);
    m.items[1].subnets[0] = {0x0A010002, 0xFFFFFF00, 0x0A0100FF};
    m.items[1].subnetCount = 1;
    m.items[2] = Interface("br0", kBr0, kEth0Mac, false);
    m.count = 3;
    return m;
}

struct Ip {
    int family;
    unsigned char bytes[16];
};
const Ip kSubnetBroadcast{4, {10, 0, 0, 255}}, kLimited{4, {255, 255, 255, 255}}, kUnicast{4, {10, 0, 0, 2}},
    kOtherSubnet{4, {10, 9, 9, 255}}, kAllNodes{6, {0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
    kNoIp{0, {}};

struct DiagnosisCase {
    const char* name;
    Card card;
    const unsigned char* target;
    const unsigned char* destinationMac;  // nullptr: a cooked header's packet type instead
    LinkPacketType packetType;
    Ip ip;
    int receiving;
    const unsigned char* password;
    bool wellFormed;
    int vlan;
    Tristate wouldWake;
    Delivery delivery;
    const char* hints;  // the codes, in order
};

constexpr Tristate kYes = Tristate::kYes, kNo = Tristate::kNo, kUnknown = Tristate::kUnknown;
constexpr LinkPacketType kNotRecorded = LinkPacketType::kNotRecorded;

const DiagnosisCase kCases[] = {
    {"subnet broadcast, armed", Card::kArmed, kEth0Mac, kBroadcast, kNotRecorded, kSubnetBroadcast, kEth0, nullptr,
     true, kNoVlan, kYes, Delivery::kBroadcast, ""},
    {"255.255.255.255, armed", Card::kArmed, kEth0Mac, kBroadcast, kNotRecorded, kLimited, kEth0, nullptr, true,
     kNoVlan, kYes, Delivery::kBroadcast, ""},
    {"Wake-on-LAN off", Card::kOff, kEth0Mac, kBroadcast, kNotRecorded, kSubnetBroadcast, kEth0, nullptr, true,
     kNoVlan, kNo, Delivery::kBroadcast, "wol-disabled"},
    {"state unreadable", Card::kUnknown, kEth0Mac, kBroadcast, kNotRecorded, kSubnetBroadcast, kEth0, nullptr, true,
     kNoVlan, kUnknown, Delivery::kBroadcast, "wol-unknown"},
    {"device may not wake", Card::kNoWakeup, kEth0Mac, kBroadcast, kNotRecorded, kLimited, kEth0, nullptr, true,
     kNoVlan, kNo, Delivery::kBroadcast, "device-wakeup-disabled"},
    {"veth's own MAC", Card::kArmed, kVethMac, kBroadcast, kNotRecorded, kLimited, kVeth0, nullptr, true, kNoVlan,
     kNo, Delivery::kBroadcast, "wol-unsupported"},
    {"SecureOn, its password", Card::kSecureOnly, kEth0Mac, kBroadcast, kNotRecorded, kLimited, kEth0, kSecret,
     true, kNoVlan, kYes, Delivery::kBroadcast, ""},
    {"SecureOn, another password", Card::kSecureOnly, kEth0Mac, kBroadcast, kNotRecorded, kLimited, kEth0,
     kWrongSecret, true, kNoVlan, kNo, Delivery::kBroadcast, "password-mismatch"},
    {"SecureOn, none", Card::kSecureOnly, kEth0Mac, kBroadcast, kNotRecorded, kLimited, kEth0, nullptr, true, kNoVlan,
     kNo, Delivery::kBroadcast, "password-mismatch"},
    {"SecureOn and g, none", Card::kSecureAndMagic, kEth0Mac, kBroadcast, kNotRecorded, kLimited, kEth0, nullptr,
     true, kNoVlan, kYes, Delivery::kBroadcast, ""},
    {"unicast to the target", Card::kArmed, kEth0Mac, kEth0Mac, kNotRecorded, kUnicast, kEth0, nullptr, true,
     kNoVlan, kYes, Delivery::kTargetUnicast, "unicast-ip"},
    {"unicast here for another target", Card::kArmed, kStranger, kEth0Mac, kNotRecorded, kUnicast, kEth0, nullptr,
     true, kNoVlan, kUnknown, Delivery::kOtherUnicast, "other-mac unicast-ip not-this-machine"},
    {"another subnet's broadcast", Card::kArmed, kEth0Mac, kBroadcast, kNotRecorded, kOtherSubnet, kEth0, nullptr,
     true, kNoVlan, kYes, Delivery::kBroadcast, "not-this-subnet"},
    {"VLAN-tagged", Card::kArmed, kEth0Mac, kBroadcast, kNotRecorded, kSubnetBroadcast, kEth0, nullptr, true, 10,
     kYes, Delivery::kBroadcast, "vlan-tagged"},
    {"IPv6 to ff02::1", Card::kArmed, kEth0Mac, kAllNodesMac, kNotRecorded, kAllNodes, kEth0, nullptr, true, kNoVlan,
     kYes, Delivery::kMulticast, "multicast"},
    {"malformed", Card::kArmed, kEth0Mac, kBroadcast, kNotRecorded, kSubnetBroadcast, kEth0, nullptr, false, kNoVlan,
     kNo, Delivery::kBroadcast, "malformed"},
    {"came in on veth0 for eth0", Card::kArmed, kEth0Mac, kBroadcast, kNotRecorded, kLimited, kVeth0, nullptr, true,
     kNoVlan, kNo, Delivery::kBroadcast, "wrong-interface"},
    {"on the bridge over eth0", Card::kArmed, kEth0Mac, kBroadcast, kNotRecorded, kLimited, kBr0, nullptr, true,
     kNoVlan, kYes, Delivery::kBroadcast, ""},
    {"0x0842 to a stranger's MAC", Card::kArmed, kEth0Mac, kStranger, kNotRecorded, kNoIp, kEth0, nullptr, true,
     kNoVlan, kNo, Delivery::kOtherUnicast, "other-mac"},
    // Cooked captures of every interface: the packet type stands in for the MAC.
    {"cooked broadcast", Card::kArmed, kEth0Mac, nullptr, LinkPacketType::kBroadcast, kLimited, kEth0, nullptr, true,
     kNoVlan, kYes, Delivery::kBroadcast, ""},
    {"cooked, to this host", Card::kArmed, kEth0Mac, nullptr, LinkPacketType::kToThisHost, kUnicast, kEth0, nullptr,
     true, kNoVlan, kYes, Delivery::kTargetUnicast, "unicast-ip"},
    {"cooked, to this host for veth0", Card::kArmed, kVethMac, nullptr, LinkPacketType::kToThisHost, kUnicast, kEth0,
     nullptr, true, kNoVlan, kNo, Delivery::kOtherUnicast, "wol-unsupported wrong-interface other-mac unicast-ip"},
    {"raw IP: the link not recorded", Card::kArmed, kEth0Mac, nullptr, kNotRecorded, kSubnetBroadcast, kEth0,
     nullptr, true, kNoVlan, kUnknown, Delivery::kUnknown, ""},
};

std::string Codes(const Hints& hints) {
    std::string codes;
    for (int i = 0; i < hints.count; ++i) codes += (i ? " " : "") + std::string(HintInfoOf(hints.items[i].code).name);
    return codes;
}

TEST(WakeDiagnosis, FactsInWouldWakeAndHintsOut) {
    for (const DiagnosisCase& c : kCases) {
        const LocalInterfaces machine = Machine(c.card);
        const PacketFacts packet{c.target, "TARGET", c.wellFormed, c.password, c.password ? 6 : 0,
                                 c.destinationMac, c.packetType, c.vlan, c.ip.family,
                                 c.ip.family ? c.ip.bytes : nullptr, "DESTINATION", c.receiving, false, -1};
        const WakeDiagnosis d = DiagnoseMagicPacket(packet, MachineView{&machine, nullptr});
        EXPECT_EQ(d.wouldWake, c.wouldWake) << c.name;
        EXPECT_EQ(d.delivery, c.delivery) << c.name;
        EXPECT_EQ(Codes(d.hints), c.hints) << c.name;
        EXPECT_EQ(d.reason >= 0, c.wouldWake == kNo) << c.name;
    }
}

// The IPv4 destination against the receiving interface's subnets, and a
// capture file, which knows no machine: no target here, nothing to judge.
TEST(WakeDiagnosis, DestinationsAndFiles) {
    const LocalInterfaces machine = Machine(Card::kArmed);
    const std::pair<Ip, IpDestination> cases[] = {
        {kSubnetBroadcast, IpDestination::kSubnetBroadcast}, {kLimited, IpDestination::kLimitedBroadcast},
        {kUnicast, IpDestination::kUnicast},                 {kOtherSubnet, IpDestination::kOtherSubnet},
        {kAllNodes, IpDestination::kMulticast},              {Ip{4, {239, 1, 2, 3}}, IpDestination::kMulticast},
    };
    for (const auto& [ip, expected] : cases) {
        const PacketFacts packet{kEth0Mac, "", true, nullptr, 0, kBroadcast, kNotRecorded, kNoVlan, ip.family,
                                 ip.bytes, "", kEth0, false, -1};
        EXPECT_EQ(DiagnoseMagicPacket(packet, MachineView{&machine, nullptr}).ipDestination, expected);
        const WakeDiagnosis file = DiagnoseMagicPacket(packet, MachineView{nullptr, nullptr});
        EXPECT_EQ(file.wouldWake, kUnknown);
        EXPECT_EQ(file.targetInterface, -1);
        EXPECT_EQ(file.ipDestination, expected == IpDestination::kSubnetBroadcast || expected == IpDestination::kUnicast ||
                                              expected == IpDestination::kOtherSubnet
                                          ? IpDestination::kUnknown
                                          : expected);
    }
}

TEST(WakeDiagnosis, TargetFoundInTheNeighbourTable) {
    const LocalInterfaces machine = Machine(Card::kArmed);
    NeighbourMatches neighbours{};
    neighbours.items[0] = NeighbourEntry{kEth0, 4, {10, 0, 0, 2}, {}, false, NeighbourState::kFailed};
    neighbours.items[1] = NeighbourEntry{kEth0, 4, {10, 0, 0, 9}, {}, true, NeighbourState::kStale};
    std::memcpy(neighbours.items[1].mac, kStranger, 6);
    neighbours.count = 2;
    const PacketFacts packet{kStranger, "", true, nullptr, 0, kBroadcast, kNotRecorded, kNoVlan, 0, nullptr, "", kEth0,
                             false, -1};
    EXPECT_EQ(DiagnoseMagicPacket(packet, MachineView{&machine, &neighbours}).targetNeighbour, 1);
}

// Sent from here, by eth0: the interfaces it did not leave by, the neighbour
// table's word on the target and the destination, the route it took.
struct SentCase {
    const char* name;
    Ip ip;
    const unsigned char* destinationMac;
    int routePrefix;
    NeighbourState destinationState;  // of 10.0.0.9; kNone: no entry
    int targetKnownOn;                // the interface whose entry holds the target MAC; 0: none
    const char* hints;
    const char* secondSubject;  // of the last hint
};

const SentCase kSent[] = {
    {"255.255.255.255", kLimited, kBroadcast, 32, NeighbourState::kNone, 0, "one-interface-only", "veth0"},
    {"the subnet's broadcast", kSubnetBroadcast, kBroadcast, 24, NeighbourState::kNone, 0, "", ""},
    {"target known on veth0", kLimited, kBroadcast, 32, NeighbourState::kNone, kVeth0,
     "one-interface-only wrong-interface", "eth0"},
    {"unicast, entry stale", Ip{4, {10, 0, 0, 9}}, kStranger, 24, NeighbourState::kStale, 0, "unicast-ip",
     ", whose neighbour entry here is STALE"},
    {"unicast, entry reachable", Ip{4, {10, 0, 0, 9}}, kStranger, 24, NeighbourState::kReachable, 0, "", ""},
    {"routed unicast", Ip{4, {10, 9, 9, 5}}, kEth0Mac, 0, NeighbourState::kNone, 0, "unicast-ip",
     ", for which this machine's neighbour table holds no entry"},
    {"routed directed broadcast", kOtherSubnet, kEth0Mac, 24, NeighbourState::kNone, 0, "not-this-subnet", "eth0"},
    {"IPv6 to ff02::1", kAllNodes, kAllNodesMac, -1, NeighbourState::kNone, 0, "one-interface-only multicast", ""},
};

TEST(WakeDiagnosis, SentFromHere) {
    const LocalInterfaces machine = Machine(Card::kArmed);
    for (const SentCase& c : kSent) {
        NeighbourMatches neighbours{};
        if (c.destinationState != NeighbourState::kNone)
            neighbours.items[neighbours.count++] = NeighbourEntry{kEth0, 4, {10, 0, 0, 9}, {}, true, c.destinationState};
        if (c.targetKnownOn != 0) {
            neighbours.items[neighbours.count] = NeighbourEntry{c.targetKnownOn, 4, {10, 1, 0, 9}, {}, true,
                                                                NeighbourState::kReachable};
            std::memcpy(neighbours.items[neighbours.count++].mac, kStranger, 6);
        }
        const PacketFacts packet{kStranger, "", true, nullptr, 0, c.destinationMac, kNotRecorded, kNoVlan,
                                 c.ip.family, c.ip.bytes, "ADDRESS", kEth0, true, c.routePrefix};
        const WakeDiagnosis d = DiagnoseMagicPacket(packet, MachineView{&machine, &neighbours});
        EXPECT_EQ(Codes(d.hints), c.hints) << c.name;
        EXPECT_EQ(d.wouldWake, kUnknown) << c.name;
        if (d.hints.count > 0) EXPECT_STREQ(d.hints.items[d.hints.count - 1].second, c.secondSubject) << c.name;
    }
}

struct ReadinessCase {
    Card card;
    bool device;
    WakeOnLan wakeOnLan;
    Tristate wakes;
    const char* hints;
};

TEST(WakeDiagnosis, CardReadiness) {
    const ReadinessCase cases[] = {
        {Card::kArmed, true, WakeOnLan::kEnabled, kYes, ""},
        {Card::kSecureOnly, true, WakeOnLan::kEnabled, kYes, ""},
        {Card::kOff, true, WakeOnLan::kDisabled, kNo, "wol-disabled"},
        {Card::kNoWakeup, true, WakeOnLan::kEnabled, kNo, "device-wakeup-disabled"},
        {Card::kUnknown, true, WakeOnLan::kUnknown, kUnknown, "wol-unknown"},
        {Card::kArmed, false, WakeOnLan::kUnsupported, kNo, "wol-unsupported"},
    };
    for (const ReadinessCase& c : cases) {
        LocalInterface eth0 = Interface("eth0", kEth0, kEth0Mac, true);
        eth0.card = c.device ? CardOf(c.card) : CardState{CardRead::kUnsupported, 0, 0, false, {}, DeviceWakeup::kNone};
        const CardReadiness readiness = JudgeCard(eth0);
        EXPECT_EQ(readiness.wakeOnLan, c.wakeOnLan) << c.hints;
        EXPECT_EQ(readiness.wakesOnMagicPacket, c.wakes) << c.hints;
        EXPECT_EQ(Codes(readiness.hints), c.hints);
    }
}

TEST(WakeDiagnosis, ModeLettersAndHintTexts) {
    char letters[16];
    FormatWakeModes(kWakePhy | kWakeUnicast | kWakeMulticast | kWakeBroadcast | kWakeMagic, letters, sizeof letters);
    EXPECT_STREQ(letters, "pumbg");
    FormatWakeModes(0, letters, sizeof letters);
    EXPECT_STREQ(letters, "d");
    Hint hint{HintCode::kWrongInterface, "eth1", "wlan0"};
    char text[20];
    EXPECT_EQ(ExpandHintText("on %2, not %1 (%3)", hint, text, sizeof text), 19);
    EXPECT_STREQ(text, "on wlan0, not eth1 ");  // cut to the buffer, terminated
    for (int i = 0; i < kHintCount; ++i) EXPECT_EQ(static_cast<int>(kHints[i].code), i) << kHints[i].name;
}

}  // namespace
