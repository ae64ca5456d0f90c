#include "analysis/ethernet_wake.h"

#include "analysis/magic_packet.h"
#include "analysis/report_writer.h"

#include <cstdio>

namespace {

using namespace report_writer;

constexpr int kDestinationMacOffset = 0;
constexpr int kSourceMacOffset = 6;
constexpr int kEtherTypeOffset = 12;
constexpr int kVlanTagLength = 4;  // TCI, then the next EtherType
constexpr int kEtherTypeLength = 2;
constexpr int kMaxVlanTags = 2;
constexpr int kVlanTypes[] = {0x8100, 0x88A8, 0x9100};

bool IsVlanTag(int etherType) {
    for (const int tag : kVlanTypes)
        if (etherType == tag) return true;
    return false;
}

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
    int typeOffset = kEtherTypeOffset;
    for (int tags = 0; tags < kMaxVlanTags && IsVlanTag(ReadWord(frame + typeOffset)); ++tags) {
        if (typeOffset + kEtherTypeLength + kVlanTagLength > length) return false;
        typeOffset += kVlanTagLength;
    }
    if (ReadWord(frame + typeOffset) != kEtherTypeWake) return false;
    const int payload = typeOffset + kEtherTypeLength;
    *wake = WakeFrame{frame + kDestinationMacOffset, frame + kSourceMacOffset, frame + payload, length - payload};
    return true;
}

// Ethernet has no length field: the payload is everything after the header.
bool WriteWakeReport(char* report, const WakeFrame& frame, const std::tm& received) {
    if (report == nullptr || frame.payload == nullptr) return false;
    const int sync = FindSyncStream(frame.payload, 0, frame.length);
    if (sync < 0) return false;
    const MagicReportBody body{frame.payload, frame.length, sync, frame.payload, frame.length, frame.length};
    WriteMagicReport(report, body, received, [&](ReportWriter& w) { AppendEthernetHeader(w, frame); });
    return true;
}

}  // namespace

bool FormatWakeFrameReportAt(char* report, const WakeFrame& frame, const std::tm& received) {
    return WriteWakeReport(report, frame, received);
}

bool FormatEthernetWakeReportAt(char* report, const unsigned char* frame, int length, const std::tm& received) {
    WakeFrame wake{};
    return ParseEthernetFrame(frame, length, &wake) && WriteWakeReport(report, wake, received);
}

bool FormatEthernetWakeReport(char* report, const unsigned char* frame, int length) {
    WakeFrame wake{};
    if (report == nullptr || !ParseEthernetFrame(frame, length, &wake)) return false;
    if (FindSyncStream(wake.payload, 0, wake.length) < 0) return false;
    // The clock is read only for frames that are reported.
    return WriteWakeReport(report, wake, LocalTimeNow());
}
