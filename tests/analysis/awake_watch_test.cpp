// Did it wake: which frames are signs of a running system, and the outcome
// of each wake attempt by the capture's clock.
#include "analysis/awake_watch.h"
#include "analysis/wake_signs.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using packet::Bytes;
const unsigned char* const kSource6 = packet::kTestSource6;

constexpr int kIpv4 = 0x0800, kIpv6 = 0x86DD, kArp = 0x0806;
const Bytes kHere = {10, 0, 0, 2}, kRouter = {10, 0, 0, 1}, kUnspecified = {0, 0, 0, 0};

// The builder leaves the IPv4 total length 0; captured datagrams carry theirs.
Bytes Sized(Bytes d) {
    d[2] = static_cast<unsigned char>(d.size() >> 8), d[3] = static_cast<unsigned char>(d.size());
    return d;
}

struct SignCase {
    const char* name;
    int etherType;
    Bytes bytes;
    const char* code;  // "": no sign
    const char* text;
    int family;  // of the source it names
};

const SignCase kSignCases[] = {
    {"DHCP request", kIpv4, Sized(packet::Dhcp(1)), "dhcp", "DHCP request", 4},
    {"TCP", kIpv4, Sized(packet::Datagram(Bytes(20, 0), 80, 6)), "ipv4", "IPv4 traffic", 4},
    {"UDP magic packet", kIpv4, Sized(packet::Datagram(packet::MagicPayload())), "", "", 0},
    {"ARP request", kArp, packet::Arp(1, kHere, kRouter), "arp", "ARP request", 0},
    {"ARP announcement", kArp, packet::Arp(1, kHere, kHere), "arp", "ARP announcement", 0},
    {"ARP probe", kArp, packet::Arp(1, kUnspecified, kHere), "arp", "ARP probe", 0},
    {"ARP reply, as offload sends it", kArp, packet::Arp(2, kHere, kRouter), "", "", 0},
    {"router solicitation", kIpv6, packet::Ipv6Packet(58, {}, packet::Icmpv6(133)), "ipv6-nd",
     "IPv6 router solicitation", 6},
    {"neighbour solicitation", kIpv6, packet::Ipv6Packet(58, {}, packet::Icmpv6(135)), "ipv6-nd",
     "IPv6 neighbour solicitation", 6},
    {"neighbour advertisement, as offload sends it", kIpv6, packet::Ipv6Packet(58, {}, packet::Icmpv6(136)), "",
     "", 0},
    {"MLDv2 report behind hop-by-hop", kIpv6, packet::Ipv6Packet(0, packet::Ipv6Extension(58), packet::Icmpv6(143)),
     "ipv6-mld", "IPv6 multicast listener report", 6},
    {"MLDv1 done behind hop-by-hop", kIpv6, packet::Ipv6Packet(0, packet::Ipv6Extension(58), packet::Icmpv6(132)),
     "ipv6-mld", "IPv6 multicast listener done", 6},
    {"UDP over IPv6", kIpv6, packet::Ipv6Datagram(Bytes(20, 0x11)), "ipv6", "IPv6 traffic", 6},
    {"IPv6 magic packet behind hop-by-hop", kIpv6,
     packet::Ipv6Datagram(packet::MagicPayload(), 0, packet::Ipv6Extension(packet::kNextUdp)), "", "", 0},
    {"0x0842 magic packet", 0x0842, packet::MagicPayload(), "", "", 0},
    {"LLDP", 0x88CC, Bytes(46, 0x02), "", "", 0},
    {"PAUSE", 0x8808, Bytes(46, 0xFF), "", "", 0},
    {"another EtherType", 0x88B5, Bytes(46, 0), "other", "other traffic", 0},
};

// Classified from an exact-size heap copy, so the sanitizers see any read past it.
WakeSign Classify(const SignCase& c, std::size_t length, WakeSignSource* source) {
    const Bytes copy(c.bytes.begin(), c.bytes.begin() + static_cast<long>(length));
    return ClassifyWakeSign(c.etherType, copy.empty() ? nullptr : copy.data(), static_cast<int>(length), source);
}

TEST(WakeSigns, EachFrame) {
    for (const SignCase& c : kSignCases) {
        SCOPED_TRACE(c.name);
        WakeSignSource source{};
        const WakeSignInfo& info = WakeSignInfoOf(Classify(c, c.bytes.size(), &source));
        EXPECT_STREQ(info.code, c.code);
        EXPECT_STREQ(info.text, c.text);
        if (c.family == 0) continue;
        EXPECT_EQ(source.family, c.family);
        const Bytes expected = c.family == 4 ? Bytes{192, 168, 1, 20} : Bytes(kSource6, kSource6 + 16);
        EXPECT_EQ(Bytes(source.address, source.address + expected.size()), expected);
    }
}

// A cut frame may lose its sign, never gain one: a card's cut reply is no
// sign of a running system, nor is a cut magic packet.
TEST(WakeSigns, CutShortIsItsOwnSignOrNone) {
    for (const SignCase& c : kSignCases) {
        for (std::size_t length = 0; length < c.bytes.size(); ++length) {
            SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(length));
            WakeSignSource source{};
            const std::string code = WakeSignInfoOf(Classify(c, length, &source)).code;
            EXPECT_TRUE(code.empty() || code == c.code) << code;
        }
    }
}

// --- outcomes ---

constexpr WatchTime kT0 = 1772917503 * kMicrosecondsPerSecond;
const unsigned char kTarget[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const unsigned char kOther[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F};
const WakeSignSource kFrom{4, {10, 0, 0, 2}};

enum Kind { kMagic, kSign, kTick };
struct Event {
    Kind kind;
    double at;  // seconds after kT0
    WakeSign sign = WakeSign::kArpAnnouncement;
    const unsigned char* mac = kTarget;
};

WatchTime At(double seconds) { return kT0 + static_cast<WatchTime>(seconds * kMicrosecondsPerSecond); }

// "woke 3.1 dhcp 10.0.0.2 x1 eth0 @3.1": the outcome, its seconds, evidence
// and its source, the attempt's packets, interface, and the outcome's time.
void Collect(const WakeOutcomeRecord& r, void* context) {
    const char* code = WakeSignInfoOf(r.evidence).code;
    char text[128];
    std::snprintf(text, sizeof text, "%s %.1f %s %s x%d %s @%.1f", WakeOutcomeWord(r.outcome), r.seconds,
                  *code != '\0' ? code : "-", r.source.family == 4 ? "10.0.0.2" : "-", r.magicPackets,
                  r.interfaceName, static_cast<double>(r.time - kT0) / kMicrosecondsPerSecond);
    static_cast<std::vector<std::string>*>(context)->push_back(text);
}

struct Watch {
    std::unique_ptr<AwakeWatch> watch = std::make_unique<AwakeWatch>();
    std::vector<std::string> outcomes;
    Watch() { StartAwakeWatch(watch.get(), kDefaultAwakeWindow, Collect, &outcomes); }
    void Feed(const Event& e) {
        if (e.kind == kMagic) NoteMagicPacket(watch.get(), e.mac, At(e.at), "eth0");
        if (e.kind == kSign) NoteWakeSign(watch.get(), e.mac, At(e.at), e.sign, kFrom);
        if (e.kind == kTick) AdvanceAwakeWatch(watch.get(), At(e.at));
    }
};

struct OutcomeCase {
    const char* name;
    std::vector<Event> events;  // then the capture ends
    std::vector<std::string> outcomes;
};

const WakeSign kDhcp = WakeSign::kDhcpRequest, kNoSign = WakeSign::kNone;

const OutcomeCase kOutcomeCases[] = {
    {"woke", {{kMagic, 0}, {kSign, 1, kNoSign}, {kSign, 3.1, kDhcp}}, {"woke 3.1 dhcp 10.0.0.2 x1 eth0 @3.1"}},
    {"packets join their attempt", {{kMagic, 0}, {kMagic, 2}, {kMagic, 4}, {kSign, 5}},
     {"woke 5.0 arp 10.0.0.2 x3 eth0 @5.0"}},
    {"another MAC's sign", {{kMagic, 0}, {kSign, 1, kDhcp, kOther}, {kTick, 2}}, {"no_sign 2.0 - - x1 eth0 @2.0"}},
    {"already awake", {{kSign, 0}, {kMagic, 299}}, {"already_awake 299.0 arp 10.0.0.2 x1 eth0 @299.0"}},
    {"awake longer ago than the window", {{kSign, 0}, {kMagic, 301}, {kTick, 400}},
     {"no_sign 99.0 - - x1 eth0 @400.0"}},
    {"no sign within the window", {{kMagic, 0}, {kTick, 299.9}, {kTick, 300}, {kSign, 301}},
     {"no_sign 300.0 - - x1 eth0 @300.0"}},
    // A resend just after the wake, and the second attempt's burst, add no outcome.
    {"two attempts in a row", {{kMagic, 0}, {kSign, 3}, {kMagic, 5}, {kMagic, 30}, {kMagic, 31}, {kMagic, 39}},
     {"woke 3.0 arp 10.0.0.2 x1 eth0 @3.0", "already_awake 27.0 arp 10.0.0.2 x1 eth0 @30.0"}},
    {"a burst's gap past, a new attempt", {{kSign, 0}, {kMagic, 1}, {kMagic, 12}},
     {"already_awake 1.0 arp 10.0.0.2 x1 eth0 @1.0", "already_awake 12.0 arp 10.0.0.2 x1 eth0 @12.0"}},
    {"the clock goes back", {{kMagic, 10}, {kSign, 9.5}}, {"woke 0.0 arp 10.0.0.2 x1 eth0 @10.0"}},
    {"a sign before the clock went back", {{kSign, 10}, {kMagic, 9.5}},
     {"already_awake 0.0 arp 10.0.0.2 x1 eth0 @9.5"}},
};

TEST(AwakeWatch, Outcomes) {
    for (const OutcomeCase& c : kOutcomeCases) {
        SCOPED_TRACE(c.name);
        Watch w;
        for (const Event& e : c.events) w.Feed(e);
        FinishAwakeWatch(w.watch.get());
        EXPECT_EQ(w.outcomes, c.outcomes);
    }
}

std::vector<unsigned char> Mac(int n) {
    return {0x02, 0x4C, static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 8),
            static_cast<unsigned char>(n), 0x01};
}

// One attempt more than there is room for: the oldest ends as no_sign,
// watched until then, and its target's later sign wakes nothing.
TEST(AwakeWatch, AFullAttemptTableClosesTheOldest) {
    Watch w;
    for (int i = 0; i <= kOpenAttemptCapacity; ++i) NoteMagicPacket(w.watch.get(), Mac(i).data(), At(i), "eth0");
    NoteWakeSign(w.watch.get(), Mac(0).data(), At(100), kDhcp, kFrom);
    NoteWakeSign(w.watch.get(), Mac(1).data(), At(100), kDhcp, kFrom);
    EXPECT_EQ(w.outcomes, (std::vector<std::string>{"no_sign 64.0 - - x1 eth0 @64.0",
                                                    "woke 99.0 dhcp 10.0.0.2 x1 eth0 @100.0"}));
}

// Four times as many senders as there is room for: the first one heard is
// forgotten, the last one remembered.
TEST(AwakeWatch, AFullSenderTableForgetsTheLongestSilent) {
    Watch w;
    constexpr int kSenders = 4 * kHeardCapacity;
    for (int i = 0; i < kSenders; ++i) NoteWakeSign(w.watch.get(), Mac(i).data(), At(i * 0.001), kDhcp, kFrom);
    NoteMagicPacket(w.watch.get(), Mac(0).data(), At(20), "eth0");
    NoteMagicPacket(w.watch.get(), Mac(kSenders - 1).data(), At(20), "eth0");
    EXPECT_EQ(w.outcomes, (std::vector<std::string>{"already_awake 3.6 dhcp 10.0.0.2 x1 eth0 @20.0"}));
}

}  // namespace
