// Finding the sync stream and UDP in an IPv4 datagram, and its report.
#include "analysis/magic_packet.h"

#include <cstdio>
#include <cstring>

#include "analysis/frame_fields.h"
#include "analysis/magic_report.h"

namespace {

using namespace frame_fields;

void FormatAddress(const unsigned char* at, char* text, std::size_t size) {
    std::snprintf(text, size, "%u.%u.%u.%u", at[0], at[1], at[2], at[3]);
}

void WriteReport(char* report, const unsigned char* datagram, int length, const UdpMagicPlace& at,
                 const std::tm& received) {
    char source[sizeof "255.255.255.255"];
    char destination[sizeof "255.255.255.255"];
    FormatAddress(datagram + kIpv4SourceOffset, source, sizeof source);
    FormatAddress(datagram + kIpv4DestinationOffset, destination, sizeof destination);
    WriteUdpMagicReport(report, datagram, length, at.udp, at.sync, source, destination, received);
}

}  // namespace

bool LocateIpv4MagicPacket(const unsigned char* datagram, int length, UdpMagicPlace* place) {
    if (datagram == nullptr || place == nullptr) return false;
    // Shorter than an IPv4 header: not an IPv4 datagram, and its addresses
    // would lie beyond what was received.
    if (length < kIpv4MinHeaderLength) return false;
    if (datagram[kIpv4ProtocolOffset] != kProtocolUdp) return false;
    place->udp = (datagram[0] & kIpv4IhlMask) * kIpv4BytesPerIhlWord;
    place->sync = FindSyncStream(datagram, place->udp + kUdpHeaderLength, length);
    return place->sync >= 0;
}

int FindSyncStream(const unsigned char* datagram, int from, int length) {
    int start = from < 0 ? 0 : from;
    // Invariant: no window that begins before `start` is all 0xFF. A window
    // can only begin at a 0xFF, so memchr skips the rest at full speed.
    while (start <= length - kSyncLength) {
        const void* hit = std::memchr(datagram + start, kSyncByte, static_cast<std::size_t>(length - start));
        if (hit == nullptr) return -1;
        const int first = static_cast<int>(static_cast<const unsigned char*>(hit) - datagram);
        if (first > length - kSyncLength) return -1;
        int end = first + 1;
        while (end < first + kSyncLength && datagram[end] == kSyncByte) ++end;
        if (end == first + kSyncLength) return first;
        start = end + 1;  // datagram[end] is not 0xFF and lies in every window up to it
    }
    return -1;
}

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

bool FormatMagicPacketReportAt(char* report, const unsigned char* datagram, int length,
                               const std::tm& received) {
    UdpMagicPlace layout{};
    if (report == nullptr || !LocateIpv4MagicPacket(datagram, length, &layout)) return false;
    WriteReport(report, datagram, length, layout, received);
    return true;
}

bool FormatMagicPacketReport(char* report, const unsigned char* datagram, int length) {
    UdpMagicPlace layout{};
    if (report == nullptr || !LocateIpv4MagicPacket(datagram, length, &layout)) return false;
    // The clock is read only for datagrams that are reported.
    WriteReport(report, datagram, length, layout, LocalTimeNow());
    return true;
}
