// Reading ARP, neighbour discovery and DHCP requests for addresses, and the
// questions no one answers.
#include "analysis/neighbour_watch.h"

#include <cstdio>
#include <cstring>

#include "analysis/frame_fields.h"
#include "analysis/ipv6_wake.h"

namespace {

using namespace frame_fields;

constexpr int kFamilyIpv4 = 4;
constexpr int kFamilyIpv6 = 6;
constexpr int kIpv4Length = 4;

// ARP for IPv4 over Ethernet (RFC 826): sender MAC and address, target MAC and address.
constexpr int kArpSenderMacOffset = kArpAddressesOffset;
constexpr int kArpSenderOffset = kArpSenderMacOffset + kMacLength;
constexpr int kArpTargetOffset = kArpSenderOffset + kIpv4Length + kMacLength;
constexpr int kArpLength = 28;
constexpr int kArpReply = 2;

// ICMPv6 neighbour discovery (RFC 4861): the target address after 8 bytes.
constexpr int kNeighbourTargetOffset = 8;
constexpr int kNeighbourMessageLength = kNeighbourTargetOffset + kNeighbourAddressLength;

// A DHCP request (RFC 2131) names the address it wants in ciaddr or option 50.
constexpr int kBootpClientAddressOffset = 12;
constexpr int kBootpClientMacOffset = 28;
constexpr int kBootpCookieOffset = 236;
constexpr unsigned char kDhcpCookie[] = {0x63, 0x82, 0x53, 0x63};
constexpr int kDhcpOptionsOffset = 240;
constexpr unsigned char kOptionPad = 0;
constexpr unsigned char kOptionRequestedAddress = 50;
constexpr unsigned char kOptionEnd = 255;

constexpr std::uint64_t kFibonacciMultiplier = 0x9E3779B97F4A7C15;  // 2^64 / golden ratio
constexpr int kKeyBits = 64;
constexpr int kKnownMask = kKnownAddressCapacity - 1;

int AddressLength(int family) { return family == kFamilyIpv4 ? kIpv4Length : kNeighbourAddressLength; }

bool IsUnspecified(const unsigned char* address, int length) {
    for (int i = 0; i < length; ++i)
        if (address[i] != 0) return false;
    return true;
}

bool ReadArp(const unsigned char* arp, int length, NeighbourMessage* m) {
    if (length < kArpLength || arp[kArpHardwareLengthOffset] != kMacLength ||
        arp[kArpProtocolLengthOffset] != kIpv4Length)
        return false;
    const int operation = ReadWord(arp + kArpOperationOffset);
    if (operation != kArpRequest && operation != kArpReply) return false;
    m->family = kFamilyIpv4;
    m->namesSenderMac = true;
    std::memcpy(m->senderMac, arp + kArpSenderMacOffset, kMacLength);
    std::memcpy(m->sender, arp + kArpSenderOffset, kIpv4Length);
    std::memcpy(m->target, arp + kArpTargetOffset, kIpv4Length);
    if (operation == kArpReply) {
        std::memcpy(m->target, m->sender, kIpv4Length);  // a reply answers for the sender's own address
        m->kind = NeighbourKind::kAnswer;
        return true;
    }
    const bool probe = IsUnspecified(m->sender, kIpv4Length);
    const bool announcement = std::memcmp(m->sender, m->target, kIpv4Length) == 0;
    m->kind = probe || announcement ? NeighbourKind::kClaim : NeighbourKind::kQuestion;
    return true;
}

bool ReadNeighbourDiscovery(const unsigned char* ip, int length, NeighbourMessage* m) {
    if (length < kIpv6HeaderLength || ip[0] >> kIpVersionShift != kFamilyIpv6) return false;
    int next = ip[kIpv6NextHeaderOffset];
    int at = kIpv6HeaderLength;
    if (!SkipIpv6Extensions(ip, length, &next, &at) || at < 0 || next != kIcmpv6) return false;
    if (at + kNeighbourMessageLength > length) return false;
    const unsigned char type = ip[at];
    if (type != kNeighbourSolicitation && type != kNeighbourAdvertisement) return false;
    m->family = kFamilyIpv6;
    std::memcpy(m->sender, ip + kIpv6SourceOffset, kNeighbourAddressLength);
    std::memcpy(m->target, ip + at + kNeighbourTargetOffset, kNeighbourAddressLength);
    if (type == kNeighbourAdvertisement)
        m->kind = NeighbourKind::kAnswer;
    else  // from ::, a duplicate address check of an address the sender wants
        m->kind = IsUnspecified(m->sender, kNeighbourAddressLength) ? NeighbourKind::kClaim : NeighbourKind::kQuestion;
    return true;
}

// Option 50 of a DHCP request's options, options[0, length); false when absent.
bool RequestedAddress(const unsigned char* options, int length, unsigned char* address) {
    for (int at = 0; at < length && options[at] != kOptionEnd;) {
        if (options[at] == kOptionPad) {
            ++at;
            continue;
        }
        if (at + 1 >= length || at + 2 + options[at + 1] > length) return false;
        if (options[at] == kOptionRequestedAddress && options[at + 1] == kIpv4Length) {
            std::memcpy(address, options + at + 2, kIpv4Length);
            return true;
        }
        at += 2 + options[at + 1];
    }
    return false;
}

bool ReadDhcpRequest(const unsigned char* ip, int length, NeighbourMessage* m) {
    if (length < kIpv4MinHeaderLength || ip[0] >> kIpVersionShift != kFamilyIpv4) return false;
    const int header = (ip[0] & kIpv4IhlMask) * kIpv4BytesPerIhlWord;
    if (ip[kIpv4ProtocolOffset] != kProtocolUdp || header < kIpv4MinHeaderLength) return false;
    const int bootp = header + kUdpHeaderLength;
    if (bootp + kDhcpOptionsOffset > length) return false;
    const unsigned char* udp = ip + header;
    if (ReadWord(udp + kUdpSourcePortOffset) != kDhcpClientPort ||
        ReadWord(udp + kUdpDestinationPortOffset) != kDhcpServerPort || ip[bootp] != kBootRequest ||
        std::memcmp(ip + bootp + kBootpCookieOffset, kDhcpCookie, sizeof kDhcpCookie) != 0)
        return false;
    m->family = kFamilyIpv4;
    m->kind = NeighbourKind::kClaim;
    m->namesSenderMac = true;
    std::memcpy(m->senderMac, ip + bootp + kBootpClientMacOffset, kMacLength);
    std::memcpy(m->sender, ip + bootp + kBootpClientAddressOffset, kIpv4Length);
    std::memcpy(m->target, m->sender, kIpv4Length);
    const int options = bootp + kDhcpOptionsOffset;
    RequestedAddress(ip + options, length - options, m->target);
    return !IsUnspecified(m->target, kIpv4Length);
}

// --- the watch ---

std::uint64_t HashOf(int family, const unsigned char* address) {
    std::uint64_t hash = static_cast<std::uint64_t>(family);
    for (int i = 0; i < AddressLength(family); ++i) hash = hash * kFibonacciMultiplier + address[i];
    return hash;
}

int HomeSlot(int family, const unsigned char* address) {
    return static_cast<int>((HashOf(family, address) * kFibonacciMultiplier) >> (kKeyBits - kKnownAddressBits));
}

bool Holds(const KnownAddress& slot, int family, const unsigned char* address) {
    return slot.family == family && std::memcmp(slot.address, address, static_cast<std::size_t>(AddressLength(family))) == 0;
}

KnownAddress* FindKnown(NeighbourWatch* watch, int family, const unsigned char* address) {
    const int home = HomeSlot(family, address);
    for (int probe = 0; probe < kKnownAddressProbes; ++probe) {
        KnownAddress& slot = watch->known[(home + probe) & kKnownMask];
        if (Holds(slot, family, address)) return &slot;
        if (slot.family == 0) return nullptr;
    }
    return nullptr;
}

// The address's slot, a free one, or else the stalest of its probes.
void Learn(NeighbourWatch* watch, int family, const unsigned char* address, const unsigned char* mac, NeighbourTime time) {
    if (IsUnspecified(address, AddressLength(family))) return;
    const int home = HomeSlot(family, address);
    KnownAddress* chosen = nullptr;
    for (int probe = 0; probe < kKnownAddressProbes; ++probe) {
        KnownAddress* slot = &watch->known[(home + probe) & kKnownMask];
        if (Holds(*slot, family, address) || slot->family == 0) {
            chosen = slot;
            break;
        }
        if (chosen == nullptr || slot->time < chosen->time) chosen = slot;
    }
    chosen->family = family;
    std::memcpy(chosen->address, address, static_cast<std::size_t>(AddressLength(family)));
    std::memcpy(chosen->mac, mac, kMacLength);
    chosen->time = time;
}

bool SameQuestion(const UnansweredRecord& r, const unsigned char* askerMac, int family, const unsigned char* target) {
    return r.family == family && std::memcmp(r.askerMac, askerMac, kMacLength) == 0 &&
           std::memcmp(r.target, target, static_cast<std::size_t>(AddressLength(family))) == 0;
}

// Ends open question `index`, the last taking its place; a question asked
// again is a record.
void Close(NeighbourWatch* watch, int index) {
    const UnansweredRecord record = watch->open[index].record;
    watch->open[index] = watch->open[--watch->openCount];
    if (record.count >= 2 && watch->handler != nullptr) watch->handler(record, watch->context);
}

void CloseOldest(NeighbourWatch* watch) {
    int oldest = 0;
    for (int i = 1; i < watch->openCount; ++i)
        if (watch->open[i].record.last < watch->open[oldest].record.last) oldest = i;
    Close(watch, oldest);
}

void Ask(NeighbourWatch* watch, const unsigned char* askerMac, const NeighbourMessage& m, const KnownAddress& known,
         NeighbourTime time, const char* interfaceName) {
    for (int i = 0; i < watch->openCount; ++i) {
        UnansweredRecord& r = watch->open[i].record;
        if (!SameQuestion(r, askerMac, m.family, m.target)) continue;
        ++r.count;
        r.last = time;
        return;
    }
    if (watch->openCount == kOpenQuestionCapacity) CloseOldest(watch);
    UnansweredRecord& r = watch->open[watch->openCount++].record;
    r = UnansweredRecord{};
    r.family = m.family;
    std::memcpy(r.target, m.target, sizeof r.target);
    std::memcpy(r.targetMac, known.mac, kMacLength);
    std::memcpy(r.askerMac, askerMac, kMacLength);
    std::memcpy(r.asker, m.sender, sizeof r.asker);
    r.count = 1;
    r.first = r.last = time;
    std::snprintf(r.interfaceName, sizeof r.interfaceName, "%s", interfaceName != nullptr ? interfaceName : "");
}

// Its owner answered, or spoke for it: whoever asked had an answer.
void Answered(NeighbourWatch* watch, int family, const unsigned char* address) {
    for (int i = 0; i < watch->openCount;) {
        const UnansweredRecord& r = watch->open[i].record;
        if (r.family == family && std::memcmp(r.target, address, static_cast<std::size_t>(AddressLength(family))) == 0)
            watch->open[i] = watch->open[--watch->openCount];  // dropped, not recorded
        else
            ++i;
    }
}

}  // namespace

bool ReadNeighbourMessage(int etherType, const unsigned char* bytes, int length, NeighbourMessage* message) {
    if (bytes == nullptr || message == nullptr || length <= 0) return false;
    *message = NeighbourMessage{};
    if (etherType == kEtherTypeArp) return ReadArp(bytes, length, message);
    if (etherType == kEtherTypeIpv6) return ReadNeighbourDiscovery(bytes, length, message);
    if (etherType == kEtherTypeIpv4) return ReadDhcpRequest(bytes, length, message);
    return false;
}

void StartNeighbourWatch(NeighbourWatch* watch, UnansweredHandler handler, void* context) {
    std::memset(watch, 0, sizeof *watch);
    watch->handler = handler;
    watch->context = context;
}

void NoteNeighbourMessage(NeighbourWatch* watch, const unsigned char* sourceMac, const NeighbourMessage& m,
                          NeighbourTime time, const char* interfaceName) {
    AdvanceNeighbourWatch(watch, time);
    const unsigned char* mac = m.namesSenderMac ? m.senderMac : sourceMac;
    // What it says of its sender's own address, the one it answers for too.
    Learn(watch, m.family, m.sender, mac, time);
    if (!IsUnspecified(m.sender, AddressLength(m.family))) Answered(watch, m.family, m.sender);
    if (m.kind == NeighbourKind::kClaim || m.kind == NeighbourKind::kAnswer) {
        Learn(watch, m.family, m.target, mac, time);
        Answered(watch, m.family, m.target);
        return;
    }
    if (m.kind != NeighbourKind::kQuestion) return;
    const KnownAddress* known = FindKnown(watch, m.family, m.target);
    // Only a known address has a MAC to name; a host asking for its own is no router.
    if (known != nullptr && std::memcmp(known->mac, mac, kMacLength) != 0)
        Ask(watch, mac, m, *known, time, interfaceName);
}

bool AwaitsAnswer(const NeighbourWatch& watch) { return watch.openCount > 0; }

void AdvanceNeighbourWatch(NeighbourWatch* watch, NeighbourTime time) {
    if (time > watch->now) watch->now = time;
    for (int i = 0; i < watch->openCount;) {
        if (watch->now - watch->open[i].record.last > kAskAgainWindow)
            Close(watch, i);  // the last takes slot i, looked at next
        else
            ++i;
    }
}

void FinishNeighbourWatch(NeighbourWatch* watch) {
    while (watch->openCount > 0) Close(watch, 0);
}
