// Feeds arbitrary bytes to the Ethernet wake report as one received frame.
#include "analysis/ethernet_wake.h"
#include "analysis/magic_packet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
constexpr char kBanner[] = "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n";
constexpr int kEtherTypeOffset = 12;
constexpr int kLargestFrame = kEthernetHeaderLength + kReportBufferSize;
constexpr int kVlanTypes[] = {0x8100, 0x88A8, 0x9100};

// 0x0842 itself, or a VLAN tag in front of it.
bool MayCarryWake(int etherType) {
    if (etherType == kEtherTypeWake) return true;
    for (const int tag : kVlanTypes)
        if (etherType == tag) return true;
    return false;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > static_cast<std::size_t>(kLargestFrame)) return 0;
    // Exact-size copies: any read past the frame or write past the report
    // buffer is caught by AddressSanitizer.
    std::vector<unsigned char> frame(data, data + size);
    std::vector<char> report(kReportBufferSize);
    if (!FormatEthernetWakeReport(report.data(), frame.data(), static_cast<int>(size))) return 0;
    if (std::memchr(report.data(), '\0', report.size()) == nullptr) std::abort();
    if (std::strncmp(report.data(), kBanner, sizeof kBanner - 1) != 0) std::abort();
    if (size < static_cast<std::size_t>(kEthernetHeaderLength)) std::abort();
    if (!MayCarryWake((frame[kEtherTypeOffset] << 8) | frame[kEtherTypeOffset + 1])) std::abort();
    return 0;
}
