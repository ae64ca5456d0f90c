#include "analysis/wake_signs.h"

#include "analysis/ethernet_wake.h"
#include "analysis/frame_fields.h"
#include "analysis/ipv6_wake.h"
#include "analysis/magic_packet.h"

#include <cstring>

namespace {

using namespace frame_fields;

constexpr int kEtherTypeLldp = 0x88CC;        // the card's firmware speaks it, awake or not
constexpr int kEtherTypeMacControl = 0x8808;  // 802.3 PAUSE: the card's hardware, not the system

constexpr int kIpv4AddressLength = 4;

constexpr int kIpv4FragmentOffset = 6;
constexpr int kIpv4FragmentMask = 0x1FFF;

constexpr unsigned char kMldQuery = 130;
constexpr unsigned char kMldReport = 131;
constexpr unsigned char kMldDone = 132;
constexpr unsigned char kRouterSolicitation = 133;
constexpr unsigned char kMldv2Report = 143;

enum class MagicSearch { kSearch, kSkip };

const WakeSignInfo kSignInfo[static_cast<int>(WakeSign::kCount)] = {
    {"", ""},
    {"dhcp", "DHCP request"},
    {"arp", "ARP request"},
    {"arp", "ARP probe"},
    {"arp", "ARP announcement"},
    {"ipv6-nd", "IPv6 router solicitation"},
    {"ipv6-nd", "IPv6 neighbour solicitation"},
    {"ipv6-mld", "IPv6 multicast listener report"},
    {"ipv6-mld", "IPv6 multicast listener done"},
    {"ipv4", "IPv4 traffic"},
    {"ipv6", "IPv6 traffic"},
    {"other", "other traffic"},
};

// Only requests: a sleeping card with ARP offload sends replies by itself.
WakeSign ClassifyArp(const unsigned char* arp, int length) {
    if (length < kArpAddressesOffset || ReadWord(arp + kArpOperationOffset) != kArpRequest) return WakeSign::kNone;
    const int hardware = arp[kArpHardwareLengthOffset];
    const int protocol = arp[kArpProtocolLengthOffset];
    if (kArpAddressesOffset + 2 * (hardware + protocol) > length) return WakeSign::kNone;
    if (protocol != kIpv4AddressLength) return WakeSign::kArpRequest;
    const unsigned char* sender = arp + kArpAddressesOffset + hardware;
    const unsigned char* target = sender + protocol + hardware;
    const unsigned char unspecified[kIpv4AddressLength] = {};
    if (std::memcmp(sender, unspecified, kIpv4AddressLength) == 0) return WakeSign::kArpProbe;
    if (std::memcmp(sender, target, kIpv4AddressLength) == 0) return WakeSign::kArpAnnouncement;
    return WakeSign::kArpRequest;
}

// Where the datagram ends by its own length field, padding left out, and
// whether the capture holds all of it.
struct DatagramSpan {
    int end;
    bool whole;
};

// A length below the header's says nothing (0 for a segment the capture saw
// before the card split it, or an IPv6 jumbogram): the captured bytes count.
DatagramSpan SpanOf(int declared, int headerLength, int length) {
    if (declared > length) return {length, false};
    return {declared >= headerLength ? declared : length, true};
}

// A UDP datagram cut short may be a magic packet, so it is no sign either.
bool IsUdpSign(const unsigned char* datagram, int udp, const DatagramSpan& span, MagicSearch search) {
    if (!span.whole || udp + kUdpHeaderLength > span.end) return false;
    return search == MagicSearch::kSkip || FindSyncStream(datagram, udp + kUdpHeaderLength, span.end) < 0;
}

WakeSign ClassifyIpv4(const unsigned char* ip, int length, MagicSearch search, WakeSignSource* source) {
    if (length < kIpv4MinHeaderLength || ip[0] >> kIpVersionShift != kIpv4Version) return WakeSign::kNone;
    const int header = (ip[0] & kIpv4IhlMask) * kIpv4BytesPerIhlWord;
    if (header < kIpv4MinHeaderLength || header > length) return WakeSign::kNone;
    source->family = kIpv4Version;
    std::memcpy(source->address, ip + kIpv4SourceOffset, kIpv4AddressLength);
    if (ip[kIpv4ProtocolOffset] != kProtocolUdp || (ReadWord(ip + kIpv4FragmentOffset) & kIpv4FragmentMask) != 0)
        return WakeSign::kIpv4;  // a later fragment has no UDP header to look at
    const DatagramSpan span = SpanOf(ReadWord(ip + kIpv4TotalLengthOffset), header, length);
    if (!IsUdpSign(ip, header, span, search)) return WakeSign::kNone;
    const unsigned char* udp = ip + header;
    const bool toServer = ReadWord(udp + kUdpSourcePortOffset) == kDhcpClientPort &&
                          ReadWord(udp + kUdpDestinationPortOffset) == kDhcpServerPort;
    const int op = header + kUdpHeaderLength;
    if (toServer && op < span.end && ip[op] == kBootRequest) return WakeSign::kDhcpRequest;
    return WakeSign::kIpv4;
}

WakeSign ClassifyIcmpv6(unsigned char type) {
    switch (type) {
        case kRouterSolicitation: return WakeSign::kRouterSolicitation;
        case kNeighbourSolicitation: return WakeSign::kNeighbourSolicitation;
        case kMldReport:
        case kMldv2Report: return WakeSign::kListenerReport;
        case kMldDone: return WakeSign::kListenerDone;
        case kNeighbourAdvertisement: return WakeSign::kNone;
        case kMldQuery:
        default: return WakeSign::kIpv6;
    }
}

WakeSign ClassifyIpv6(const unsigned char* ip, int length, MagicSearch search, WakeSignSource* source) {
    if (length < kIpv6HeaderLength || ip[0] >> kIpVersionShift != kIpv6Version) return WakeSign::kNone;
    source->family = kIpv6Version;
    std::memcpy(source->address, ip + kIpv6SourceOffset, kWakeSignAddressLength);
    const DatagramSpan span =
        SpanOf(kIpv6HeaderLength + ReadWord(ip + kIpv6PayloadLengthOffset), kIpv6HeaderLength + 1, length);
    int next = ip[kIpv6NextHeaderOffset];
    int at = kIpv6HeaderLength;
    if (!SkipIpv6Extensions(ip, span.end, &next, &at)) return WakeSign::kNone;
    if (at < 0) return WakeSign::kIpv6;
    if (next == kIcmpv6) return at < span.end ? ClassifyIcmpv6(ip[at]) : WakeSign::kNone;
    if (next == kProtocolUdp && !IsUdpSign(ip, at, span, search)) return WakeSign::kNone;
    return WakeSign::kIpv6;
}

WakeSign Classify(int etherType, const unsigned char* bytes, int length, MagicSearch search,
                  WakeSignSource* source) {
    *source = WakeSignSource{};
    if (bytes == nullptr || length < 0) length = 0;
    switch (etherType) {
        case kEtherTypeIpv4: return ClassifyIpv4(bytes, length, search, source);
        case kEtherTypeIpv6: return ClassifyIpv6(bytes, length, search, source);
        case kEtherTypeArp: return ClassifyArp(bytes, length);
        case kEtherTypeWake:
        case kEtherTypeLldp:
        case kEtherTypeMacControl: return WakeSign::kNone;
        default: return WakeSign::kOther;
    }
}

}  // namespace

const WakeSignInfo& WakeSignInfoOf(WakeSign sign) {
    const int index = static_cast<int>(sign);
    return kSignInfo[index < static_cast<int>(WakeSign::kCount) ? index : 0];
}

WakeSign ClassifyWakeSign(int etherType, const unsigned char* bytes, int length, WakeSignSource* source) {
    return Classify(etherType, bytes, length, MagicSearch::kSearch, source);
}

WakeSign ClassifyNonMagicFrame(int etherType, const unsigned char* bytes, int length, WakeSignSource* source) {
    return Classify(etherType, bytes, length, MagicSearch::kSkip, source);
}
