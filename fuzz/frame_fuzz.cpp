// Feeds arbitrary bytes to the frame dispatch as a frame of each link
// type it reads (and one it does not), and writes every magic packet found
// in all three forms. The first byte chooses the link type; the rest is the
// frame.
#include "analysis/frame_magic.h"
#include "analysis/link_layer.h"
#include "analysis/magic_packet.h"
#include "records/sighting_forms.h"


#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr char kBanner[] = "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n";
constexpr int kLink80211 = 105;  // DLT_IEEE802_11, a link lumora does not read
constexpr int kLargestFrame = 262144;  // lumora's snapshot length
constexpr int kTargets[] = {kLinkEthernet, kLinkLinuxCooked, kLinkLinuxCooked2, kLinkRaw, kLinkIpv4,
                            kLinkIpv6,   kLinkNull,      kLinkLoop,       kLink80211};
constexpr int kTargetCount = static_cast<int>(sizeof kTargets / sizeof kTargets[0]);
constexpr long long kSomeSecond = 1772917503;

// Each form must fit its buffer whole and leave it terminated.
void CheckSightingForms(const FrameMagic& magic) {
    Sighting sighting{};
    sighting.time = CaptureTime{kSomeSecond, 0};
    sighting.interfaceName = "eth0";
    DescribeFrameMagic(magic, &sighting);
    std::vector<char> text(kSightingTextSize);
    const int line = FormatSightingLine(sighting, text.data(), kSightingTextSize);
    if (line < 0 || text[static_cast<std::size_t>(line)] != '\0') std::abort();
    const int json = FormatSightingJson(sighting, text.data(), kSightingTextSize);
    if (json < 0 || text[static_cast<std::size_t>(json)] != '\0') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > static_cast<std::size_t>(kLargestFrame) + 1) return 0;
    const int target = kTargets[data[0] % kTargetCount];
    // Exact-size copies: any read past the frame or write past a buffer is
    // caught by AddressSanitizer.
    const std::vector<unsigned char> frame(data + 1, data + size);
    FrameMagic magic{};
    if (!FindFrameMagic(CapturedFrame{frame.data(), static_cast<int>(frame.size()), target, std::tm{}}, &magic))
        return 0;
    if (target == kLink80211) std::abort();  // no report for a link lumora does not read
    std::vector<char> report(kReportBufferSize);
    FormatFrameMagicReport(report.data(), magic, std::tm{});
    if (std::memchr(report.data(), '\0', report.size()) == nullptr) std::abort();
    if (std::strncmp(report.data(), kBanner, sizeof kBanner - 1) != 0) std::abort();
    CheckSightingForms(magic);
    return 0;
}
