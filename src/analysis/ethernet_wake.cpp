// The report of a 0x0842 wake frame.
#include "analysis/ethernet_wake.h"

#include "analysis/magic_packet.h"
#include "analysis/magic_report.h"
#include "base/mac_text.h"

namespace {

using namespace text_writer;

// "--" throughout for an address the capture does not record.
void PutHardwareAddressLine(TextWriter& w, const char* format, const unsigned char* at) {
    char address[kMacTextSize];
    FormatMac(at, 0, address);
    PutFormat(w, format, address);
}

void PutEthernetHeader(TextWriter& w, const void* context) {
    const WakeFrame& frame = *static_cast<const WakeFrame*>(context);
    PutText(w, "Ethernet Header:\r\n");
    PutHardwareAddressLine(w, "\t|-Source MAC\t:\t%s\r\n", frame.source);
    PutHardwareAddressLine(w, "\t|-Destination MAC\t:\t%s\r\n", frame.destination);
    PutFormat(w, "\t|-EtherType\t:\t0x%04X\r\n", kEtherTypeWake);
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
    WriteMagicReport(report, body, received, PutEthernetHeader, &frame);
}

}  // namespace

bool FormatWakeFrameReportAt(char* report, const WakeFrame& frame, const std::tm& received) {
    const int sync = LocateSync(frame);
    if (report == nullptr || sync < 0) return false;
    WriteWakeReport(report, frame, sync, received);
    return true;
}
