#include "analysis/ethernet_wake.h"

#include "analysis/magic_packet.h"
#include "analysis/report_writer.h"

#include <cstdio>

namespace {

using namespace report_writer;

constexpr int kDestinationMacOffset = 0;
constexpr int kSourceMacOffset = 6;
constexpr int kEtherTypeOffset = 12;

void AppendHardwareAddressLine(ReportWriter& w, const char* format, const unsigned char* at) {
    char address[sizeof "FF:FF:FF:FF:FF:FF"];
    if (at == nullptr)
        std::snprintf(address, sizeof address, "--:--:--:--:--:--");
    else
        std::snprintf(address, sizeof address, "%02X:%02X:%02X:%02X:%02X:%02X", at[0], at[1], at[2], at[3],
                      at[4], at[5]);
    AppendFormat(w, format, address);
}

void AppendEthernetHeader(ReportWriter& w, const WakeFrame& frame) {
    Append(w, "Ethernet Header:\r\n");
    AppendHardwareAddressLine(w, "\t|-Source MAC\t:\t%s\r\n", frame.source);
    AppendHardwareAddressLine(w, "\t|-Destination MAC\t:\t%s\r\n", frame.destination);
    AppendFormat(w, "\t|-EtherType\t:\t0x%04X\r\n", kEtherTypeWake);
}

// The payload of a 0x0842 frame, behind its VLAN tags; false for any other frame.
bool ParseEthernetFrame(const unsigned char* frame, int length, WakeFrame* wake) {
    if (frame == nullptr || length < kEthernetHeaderLength) return false;
    int etherType = ReadWord(frame + kEtherTypeOffset);
    int payload = kEthernetHeaderLength;
    if (!frame_fields::SkipVlanTags(frame, length, &etherType, &payload) || etherType != kEtherTypeWake)
        return false;
    *wake = WakeFrame{frame + kDestinationMacOffset, frame + kSourceMacOffset, frame + payload, length - payload};
    return true;
}

// The offset of the sync stream in the frame's payload, or -1 when there is
// none and the frame is not reported.
int LocateSync(const WakeFrame& frame) {
    if (frame.payload == nullptr) return -1;
    return FindSyncStream(frame.payload, 0, frame.length);
}

// Ethernet has no length field: the payload is everything after the header.
void WriteWakeReport(char* report, const WakeFrame& frame, int sync, const std::tm& received) {
    const MagicReportBody body{frame.payload, frame.length, sync, frame.payload, frame.length, frame.length};
    WriteMagicReport(report, body, received, [&](ReportWriter& w) { AppendEthernetHeader(w, frame); });
}

}  // namespace

bool FormatWakeFrameReportAt(char* report, const WakeFrame& frame, const std::tm& received) {
    const int sync = LocateSync(frame);
    if (report == nullptr || sync < 0) return false;
    WriteWakeReport(report, frame, sync, received);
    return true;
}

bool FormatEthernetWakeReportAt(char* report, const unsigned char* frame, int length, const std::tm& received) {
    WakeFrame wake{};
    return ParseEthernetFrame(frame, length, &wake) && FormatWakeFrameReportAt(report, wake, received);
}

bool FormatEthernetWakeReport(char* report, const unsigned char* frame, int length) {
    WakeFrame wake{};
    if (report == nullptr || !ParseEthernetFrame(frame, length, &wake)) return false;
    const int sync = LocateSync(wake);
    if (sync < 0) return false;
    // The clock is read only for frames that are reported.
    WriteWakeReport(report, wake, sync, LocalTimeNow());
    return true;
}
