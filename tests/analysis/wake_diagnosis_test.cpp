// Would the magic packet wake this machine, can a packet sent from here reach
// its target, would a card wake the machine: facts in, judgements and hint
// codes out. No system behind it: the machine is made up here.
#include "analysis/wake_diagnosis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr int kEth0 = 2, kVeth0 = 3, kBr0 = 4;
const unsigned char kEth0Mac[6] = {0x52, 0x54, 0x00, 0x00, 0x00, 0x10};
const unsigned char kVethMac[6] = {0x02, 0x4C, 0x55, 0x00, 0x00, 0x20};
const unsigned char kStranger[6] = {0x02, 0x4C, 0x55, 0x00, 0x00, 0x99};
const unsigned char kBc[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const unsigned char kAllNodesMac[6] = {0x33, 0x33, 0x00, 0x00, 0x00, 0x01};
const unsigned char kSecret[6] = {1, 2, 3, 4, 5, 6};
const unsigned char kWrong[6] = {1, 2, 3, 4, 5, 7};

enum Card { kArmed, kOff, kUnread, kNoWakeup, kSecureOnly, kSecureAndMagic, kVirtual, kGuestCard };

// A card that supports g, s and p, armed as each Card says, with kSecret as its SecureOn password;
// or one that could not be read, a virtual interface's, or a virtual machine's card.
CardState CardOf(Card card) {
    if (card == kUnread) return CardState{};
    if (card == kVirtual) return CardState{CardRead::kUnsupported, 0, 0, false, {}, DeviceWakeup::kNone, "veth"};
    if (card == kGuestCard) return CardState{CardRead::kUnsupported, 0, 0, false, {}, DeviceWakeup::kNone, "virtio_net"};
    const std::uint32_t enabled[] = {kWakeMagic, 0, 0, kWakeMagic, kWakeMagicSecure, kWakeMagicSecure | kWakeMagic};
    CardState state{CardRead::kRead, kWakeMagic | kWakeMagicSecure | kWakePhy, enabled[card], true, {},
                    card == kNoWakeup ? DeviceWakeup::kDisabled : DeviceWakeup::kEnabled, "e1000e"};
    std::memcpy(state.secureOn, kSecret, sizeof kSecret);
    return state;
}

LocalInterface Interface(const char* name, int index, const unsigned char* mac, Card card, std::uint32_t address) {
    LocalInterface i{};
    std::snprintf(i.name, sizeof i.name, "%s", name);
    i.index = index;
    std::memcpy(i.mac, mac, 6);
    i.hasMac = i.up = true;
    i.hasDevice = card != kVirtual;
    i.card = CardOf(card);
    if (address != 0) i.subnets[i.subnetCount++] = {address, 0xFFFFFF00, address | 0xFF};
    return i;
}

// eth0, a card on 10.0.0.2/24; veth0 on 10.1.0.2/24; br0 shares eth0's MAC.
LocalInterfaces Machine(Card card) {
    return LocalInterfaces{{Interface("eth0", kEth0, kEth0Mac, card, 0x0A000002),
                            Interface("veth0", kVeth0, kVethMac, kVirtual, 0x0A010002),
                            Interface("br0", kBr0, kEth0Mac, kVirtual, 0)},
                           3};
}

struct Ip {
    int family;
    unsigned char bytes[16];
};
const Ip kSubBc{4, {10, 0, 0, 255}}, kLimited{4, {255, 255, 255, 255}}, kUni{4, {10, 0, 0, 2}},
    kOtherBc{4, {10, 9, 9, 255}}, kAllNodes{6, {0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}}, kNoIp{0, {}},
    kNear{4, {10, 0, 0, 9}};

constexpr Tristate kYes = Tristate::kYes, kNo = Tristate::kNo, kUnknown = Tristate::kUnknown;
constexpr LinkPacketType kNR = LinkPacketType::kNotRecorded, kToHost = LinkPacketType::kToThisHost;
constexpr Delivery kB = Delivery::kBroadcast, kOther = Delivery::kOtherUnicast, kTU = Delivery::kTargetUnicast;

// Received on `receiving`; a null destination MAC leaves the link to a
// cooked header's packet type.
struct DiagnosisCase {
    const char* name;
    Card card;
    const unsigned char* target;
    const unsigned char* destinationMac;
    Ip ip;
    Tristate wouldWake;
    Delivery delivery;
    const char* hints;  // the codes, in order
    int receiving = kEth0;
    const unsigned char* password = nullptr;
    LinkPacketType packetType = kNR;
    bool wellFormed = true;
    int vlan = -1;
};

// A magic packet for a veth's own MAC, and a unicast one for a stranger, are
// the end-to-end diagnosis group's.
const DiagnosisCase kCases[] = {
    {"subnet broadcast, armed", kArmed, kEth0Mac, kBc, kSubBc, kYes, kB, ""},
    {"Wake-on-LAN off", kOff, kEth0Mac, kBc, kSubBc, kNo, kB, "wol-disabled"},
    {"state unreadable", kUnread, kEth0Mac, kBc, kSubBc, kUnknown, kB, "wol-unknown"},
    {"device may not wake", kNoWakeup, kEth0Mac, kBc, kLimited, kNo, kB, "device-wakeup-disabled"},
    {"SecureOn, its password", kSecureOnly, kEth0Mac, kBc, kLimited, kYes, kB, "", kEth0, kSecret},
    {"SecureOn, another password", kSecureOnly, kEth0Mac, kBc, kLimited, kNo, kB, "password-mismatch", kEth0, kWrong},
    {"SecureOn, none", kSecureOnly, kEth0Mac, kBc, kLimited, kNo, kB, "password-mismatch"},
    {"SecureOn and g, none", kSecureAndMagic, kEth0Mac, kBc, kLimited, kYes, kB, ""},
    {"unicast to the target", kArmed, kEth0Mac, kEth0Mac, kUni, kYes, kTU, "unicast-ip"},
    {"another subnet's broadcast", kArmed, kEth0Mac, kBc, kOtherBc, kYes, kB, "not-this-subnet"},
    {"VLAN-tagged", kArmed, kEth0Mac, kBc, kSubBc, kYes, kB, "vlan-tagged", kEth0, nullptr, kNR, true, 10},
    {"IPv6 to ff02::1", kArmed, kEth0Mac, kAllNodesMac, kAllNodes, kYes, Delivery::kMulticast, "multicast"},
    {"malformed", kArmed, kEth0Mac, kBc, kSubBc, kNo, kB, "malformed", kEth0, nullptr, kNR, false},
    {"came in on veth0 for eth0", kArmed, kEth0Mac, kBc, kLimited, kNo, kB, "wrong-interface", kVeth0},
    {"on the bridge over eth0", kArmed, kEth0Mac, kBc, kLimited, kYes, kB, "", kBr0},
    {"0x0842 to a stranger", kArmed, kEth0Mac, kStranger, kNoIp, kNo, kOther, "other-mac"},
    {"cooked broadcast", kArmed, kEth0Mac, nullptr, kLimited, kYes, kB, "", kEth0, nullptr, LinkPacketType::kBroadcast},
    {"cooked, to this host", kArmed, kEth0Mac, nullptr, kUni, kYes, kTU, "unicast-ip", kEth0, nullptr, kToHost},
    {"cooked, to this host for veth0", kArmed, kVethMac, nullptr, kUni, kNo, kOther,
     "wol-unsupported wrong-interface other-mac unicast-ip", kEth0, nullptr, kToHost},
    {"raw IP: the link not recorded", kArmed, kEth0Mac, nullptr, kSubBc, kUnknown, Delivery::kUnknown, ""},
};

std::string Codes(const Hints& hints) {
    std::string codes;
    for (int i = 0; i < hints.count; ++i) codes += (i ? " " : "") + std::string(HintInfoOf(hints.items[i].code).name);
    return codes;
}

TEST(WakeDiagnosis, FactsInWouldWakeAndHintsOut) {
    for (const DiagnosisCase& c : kCases) {
        const LocalInterfaces machine = Machine(c.card);
        const PacketFacts packet{c.target, "TARGET", c.wellFormed, c.password, c.password ? 6 : 0, c.destinationMac,
                                 c.packetType, c.vlan, c.ip.family, c.ip.family ? c.ip.bytes : nullptr, "DESTINATION",
                                 c.receiving, false, -1};
        const WakeDiagnosis d = DiagnoseMagicPacket(packet, MachineView{&machine, nullptr});
        EXPECT_EQ(d.wouldWake, c.wouldWake) << c.name;
        EXPECT_EQ(d.delivery, c.delivery) << c.name;
        EXPECT_EQ(Codes(d.hints), c.hints) << c.name;
        EXPECT_EQ(d.reason >= 0, c.wouldWake == kNo) << c.name;
    }
}

// Sent from here, by eth0: the interfaces it did not leave by, the neighbour
// table's word on 10.0.0.9, the prefix of the route it took. The plain broadcasts, 255.255.255.255 and
// the subnet's, a target known on another link, a routed unicast and a routed
// directed broadcast are the end-to-end sender group's.
struct SentCase {
    const char* name;
    Ip ip;
    const unsigned char* destinationMac;
    int routePrefix;
    NeighbourState destinationState;
    const char* hints;
    const char* secondSubject;  // of the last hint
};

constexpr NeighbourState kNoEntry = NeighbourState::kNone, kStale = NeighbourState::kStale;

const SentCase kSent[] = {
    {"unicast, entry stale", kNear, kStranger, 24, kStale, "unicast-ip", ", whose neighbour entry here is STALE"},
    {"unicast, entry reachable", kNear, kStranger, 24, NeighbourState::kReachable, "", ""},
    {"IPv6 to ff02::1", kAllNodes, kAllNodesMac, -1, kNoEntry, "one-interface-only multicast", ""},
};

TEST(WakeDiagnosis, SentFromHere) {
    const LocalInterfaces machine = Machine(kArmed);
    for (const SentCase& c : kSent) {
        NeighbourMatches neighbours{};
        if (c.destinationState != kNoEntry)
            neighbours.items[neighbours.count++] = NeighbourEntry{kEth0, 4, {10, 0, 0, 9}, {}, true, c.destinationState};
        const PacketFacts packet{kStranger, "", true, nullptr, 0, c.destinationMac, kNR, -1,
                                 c.ip.family, c.ip.bytes, "ADDRESS", kEth0, true, c.routePrefix};
        const WakeDiagnosis d = DiagnoseMagicPacket(packet, MachineView{&machine, &neighbours});
        EXPECT_EQ(Codes(d.hints), c.hints) << c.name;
        EXPECT_EQ(d.wouldWake, kUnknown) << c.name;
        if (d.hints.count > 0) EXPECT_STREQ(d.hints.items[d.hints.count - 1].second, c.secondSubject) << c.name;
    }
}

TEST(WakeDiagnosis, CardReadiness) {
    const std::tuple<Card, WakeOnLan, Tristate, const char*> cases[] = {
        {kArmed, WakeOnLan::kEnabled, kYes, ""},
        {kSecureOnly, WakeOnLan::kEnabled, kYes, ""},
        {kOff, WakeOnLan::kDisabled, kNo, "wol-disabled"},
        {kNoWakeup, WakeOnLan::kEnabled, kNo, "device-wakeup-disabled"},
        {kUnread, WakeOnLan::kUnknown, kUnknown, "wol-unknown"},
        {kVirtual, WakeOnLan::kUnsupported, kNo, "wol-unsupported"},
        {kGuestCard, WakeOnLan::kUnsupported, kNo, "vm-card"},
    };
    for (const auto& [card, wakeOnLan, wakes, hints] : cases) {
        const CardReadiness readiness = JudgeCard(Interface("eth0", kEth0, kEth0Mac, card, 0));
        EXPECT_EQ(readiness.wakeOnLan, wakeOnLan) << hints;
        EXPECT_EQ(readiness.wakesOnMagicPacket, wakes) << hints;
        EXPECT_EQ(Codes(readiness.hints), hints);
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
}

}  // namespace
