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
    std::snprintf(address, sizeof address, "%02X:%02X:%02X:%02X:%02X:%02X", at[0], at[1], at[2], at[3], at[4],
                  at[5]);
    AppendFormat(w, format, address);
}

void AppendEthernetHeader(ReportWriter& w, const unsigned char* frame) {
    Append(w, "Ethernet Header:\r\n");
    AppendHardwareAddressLine(w, "\t|-Source MAC\t:\t%s\r\n", frame + kSourceMacOffset);
    AppendHardwareAddressLine(w, "\t|-Destination MAC\t:\t%s\r\n", frame + kDestinationMacOffset);
    AppendFormat(w, "\t|-EtherType\t:\t0x%04X\r\n", ReadWord(frame + kEtherTypeOffset));
}

// The offset of the sync stream in the frame's payload, or -1 when the frame
// is no wake frame.
int LocateSync(const unsigned char* frame, int length) {
    if (frame == nullptr || length < kEthernetHeaderLength) return -1;
    if (ReadWord(frame + kEtherTypeOffset) != kEtherTypeWake) return -1;
    return FindSyncStream(frame, kEthernetHeaderLength, length);
}

// Ethernet has no length field: the payload is everything after the header.
void WriteReport(char* report, const unsigned char* frame, int length, int sync, const std::tm& received) {
    const MagicLayout at = LayoutAfterSync(sync);
    const int payload = length - kEthernetHeaderLength;
    ReportWriter w{report, 0, false};
    Append(w, kBanner);
    AppendTimeReceived(w, received);
    AppendEthernetHeader(w, frame);
    AppendMacLine(w, frame, at.mac, length);
    AppendPassword(w, frame, at.password, length);
    AppendRawData(w, frame + kEthernetHeaderLength, payload, payload);
    report[w.length] = '\0';
}

}  // namespace

bool FormatEthernetWakeReportAt(char* report, const unsigned char* frame, int length, const std::tm& received) {
    const int sync = LocateSync(frame, length);
    if (report == nullptr || sync < 0) return false;
    WriteReport(report, frame, length, sync, received);
    return true;
}

bool FormatEthernetWakeReport(char* report, const unsigned char* frame, int length) {
    const int sync = LocateSync(frame, length);
    if (report == nullptr || sync < 0) return false;
    // The clock is read only for frames that are reported.
    WriteReport(report, frame, length, sync, LocalTimeNow());
    return true;
}
