// Finding UDP and its sync stream behind IPv6's extension headers.
#include "analysis/ipv6_wake.h"

#include "analysis/frame_fields.h"
#include "analysis/magic_packet.h"

namespace {

using namespace frame_fields;

constexpr unsigned char kHopByHop = 0;
constexpr unsigned char kRouting = 43;
constexpr unsigned char kFragment = 44;
constexpr unsigned char kDestinationOptions = 60;

constexpr int kExtensionUnit = 8;  // extension lengths count 8-byte units past the first
constexpr int kExtensionLengthOffset = 1;
constexpr int kFragmentHeaderLength = 8;
constexpr int kFragmentOffsetOffset = 2;
constexpr int kFragmentOffsetMask = 0xFFF8;

// Finds the UDP header behind the extension headers a sender may put first.
// A later fragment has no UDP header, so it is not followed; false for that
// and for anything else but UDP.
bool LocateUdp(const unsigned char* datagram, int length, int* udp) {
    int next = datagram[kIpv6NextHeaderOffset];
    int at = kIpv6HeaderLength;
    if (!SkipIpv6Extensions(datagram, length, &next, &at) || at < 0 || next != kProtocolUdp) return false;
    *udp = at;
    return true;
}

}  // namespace

bool SkipIpv6Extensions(const unsigned char* ip, int end, int* next, int* offset) {
    while (*next == kHopByHop || *next == kRouting || *next == kDestinationOptions || *next == kFragment) {
        const int at = *offset;
        if (*next == kFragment) {
            if (at + kFragmentHeaderLength > end) return false;
            if ((ReadWord(ip + at + kFragmentOffsetOffset) & kFragmentOffsetMask) != 0) {
                *offset = -1;
                return true;
            }
            *offset = at + kFragmentHeaderLength;
        } else {
            if (at + kExtensionLengthOffset >= end) return false;
            *offset = at + (ip[at + kExtensionLengthOffset] + 1) * kExtensionUnit;  // always moves on
        }
        *next = ip[at];
    }
    return true;
}

bool LocateIpv6MagicPacket(const unsigned char* datagram, int length, UdpMagicPlace* place) {
    if (datagram == nullptr || place == nullptr || length < kIpv6HeaderLength) return false;
    if (!LocateUdp(datagram, length, &place->udp)) return false;
    place->sync = FindSyncStream(datagram, place->udp + kUdpHeaderLength, length);
    return place->sync >= 0;  // also false when the UDP header itself was not received whole
}
