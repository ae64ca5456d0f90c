// Finding UDP and its sync stream behind IPv6's extension headers.
#include "analysis/ipv6_wake.h"

#include "analysis/magic_packet.h"
#include "analysis/report_writer.h"

namespace {

using namespace report_writer;

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
    for (;;) {
        if (next == kProtocolUdp) {
            *udp = at;
            return true;
        }
        if (next == kFragment) {
            if (at + kFragmentHeaderLength > length) return false;
            if ((ReadWord(datagram + at + kFragmentOffsetOffset) & kFragmentOffsetMask) != 0) return false;
            next = datagram[at];
            at += kFragmentHeaderLength;
            continue;
        }
        if (next != kHopByHop && next != kRouting && next != kDestinationOptions) return false;
        if (at + kExtensionLengthOffset >= length) return false;
        next = datagram[at];
        at += (datagram[at + kExtensionLengthOffset] + 1) * kExtensionUnit;  // always moves on
    }
}

}  // namespace

bool LocateIpv6MagicPacket(const unsigned char* datagram, int length, UdpMagicPlace* place) {
    if (datagram == nullptr || place == nullptr || length < kIpv6HeaderLength) return false;
    if (!LocateUdp(datagram, length, &place->udp)) return false;
    place->sync = FindSyncStream(datagram, place->udp + kUdpHeaderLength, length);
    return place->sync >= 0;  // also false when the UDP header itself was not received whole
}
