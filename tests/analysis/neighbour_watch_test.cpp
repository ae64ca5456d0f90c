// Who asks for a sleeping target: the questions asked again with no answer
// seen, from the frames a monitor on the target's segment sees.
#include "analysis/neighbour_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "packet_builder.h"

namespace {

using packet::Bytes;

constexpr int kArp = 0x0806, kIpv4 = 0x0800, kIpv6 = 0x86DD;
constexpr NeighbourTime kSecond = kMicrosecondsPerSecond;
const Bytes kTarget = {10, 0, 2, 5}, kRouter = {10, 0, 2, 1}, kOther = {10, 0, 2, 9}, kNone = {0, 0, 0, 0};
constexpr unsigned char kTargetMac = 0x05, kRouterMac = 0x01, kOtherMac = 0x09;  // last byte of 02:4C:55:00:00:NN

struct Frame {
    double at;  // seconds
    unsigned char mac;
    int etherType;
    Bytes bytes;
};

// An ARP packet whose sender is 02:4C:55:00:00:`mac`.
Frame ArpFrom(double at, unsigned char mac, int operation, const Bytes& sender, const Bytes& target) {
    Bytes arp = packet::Arp(operation, sender, target);
    const unsigned char full[kMacLength] = {0x02, 0x4C, 0x55, 0x00, 0x00, mac};
    std::memcpy(&arp[8], full, kMacLength);
    return {at, mac, kArp, arp};
}

Frame Ask(double at, unsigned char mac = kRouterMac, const Bytes& sender = kRouter, const Bytes& target = kTarget) {
    return ArpFrom(at, mac, 1, sender, target);
}

// A neighbour message from `source` about the last byte of fd00::NN.
Frame Neighbour(double at, unsigned char mac, unsigned char type, unsigned char source, unsigned char target) {
    Bytes icmp = packet::Icmpv6(type);
    icmp[8] = 0xFD, icmp[23] = target;
    Bytes from(16, 0);
    if (source != 0) from[0] = 0xFD, from[15] = source;
    Bytes ip = packet::Ipv6Packet(58, {}, icmp);
    std::copy(from.begin(), from.end(), ip.begin() + 8);  // the source address
    return {at, mac, kIpv6, ip};
}

// "10.0.2.5 of :05 asked by 10.0.2.1 of :01 x3 from 1 to 3 s on eth0"
std::string Describe(const UnansweredRecord& r) {
    char text[160];
    const int length = r.family == 4 ? 4 : 16;
    std::string target, asker;
    for (int i = 0; i < length; ++i) target += std::to_string(r.target[i]) + (i + 1 < length ? "." : "");
    for (int i = 0; i < length; ++i) asker += std::to_string(r.asker[i]) + (i + 1 < length ? "." : "");
    std::snprintf(text, sizeof text, "%s of :%02X asked by %s of :%02X x%d from %g to %g s on %s", target.c_str(),
                  r.targetMac[5], asker.c_str(), r.askerMac[5], r.count, static_cast<double>(r.first) / kSecond,
                  static_cast<double>(r.last) / kSecond, r.interfaceName);
    return text;
}

void Collect(const UnansweredRecord& r, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(Describe(r));
}

std::vector<std::string> Watch(const std::vector<Frame>& frames) {
    static NeighbourWatch watch;
    std::vector<std::string> records;
    StartNeighbourWatch(&watch, Collect, &records);
    for (const Frame& f : frames) {
        NeighbourMessage m{};
        if (!ReadNeighbourMessage(f.etherType, f.bytes.data(), static_cast<int>(f.bytes.size()), &m)) continue;
        const unsigned char source[kMacLength] = {0x02, 0x4C, 0x55, 0x00, 0x00, f.mac};
        NoteNeighbourMessage(&watch, source, m, static_cast<NeighbourTime>(f.at * kSecond), "eth0");
    }
    FinishNeighbourWatch(&watch);
    return records;
}

const std::string kThreeAsked = "10.0.2.5 of :05 asked by 10.0.2.1 of :01 x3 from 1 to 3 s on eth0";
// The target says where it lives (an announcement), then sleeps.
const Frame kAnnounced = ArpFrom(0, kTargetMac, 1, kTarget, kTarget);

struct Case {
    const char* what;
    std::vector<Frame> frames;
    std::vector<std::string> records;
};

const Case kCases[] = {
    {"asked once, no more: it was answered, though the reply went to the router alone", {kAnnounced, Ask(1)}, {}},
    {"asked three times a second apart: unanswered", {kAnnounced, Ask(1), Ask(2), Ask(3)}, {kThreeAsked}},
    {"the target's own reply seen", {kAnnounced, Ask(1), ArpFrom(1.1, kTargetMac, 2, kTarget, kRouter), Ask(2)}, {}},
    {"the target speaks for itself", {kAnnounced, Ask(1), Ask(1.5, kTargetMac, kTarget, kRouter), Ask(2)}, {}},
    {"an address no host has said is its own", {Ask(1), Ask(2), Ask(3)}, {}},
    {"asked again only after the window", {kAnnounced, Ask(1), Ask(1 + 6)}, {}},
    {"two bursts, the second after the window",
     {kAnnounced, Ask(1), Ask(2), Ask(3), Ask(20), Ask(21)},
     {kThreeAsked, "10.0.2.5 of :05 asked by 10.0.2.1 of :01 x2 from 20 to 21 s on eth0"}},
    {"two askers are two questions",
     {kAnnounced, Ask(1), Ask(1, kOtherMac, kOther), Ask(2)},
     {"10.0.2.5 of :05 asked by 10.0.2.1 of :01 x2 from 1 to 2 s on eth0"}},
    {"a DHCP request names the address, DAD and an NS the IPv6 one",
     {Neighbour(0, kTargetMac, 135, 0, 0x05), Neighbour(1, kRouterMac, 135, 0x01, 0x05),
      Neighbour(2, kRouterMac, 135, 0x01, 0x05)},
     {"253.0.0.0.0.0.0.0.0.0.0.0.0.0.0.5 of :05 asked by 253.0.0.0.0.0.0.0.0.0.0.0.0.0.0.1 of :01 x2 from 1 to 2 s "
      "on eth0"}},
    {"a neighbour advertisement answers", {Neighbour(0, kTargetMac, 135, 0, 0x05), Neighbour(1, kRouterMac, 135, 0x01, 0x05),
      Neighbour(1.2, kTargetMac, 136, 0x05, 0x05), Neighbour(2, kRouterMac, 135, 0x01, 0x05)}, {}},
};

TEST(NeighbourWatch, QuestionsAskedAgainWithNoAnswerSeen) {
    for (const Case& c : kCases) EXPECT_EQ(Watch(c.frames), c.records) << c.what;
}

// A DHCP request's option 50 says where its client will live.
TEST(NeighbourWatch, ADhcpRequestNamesTheAddress) {
    Bytes dhcp = packet::Dhcp(1);
    const int options = packet::kIpHeaderLength + packet::kUdpHeaderLength + 240;
    dhcp.resize(static_cast<std::size_t>(options));
    dhcp.insert(dhcp.end(), {50, 4, 10, 0, 2, 5, 255});
    std::memcpy(&dhcp[packet::kIpHeaderLength + packet::kUdpHeaderLength + 28], "\x02\x4C\x55\x00\x00\x05", 6);
    EXPECT_EQ(Watch({{0, kTargetMac, kIpv4, dhcp}, Ask(1), Ask(2), Ask(3)}), std::vector<std::string>{kThreeAsked});
    dhcp.resize(dhcp.size() - 3);  // the option cut short: no address
    EXPECT_EQ(Watch({{0, kTargetMac, kIpv4, dhcp}, Ask(1), Ask(2), Ask(3)}), std::vector<std::string>{});
}

// Hostile traffic fills every table; the watch stays bounded and still
// records the router that asks again.
TEST(NeighbourWatch, TablesFullOfHostileSendersStayBounded) {
    std::vector<Frame> frames = {kAnnounced};
    for (int i = 0; i < 3 * kKnownAddressCapacity; ++i)  // claims for as many addresses
        frames.push_back(ArpFrom(0.5, static_cast<unsigned char>(0x40 + i % 64), 1,
                                 {10, 1, static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)},
                                 {10, 1, static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)}));
    frames.push_back(kAnnounced);  // said again: the target's address is known
    for (int i = 0; i < kOpenQuestionCapacity + 36; ++i)  // more askers than questions are kept, each once
        frames.push_back(Ask(0.9, static_cast<unsigned char>(0x80 + i), {10, 0, 3, static_cast<unsigned char>(i)}));
    for (double at : {1.0, 2.0, 3.0}) frames.push_back(Ask(at));
    EXPECT_EQ(Watch(frames), std::vector<std::string>{kThreeAsked});
}

TEST(NeighbourWatch, OnlyWholeMessagesAreRead) {
    const Bytes arp = packet::Arp(1, kRouter, kTarget);
    NeighbourMessage m{};
    for (std::size_t length = 0; length < arp.size(); ++length)
        EXPECT_FALSE(ReadNeighbourMessage(kArp, arp.data(), static_cast<int>(length), &m)) << length;
    EXPECT_TRUE(ReadNeighbourMessage(kArp, arp.data(), static_cast<int>(arp.size()), &m));
    EXPECT_EQ(m.kind, NeighbourKind::kQuestion);
    EXPECT_FALSE(ReadNeighbourMessage(kArp, packet::Arp(3, kRouter, kTarget).data(), 28, &m));  // RARP
    EXPECT_TRUE(ReadNeighbourMessage(kArp, packet::Arp(1, kNone, kTarget).data(), 28, &m));
    EXPECT_EQ(m.kind, NeighbourKind::kClaim);
}

}  // namespace
