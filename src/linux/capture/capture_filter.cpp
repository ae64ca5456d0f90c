// The text of lumora's kernel filter for each link type.
#include "linux/capture/capture_filter.h"

#include <pcap/dlt.h>

namespace {

// IPv6 datagrams whose first header is one lumora steps over are let
// through whole: a kernel filter cannot follow the chain of headers.
constexpr char kUdpCandidates[] =
    "udp or (ip6 and (ip6[6] = 0 or ip6[6] = 43 or ip6[6] = 44 or ip6[6] = 60))";
constexpr char kWakeFrames[] = " or ether proto 0x0842";

std::string Candidates(bool withWakeFrames) {
    std::string candidates = kUdpCandidates;
    if (withWakeFrames) candidates += kWakeFrames;
    return candidates;
}

// Each "vlan" moves the offsets of everything after it by one tag, so the
// tagged alternatives nest.
std::string EthernetFilter() {
    const std::string candidates = Candidates(true);
    return candidates + " or (vlan and (" + candidates + " or (vlan and (" + candidates + "))))";
}

std::string OwnFilter(int linkType) {
    if (linkType == DLT_EN10MB) return EthernetFilter();
    // A cooked capture keeps the EtherType but knows no "vlan".
    const bool cooked = linkType == DLT_LINUX_SLL || linkType == DLT_LINUX_SLL2;
    return Candidates(cooked);
}

}  // namespace

// The user's expression comes first: a "vlan" in lumora's own filter would
// otherwise move the offsets of everything the user wrote.
std::string CaptureFilter(int linkType, const std::string& user) {
    const std::string own = OwnFilter(linkType);
    if (user.empty()) return own;
    return "(" + user + ") and (" + own + ")";
}
