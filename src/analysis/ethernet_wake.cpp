// The report of a 0x0842 wake frame.
#include "analysis/ethernet_wake.h"

#include "analysis/magic_packet.h"
#include "analysis/report_writer.h"

#include <cstdio>

namespace {

using namespace report_writer;

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
