// The report text of a magic packet, as the Windows program shows it.
#include "analysis/magic_report.h"

#include <cstring>

#include "analysis/frame_fields.h"
#include "analysis/magic_packet.h"
#include "base/hex_digits.h"

namespace {

using namespace frame_fields;
using namespace text_writer;

constexpr int kDumpBytesPerRow = 16;
constexpr int kTimeTextSize = 128;

constexpr char kBanner[] =
    "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n";
constexpr char kLineEnd[] = "\r\n";
constexpr int kLineEndLength = 2;
constexpr char kMissingByte[] = " --";

// Shown as the last line when the next piece would pass the buffer, so the
// reader knows the report is incomplete and the next report starts cleanly.
constexpr char kCutNotice[] = "[Report cut here: this datagram is too large to show in full.]\r\n\r\n";
constexpr int kCutNoticeLength = static_cast<int>(sizeof(kCutNotice)) - 1;
// Ordinary pieces stop short of this, so the notice and its line end always fit.
constexpr int kPieceLimit = kReportBufferSize - 1 - kLineEndLength - kCutNoticeLength;

void PutHexGroup(TextWriter& w, unsigned char byte) {
    PutChar(w, ' ');
    PutHexByte(w, byte, kUpperHex);
}

void PutTimeReceived(TextWriter& w, const std::tm& received) {
    char date[kTimeTextSize];
    char time[kTimeTextSize];
    if (std::strftime(date, sizeof date, "%m/%d/%y", &received) == 0) date[0] = '\0';
    if (std::strftime(time, sizeof time, "%H:%M:%S", &received) == 0) time[0] = '\0';
    PutFormat(w, "Time received:\r\n\t %s\t %s\r\n", date, time);
}

// Bytes past the end of the packet are shown as "--": they were never received.
void PutMacLine(TextWriter& w, const unsigned char* packet, int mac, int length) {
    PutText(w, "MAC Address:\r\n\t");
    for (int i = mac; i < mac + kMacLength; ++i) {
        if (i < length)
            PutHexGroup(w, packet[i]);
        else
            PutText(w, kMissingByte);
    }
    PutText(w, kLineEnd);
}

void PutPassword(TextWriter& w, const unsigned char* packet, int password, int length) {
    if (length - password < kMinPasswordBytes) return;
    PutText(w, "Pasword:\r\n\t");
    for (int i = password; i < length; ++i) PutHexGroup(w, packet[i]);
    PutText(w, kLineEnd);
}

// The heading gives the count the packet claims (the UDP length field);
// when that is more than arrived, only the received bytes are dumped and the
// heading says so.
void PutRawData(TextWriter& w, const unsigned char* payload, int claimed, int received) {
    int count = claimed;
    if (claimed > received) {
        PutFormat(w, "Raw Data (%d bytes, only %d received):\r\n", claimed, received);
        count = received;
    } else {
        PutFormat(w, "Raw Data (%d bytes):\r\n", claimed);
    }
    for (int k = 0; k < count && !w.full; ++k) {
        if (k % kDumpBytesPerRow == 0) {
            if (k != 0) PutText(w, kLineEnd);
            PutText(w, "\t");
        }
        PutHexGroup(w, payload[k]);
    }
    PutText(w, "\r\n\r\n");
}

// The notice goes in the room the pieces left, after a line end if the cut
// came inside a line.
void PutCutNotice(char* report, int* length) {
    if (*length > 0 && report[*length - 1] != '\n') {
        std::memcpy(report + *length, kLineEnd, kLineEndLength);
        *length += kLineEndLength;
    }
    std::memcpy(report + *length, kCutNotice, kCutNoticeLength);
    *length += kCutNoticeLength;
}

struct UdpHeader {
    const char* source;
    const char* destination;
    const unsigned char* udp;
};

void PutUdpHeader(TextWriter& w, const void* context) {
    const UdpHeader& h = *static_cast<const UdpHeader*>(context);
    PutText(w, "UDP Header:\r\n");
    PutFormat(w, "\t|-Source IP\t:\t%s\r\n", h.source);
    PutFormat(w, "\t|-Destination IP\t:\t%s\r\n", h.destination);
    PutFormat(w, "\t|-Source Port\t:\t%d\r\n", ReadWord(h.udp + kUdpSourcePortOffset));
    PutFormat(w, "\t|-Destination Port\t:\t%d\r\n", ReadWord(h.udp + kUdpDestinationPortOffset));
    PutFormat(w, "\t|-UDP Length\t:\t%d\r\n", ReadWord(h.udp + kUdpLengthOffset));
    PutFormat(w, "\t|-UDP Checksum\t:\t%d\r\n", ReadWord(h.udp + kUdpChecksumOffset));
}

}  // namespace

MagicLayout LayoutAfterSync(int sync) {
    const int mac = sync + kSyncLength;
    return MagicLayout{mac, mac + kMacLength * kMacRepetitions};
}

void WriteMagicReport(char* report, const MagicReportBody& body, const std::tm& received, ReportHeader header,
                      const void* context) {
    const MagicLayout at = LayoutAfterSync(body.sync);
    TextWriter w = WriterOn(report, kPieceLimit + 1);  // the rest is the notice's
    PutText(w, kBanner);
    PutTimeReceived(w, received);
    header(w, context);
    PutMacLine(w, body.packet, at.mac, body.length);
    PutPassword(w, body.packet, at.password, body.length);
    PutRawData(w, body.payload, body.claimed, body.received);
    if (w.full) PutCutNotice(report, &w.length);
    report[w.length] = '\0';
}

void WriteUdpMagicReport(char* report, const unsigned char* datagram, int length, int udp, int sync,
                         const char* source, const char* destination, const std::tm& received) {
    const int payload = udp + kUdpHeaderLength;
    const int claimed = ReadWord(datagram + udp + kUdpLengthOffset) - kUdpHeaderLength;
    const MagicReportBody body{datagram, length, sync, datagram + payload, claimed, length - payload};
    const UdpHeader header{source, destination, datagram + udp};
    WriteMagicReport(report, body, received, PutUdpHeader, &header);
}
