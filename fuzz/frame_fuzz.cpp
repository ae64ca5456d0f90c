// Feeds arbitrary bytes to lumora's frame dispatch, as a frame of each link
// type it reads (and one it does not), and straight to the IPv6 report. The
// first byte chooses which; the rest is the frame.
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
constexpr int kIpv6Direct = -1;
constexpr int kTargets[] = {DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW,    DLT_IPV4,
                            DLT_IPV6,   DLT_NULL,      DLT_LOOP,       DLT_IEEE802_11, kIpv6Direct};
constexpr int kTargetCount = static_cast<int>(sizeof kTargets / sizeof kTargets[0]);

bool Report(int target, const std::vector<unsigned char>& frame, char* report) {
    std::tm received{};
    const int length = static_cast<int>(frame.size());
    if (target == kIpv6Direct) return FormatIpv6MagicPacketReportAt(report, frame.data(), length, received);
    return FormatFrameReport(report, CapturedFrame{frame.data(), length, target, received});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > static_cast<std::size_t>(kLargestFrame) + 1) return 0;
    const int target = kTargets[data[0] % kTargetCount];
    // Exact-size copies: any read past the frame or write past the report
    // buffer is caught by AddressSanitizer.
    std::vector<unsigned char> frame(data + 1, data + size);
    std::vector<char> report(kReportBufferSize);
    if (!Report(target, frame, report.data())) return 0;
    if (target == DLT_IEEE802_11) std::abort();  // no report for a link lumora does not read
    if (std::memchr(report.data(), '\0', report.size()) == nullptr) std::abort();
    if (std::strncmp(report.data(), kBanner, sizeof kBanner - 1) != 0) std::abort();
    return 0;
}
