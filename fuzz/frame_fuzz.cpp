// Feeds arbitrary bytes to lumora's frame dispatch, as a frame of each link
// type it reads (and one it does not), and straight to the IPv6 and 0x0842
// reports. The first byte chooses which; the rest is the frame.
#include "analysis/ethernet_wake.h"
#include "analysis/ipv6_wake.h"
#include "analysis/magic_packet.h"
#include "linux/frame_report.h"

#include <pcap/dlt.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr char kBanner[] = "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n";
constexpr int kLargestFrame = 262144;  // lumora's snapshot length
constexpr int kIpv6Direct = -1, kEthernetDirect = -2;
constexpr int kTargets[] = {DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW,        DLT_IPV4,   DLT_IPV6,
                            DLT_NULL,   DLT_LOOP,      DLT_IEEE802_11, kIpv6Direct, kEthernetDirect};
constexpr int kTargetCount = static_cast<int>(sizeof kTargets / sizeof kTargets[0]);
constexpr int kEtherTypeOffset = 12;
constexpr int kVlanTypes[] = {0x8100, 0x88A8, 0x9100};

bool Report(int target, const std::vector<unsigned char>& frame, char* report) {
    const int length = static_cast<int>(frame.size());
    if (target == kIpv6Direct) return FormatIpv6MagicPacketReportAt(report, frame.data(), length, std::tm{});
    if (target == kEthernetDirect) return FormatEthernetWakeReport(report, frame.data(), length);
    return FormatFrameReport(report, CapturedFrame{frame.data(), length, target, std::tm{}});
}

// What the 0x0842 report may be written for: 0x0842 itself, or a VLAN tag before it.
bool MayCarryWake(const std::vector<unsigned char>& frame) {
    if (frame.size() < static_cast<std::size_t>(kEthernetHeaderLength)) return false;
    const int etherType = (frame[kEtherTypeOffset] << 8) | frame[kEtherTypeOffset + 1];
    for (const int tag : kVlanTypes)
        if (etherType == tag) return true;
    return etherType == kEtherTypeWake;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > static_cast<std::size_t>(kLargestFrame) + 1) return 0;
    const int target = kTargets[data[0] % kTargetCount];
    // Exact-size copies: any read past the frame or write past the report
    // buffer is caught by AddressSanitizer.
    const std::vector<unsigned char> frame(data + 1, data + size);
    std::vector<char> report(kReportBufferSize);
    if (!Report(target, frame, report.data())) return 0;
    if (target == DLT_IEEE802_11) std::abort();  // no report for a link lumora does not read
    if (target == kEthernetDirect && !MayCarryWake(frame)) std::abort();
    if (std::memchr(report.data(), '\0', report.size()) == nullptr) std::abort();
    if (std::strncmp(report.data(), kBanner, sizeof kBanner - 1) != 0) std::abort();
    return 0;
}
