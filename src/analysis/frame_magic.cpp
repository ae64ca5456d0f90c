// Where the magic packet lies in a frame, from the link layer down to the
// UDP payload or the 0x0842 payload, and the report written from it.
#include "analysis/frame_magic.h"

#include "analysis/ethernet_wake.h"
#include "analysis/frame_fields.h"
#include "analysis/ipv6_wake.h"
#include "analysis/link_layer.h"
#include "analysis/magic_packet.h"
#include "analysis/magic_report.h"

#include <arpa/inet.h>

namespace {

using namespace frame_fields;

// Ethernet pads short frames to 60 bytes and some captures keep a trailer:
// the datagram ends where its own header says, as a raw socket would deliver it.
int TrimTo(int declared, int received) { return (declared > 0 && declared < received) ? declared : received; }

int Ipv4Length(const unsigned char* datagram, int received) {
    if (received < kIpv4MinHeaderLength) return received;
    const int total = ReadWord(datagram + kIpv4TotalLengthOffset);
    return total >= kIpv4MinHeaderLength ? TrimTo(total, received) : received;
}

int Ipv6Length(const unsigned char* datagram, int received) {
    if (received < kIpv6HeaderLength) return received;
    const int payload = ReadWord(datagram + kIpv6PayloadLengthOffset);
    return payload == 0 ? received : TrimTo(kIpv6HeaderLength + payload, received);  // 0: a jumbogram
}

bool FindNetworkMagic(const CapturedFrame& frame, const LinkView& view, FrameMagic* magic) {
    const unsigned char* network = frame.bytes + view.offset;
    const int received = frame.length - view.offset;
    UdpMagicPlace at{};
    *magic = FrameMagic{SightingKind::kUdp4, network,   received,           -1,           -1, view.source,
                        view.destination,    view.packetType, view.vlan, view.interfaceIndex, view.outgoing};
    switch (view.etherType) {
        case kEtherTypeIpv4:
            magic->length = Ipv4Length(network, received);
            if (!LocateIpv4MagicPacket(network, magic->length, &at)) return false;
            break;
        case kEtherTypeIpv6:
            magic->kind = SightingKind::kUdp6;
            magic->length = Ipv6Length(network, received);
            if (!LocateIpv6MagicPacket(network, magic->length, &at)) return false;
            break;
        case kEtherTypeWake:
            magic->kind = SightingKind::kEther;
            magic->sync = FindSyncStream(network, 0, received);
            return magic->sync >= 0;
        default:
            return false;
    }
    magic->udp = at.udp;
    magic->sync = at.sync;
    return true;
}

}  // namespace

bool FindMagicBehindLink(const CapturedFrame& frame, const LinkView& view, FrameMagic* magic) {
    return view.offset <= frame.length && FindNetworkMagic(frame, view, magic);
}

bool FindFrameMagic(const CapturedFrame& frame, FrameMagic* magic) {
    if (frame.bytes == nullptr || frame.length <= 0) return false;
    LinkView view;
    if (!ReadLinkLayer(frame.bytes, frame.length, frame.linkType, &view)) return false;
    return FindMagicBehindLink(frame, view, magic);
}

void FormatFrameMagicReport(char* report, const FrameMagic& magic, const std::tm& received) {
    if (magic.kind == SightingKind::kEther) {
        FormatWakeFrameReportAt(report, WakeFrame{magic.destinationMac, magic.sourceMac, magic.packet, magic.length},
                                received);
        return;
    }
    char source[kEndpointTextSize];
    char destination[kEndpointTextSize];
    FormatIpAddresses(magic, source, destination);
    WriteUdpMagicReport(report, magic.packet, magic.length, magic.udp, magic.sync, source,
                                       destination, received);
}

bool FormatFrameReport(char* report, const CapturedFrame& frame) {
    FrameMagic magic{};
    if (!FindFrameMagic(frame, &magic)) return false;
    FormatFrameMagicReport(report, magic, frame.received);
    return true;
}

void FormatIpAddress(int family, const unsigned char* address, char* text) {
    if (inet_ntop(family == kIpv6 ? AF_INET6 : AF_INET, address, text, kEndpointTextSize) == nullptr) text[0] = '\0';
}

void FormatIpAddresses(const FrameMagic& magic, char* source, char* destination) {
    const bool v6 = magic.kind == SightingKind::kUdp6;
    const int family = v6 ? kIpv6 : kIpv4;
    FormatIpAddress(family, magic.packet + (v6 ? kIpv6SourceOffset : kIpv4SourceOffset), source);
    FormatIpAddress(family, magic.packet + (v6 ? kIpv6DestinationOffset : kIpv4DestinationOffset), destination);
}
