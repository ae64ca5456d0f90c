#include "linux/frame_report.h"

#include "analysis/ethernet_wake.h"
#include "analysis/magic_packet.h"

#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>

namespace {

constexpr int kNoLinkHeader = 0;
constexpr int kUnknownLinkHeader = -1;
constexpr int kIpTotalLengthOffset = 2;
constexpr int kIpMinHeaderLength = 20;

// Where the network header starts in what a SOCK_RAW packet socket delivers.
// Link types not listed are skipped rather than misread.
int LinkHeaderLength(int hardwareType) {
    switch (hardwareType) {
        case ARPHRD_ETHER:
        case ARPHRD_LOOPBACK:  // carries an Ethernet header of zeros
            return kEthernetHeaderLength;
        case ARPHRD_NONE:  // tun, WireGuard
        case ARPHRD_RAWIP:
        case ARPHRD_PPP:
        case ARPHRD_TUNNEL:
            return kNoLinkHeader;
        default:
            return kUnknownLinkHeader;
    }
}

bool HasEthernetHeader(int hardwareType) {
    return LinkHeaderLength(hardwareType) == kEthernetHeaderLength;
}

// Ethernet pads short frames to 60 bytes; the datagram ends where its IPv4
// header says, as a Windows raw socket would deliver it.
int DatagramLength(const unsigned char* datagram, int received) {
    if (received < kIpMinHeaderLength) return received;
    const int total = (datagram[kIpTotalLengthOffset] << 8) | datagram[kIpTotalLengthOffset + 1];
    return (total >= kIpMinHeaderLength && total < received) ? total : received;
}

bool FormatIpv4Report(char* report, const unsigned char* frame, const FrameInfo& info) {
    const int link = LinkHeaderLength(info.hardwareType);
    if (link == kUnknownLinkHeader || info.length < link) return false;
    const unsigned char* datagram = frame + link;
    return FormatMagicPacketReport(report, datagram, DatagramLength(datagram, info.length - link));
}

}  // namespace

bool FormatFrameReport(char* report, const unsigned char* frame, const FrameInfo& info) {
    // What this machine sends is no wake-up for it.
    if (info.packetType == PACKET_OUTGOING) return false;
    if (info.protocol == ETH_P_IP) return FormatIpv4Report(report, frame, info);
    if (info.protocol == kEtherTypeWake && HasEthernetHeader(info.hardwareType))
        return FormatEthernetWakeReport(report, frame, info.length);
    return false;
}
