// The text of lumora's kernel filter for each link type.
#include "linux/capture/capture_filter.h"

#include <pcap/dlt.h>

#include <cstdio>

namespace {

// IPv6 datagrams whose first header is one lumora steps over are let
// through whole: a kernel filter cannot follow the chain of headers.
constexpr char kUdpCandidates[] =
    "udp or (ip6 and (ip6[6] = 0 or ip6[6] = 43 or ip6[6] = 44 or ip6[6] = 60))";
// What a system that comes up sends besides UDP: ARP, and ICMPv6's router
// and neighbour solicitations and listener reports.
constexpr char kSignCandidates[] = " or arp or icmp6";
constexpr char kWakeFrames[] = " or ether proto 0x0842";
// Where a cooked header holds the sender's address.
constexpr int kCookedSourceOffset = 6;
constexpr int kCooked2SourceOffset = 12;
constexpr int kMacTermSize = 96;

std::string Candidates(bool withWakeFrames) {
    std::string candidates = kUdpCandidates;
    candidates += kSignCandidates;
    if (withWakeFrames) candidates += kWakeFrames;
    return candidates;
}

// Each "vlan" moves the offsets of everything after it by one tag, so the
// tagged alternatives nest.
std::string EthernetFilter() {
    const std::string candidates = Candidates(true);
    return candidates + " or (vlan and (" + candidates + " or (vlan and (" + candidates + "))))";
}

// Every frame the watched target sends, whatever it holds; "" where the link
// records no sender's MAC.
std::string SourceTerm(int linkType, const unsigned char* mac) {
    char term[kMacTermSize];
    if (linkType == DLT_EN10MB) {
        std::snprintf(term, sizeof term, " or ether src %02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                      mac[3], mac[4], mac[5]);
        return term;
    }
    if (linkType != DLT_LINUX_SLL && linkType != DLT_LINUX_SLL2) return "";
    const int at = linkType == DLT_LINUX_SLL ? kCookedSourceOffset : kCooked2SourceOffset;
    std::snprintf(term, sizeof term, " or (link[%d:4] = 0x%02x%02x%02x%02x and link[%d:2] = 0x%02x%02x)", at, mac[0],
                  mac[1], mac[2], mac[3], at + 4, mac[4], mac[5]);
    return term;
}

}  // namespace

std::string CaptureFilter(int linkType, const unsigned char* watchedMac) {
    // A cooked capture keeps the EtherType but knows no "vlan".
    const bool cooked = linkType == DLT_LINUX_SLL || linkType == DLT_LINUX_SLL2;
    std::string filter = linkType == DLT_EN10MB ? EthernetFilter() : Candidates(cooked);
    if (watchedMac != nullptr) filter += SourceTerm(linkType, watchedMac);
    return filter;
}
