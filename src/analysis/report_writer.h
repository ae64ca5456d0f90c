// The pieces every magic-packet report is written from, and the one skeleton
// that puts them in order, shared by the IPv4, IPv6 and raw Ethernet reports.
// Internal to src/analysis. Header-only, so each build that compiles
// magic_packet.cpp needs no other source for it.
#pragma once

#include "analysis/frame_fields.h"
#include "analysis/magic_packet.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace report_writer {

using namespace frame_fields;

inline constexpr unsigned char kSyncByte = 0xFF;
inline constexpr int kSyncLength = 6;
inline constexpr int kMinPasswordBytes = 4;

inline constexpr int kDumpBytesPerRow = 16;
inline constexpr int kTimeTextSize = 128;

inline constexpr char kBanner[] =
    "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n";
inline constexpr char kLineEnd[] = "\r\n";
inline constexpr int kLineEndLength = 2;
inline constexpr char kHexDigits[] = "0123456789ABCDEF";
inline constexpr int kHexGroupLength = 3;  // " %02X"
inline constexpr char kMissingByte[] = " --";

// Shown as the last line when the next piece would pass the buffer, so the
// reader knows the report is incomplete and the next report starts cleanly.
inline constexpr char kCutNotice[] =
    "[Report cut here: this datagram is too large to show in full.]\r\n\r\n";
inline constexpr int kCutNoticeLength = static_cast<int>(sizeof(kCutNotice)) - 1;
// Ordinary pieces stop short of this, so the notice and its line end always fit.
inline constexpr int kPieceLimit = kReportBufferSize - 1 - kLineEndLength - kCutNoticeLength;

// Appends the report's pieces, each whole or not at all.
struct ReportWriter {
    char* text;
    int length;
    bool cut;
};

inline void CutReport(ReportWriter& w) {
    if (w.length > 0 && w.text[w.length - 1] != '\n') {
        std::memcpy(w.text + w.length, kLineEnd, kLineEndLength);
        w.length += kLineEndLength;
    }
    std::memcpy(w.text + w.length, kCutNotice, kCutNoticeLength);
    w.length += kCutNoticeLength;
    w.text[w.length] = '\0';
    w.cut = true;
}

inline bool Fits(ReportWriter& w, int count) {
    if (w.cut) return false;
    if (count <= kPieceLimit - w.length) return true;
    CutReport(w);
    return false;
}

inline void Append(ReportWriter& w, const char* piece) {
    const int count = static_cast<int>(std::strlen(piece));
    if (!Fits(w, count)) return;
    std::memcpy(w.text + w.length, piece, count);
    w.length += count;
}

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
inline void AppendFormat(ReportWriter& w, const char* format, ...) {
    if (w.cut) return;
    const int room = kPieceLimit - w.length;
    std::va_list args;
    va_start(args, format);
    const int count = std::vsnprintf(w.text + w.length, static_cast<std::size_t>(room) + 1, format, args);
    va_end(args);
    if (count < 0 || count > room) {
        CutReport(w);  // also overwrites the partial piece
        return;
    }
    w.length += count;
}

inline void AppendHexByte(ReportWriter& w, unsigned char byte) {
    if (!Fits(w, kHexGroupLength)) return;
    char* out = w.text + w.length;
    out[0] = ' ';
    out[1] = kHexDigits[byte >> 4];
    out[2] = kHexDigits[byte & 0x0F];
    w.length += kHexGroupLength;
}

inline void AppendTimeReceived(ReportWriter& w, const std::tm& received) {
    char date[kTimeTextSize];
    char time[kTimeTextSize];
    if (std::strftime(date, sizeof date, "%m/%d/%y", &received) == 0) date[0] = '\0';
    if (std::strftime(time, sizeof time, "%H:%M:%S", &received) == 0) time[0] = '\0';
    AppendFormat(w, "Time received:\r\n\t %s\t %s\r\n", date, time);
}

// Bytes past the end of the packet are shown as "--": they were never received.
inline void AppendMacLine(ReportWriter& w, const unsigned char* packet, int mac, int length) {
    Append(w, "MAC Address:\r\n\t");
    for (int i = mac; i < mac + kMacLength; ++i) {
        if (i < length)
            AppendHexByte(w, packet[i]);
        else
            Append(w, kMissingByte);
    }
    Append(w, kLineEnd);
}

inline void AppendPassword(ReportWriter& w, const unsigned char* packet, int password, int length) {
    if (length - password < kMinPasswordBytes) return;
    Append(w, "Pasword:\r\n\t");
    for (int i = password; i < length; ++i) AppendHexByte(w, packet[i]);
    Append(w, kLineEnd);
}

// The heading gives the count the packet claims (the UDP length field);
// when that is more than arrived, only the received bytes are dumped and the
// heading says so.
inline void AppendRawData(ReportWriter& w, const unsigned char* payload, int claimed, int received) {
    int count = claimed;
    if (claimed > received) {
        AppendFormat(w, "Raw Data (%d bytes, only %d received):\r\n", claimed, received);
        count = received;
    } else {
        AppendFormat(w, "Raw Data (%d bytes):\r\n", claimed);
    }
    for (int k = 0; k < count && !w.cut; ++k) {
        if (k % kDumpBytesPerRow == 0) {
            if (k != 0) Append(w, kLineEnd);
            Append(w, "\t");
        }
        AppendHexByte(w, payload[k]);
    }
    Append(w, "\r\n\r\n");
}

// Where the magic packet lies once its sync stream is found at `sync`.
struct MagicLayout {
    int mac;       // first target MAC byte, right after the stream
    int password;  // first byte after the sixteen repetitions
};

inline MagicLayout LayoutAfterSync(int sync) {
    const int mac = sync + kSyncLength;
    return MagicLayout{mac, mac + kMacLength * kMacRepetitions};
}

// The UDP header section; the addresses come as text, since IPv4 and IPv6
// print them differently.
inline void AppendUdpHeader(ReportWriter& w, const char* source, const char* destination,
                            const unsigned char* udp) {
    Append(w, "UDP Header:\r\n");
    AppendFormat(w, "\t|-Source IP\t:\t%s\r\n", source);
    AppendFormat(w, "\t|-Destination IP\t:\t%s\r\n", destination);
    AppendFormat(w, "\t|-Source Port\t:\t%d\r\n", ReadWord(udp + kUdpSourcePortOffset));
    AppendFormat(w, "\t|-Destination Port\t:\t%d\r\n", ReadWord(udp + kUdpDestinationPortOffset));
    AppendFormat(w, "\t|-UDP Length\t:\t%d\r\n", ReadWord(udp + kUdpLengthOffset));
    AppendFormat(w, "\t|-UDP Checksum\t:\t%d\r\n", ReadWord(udp + kUdpChecksumOffset));
}

// What a report shows below its header section. The MAC and password
// positions count from `packet`; the dump covers the payload.
struct MagicReportBody {
    const unsigned char* packet;
    int length;  // bytes received from `packet` on
    int sync;    // offset of the sync stream in `packet`
    const unsigned char* payload;
    int claimed;   // payload bytes the packet says it carries
    int received;  // payload bytes that arrived
};

// The one report skeleton: banner, time, the caller's header section, MAC,
// password and dump. The text is always terminated.
template <typename HeaderSection>
void WriteMagicReport(char* report, const MagicReportBody& body, const std::tm& received,
                      HeaderSection appendHeader) {
    const MagicLayout at = LayoutAfterSync(body.sync);
    ReportWriter w{report, 0, false};
    Append(w, kBanner);
    AppendTimeReceived(w, received);
    appendHeader(w);
    AppendMacLine(w, body.packet, at.mac, body.length);
    AppendPassword(w, body.packet, at.password, body.length);
    AppendRawData(w, body.payload, body.claimed, body.received);
    report[w.length] = '\0';
}

// The report of a UDP magic packet, over IPv4 or IPv6: `udp` is the UDP
// header's offset in the datagram, `sync` the stream's.
inline void WriteUdpMagicReport(char* report, const unsigned char* datagram, int length, int udp, int sync,
                                const char* source, const char* destination, const std::tm& received) {
    const int payload = udp + kUdpHeaderLength;
    const int claimed = ReadWord(datagram + udp + kUdpLengthOffset) - kUdpHeaderLength;
    const MagicReportBody body{datagram, length, sync, datagram + payload, claimed, length - payload};
    WriteMagicReport(report, body, received,
                     [&](ReportWriter& w) { AppendUdpHeader(w, source, destination, datagram + udp); });
}

}  // namespace report_writer
