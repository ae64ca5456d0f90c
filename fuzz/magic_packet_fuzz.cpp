// Feeds arbitrary bytes to the analysis as one received datagram.
#include "analysis/magic_packet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
constexpr char kBanner[] = "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n";
constexpr int kIpProtocolOffset = 9;
constexpr unsigned char kProtocolUdp = 17;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > static_cast<std::size_t>(kReportBufferSize)) return 0;
    // Exact-size copies: any read past the datagram or write past the report
    // buffer is caught by AddressSanitizer.
    std::vector<unsigned char> datagram(data, data + size);
    std::vector<char> report(kReportBufferSize);
    if (!FormatMagicPacketReport(report.data(), datagram.data(), static_cast<int>(size))) return 0;
    if (std::memchr(report.data(), '\0', report.size()) == nullptr) std::abort();
    if (std::strncmp(report.data(), kBanner, sizeof kBanner - 1) != 0) std::abort();
    if (size <= static_cast<std::size_t>(kIpProtocolOffset) || datagram[kIpProtocolOffset] != kProtocolUdp) std::abort();
    return 0;
}
