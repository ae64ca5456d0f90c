#include "analysis/magic_packet.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned char kSyncByte = 0xFF;
constexpr int kSyncLength = 6;
constexpr int kMacLength = 6;
constexpr int kMacRepetitions = 16;
constexpr int kMinPasswordBytes = 4;

constexpr int kIpMinHeaderLength = 20;  // addresses end at byte 19
constexpr int kIpProtocolOffset = 9;
constexpr int kIpSourceOffset = 12;
constexpr int kIpDestinationOffset = 16;
constexpr int kIhlMask = 0x0F;
constexpr int kBytesPerIhlWord = 4;
constexpr unsigned char kProtocolUdp = 17;

constexpr int kUdpSourcePortOffset = 0;
constexpr int kUdpDestinationPortOffset = 2;
constexpr int kUdpLengthOffset = 4;
constexpr int kUdpChecksumOffset = 6;
constexpr int kUdpHeaderLength = 8;

constexpr int kDumpBytesPerRow = 16;
constexpr int kTimeTextSize = 128;

constexpr char kLineEnd[] = "\r\n";
constexpr int kLineEndLength = 2;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kHexGroupLength = 3;  // " %02X"
constexpr char kMissingByte[] = " --";

// Shown as the last line when the next piece would pass the buffer, so the
// reader knows the report is incomplete and the next report starts cleanly.
constexpr char kCutNotice[] =
    "[Report cut here: this datagram is too large to show in full.]\r\n\r\n";
constexpr int kCutNoticeLength = static_cast<int>(sizeof(kCutNotice)) - 1;
// Ordinary pieces stop short of this, so the notice and its line end always fit.
constexpr int kPieceLimit = kReportBufferSize - 1 - kLineEndLength - kCutNoticeLength;

// Appends the report's pieces, each whole or not at all.
struct ReportWriter {
    char* text;
    int length;
    bool cut;
};

void CutReport(ReportWriter& w) {
    if (w.length > 0 && w.text[w.length - 1] != '\n') {
        std::memcpy(w.text + w.length, kLineEnd, kLineEndLength);
        w.length += kLineEndLength;
    }
    std::memcpy(w.text + w.length, kCutNotice, kCutNoticeLength);
    w.length += kCutNoticeLength;
    w.text[w.length] = '\0';
    w.cut = true;
}

bool Fits(ReportWriter& w, int count) {
    if (w.cut) return false;
    if (count <= kPieceLimit - w.length) return true;
    CutReport(w);
    return false;
}

void Append(ReportWriter& w, const char* piece) {
    const int count = static_cast<int>(std::strlen(piece));
    if (!Fits(w, count)) return;
    std::memcpy(w.text + w.length, piece, count);
    w.length += count;
}

void AppendFormat(ReportWriter& w, const char* format, ...) {
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

void AppendHexByte(ReportWriter& w, unsigned char byte) {
    if (!Fits(w, kHexGroupLength)) return;
    char* out = w.text + w.length;
    out[0] = ' ';
    out[1] = kHexDigits[byte >> 4];
    out[2] = kHexDigits[byte & 0x0F];
    w.length += kHexGroupLength;
}

int ReadWord(const unsigned char* at) {
    return (at[0] << 8) | at[1];  // network byte order
}

void AppendAddressLine(ReportWriter& w, const char* format, const unsigned char* at) {
    char address[sizeof "255.255.255.255"];
    std::snprintf(address, sizeof address, "%u.%u.%u.%u", at[0], at[1], at[2], at[3]);
    AppendFormat(w, format, address);
}

void AppendTimeReceived(ReportWriter& w, const std::tm& received) {
    char date[kTimeTextSize];
    char time[kTimeTextSize];
    if (std::strftime(date, sizeof date, "%m/%d/%y", &received) == 0) date[0] = '\0';
    if (std::strftime(time, sizeof time, "%H:%M:%S", &received) == 0) time[0] = '\0';
    AppendFormat(w, "Time received:\r\n\t %s\t %s\r\n", date, time);
}

void AppendUdpHeader(ReportWriter& w, const unsigned char* datagram, int udp) {
    Append(w, "UDP Header:\r\n");
    AppendAddressLine(w, "\t|-Source IP\t:\t%s\r\n", datagram + kIpSourceOffset);
    AppendAddressLine(w, "\t|-Destination IP\t:\t%s\r\n", datagram + kIpDestinationOffset);
    AppendFormat(w, "\t|-Source Port\t:\t%d\r\n", ReadWord(datagram + udp + kUdpSourcePortOffset));
    AppendFormat(w, "\t|-Destination Port\t:\t%d\r\n", ReadWord(datagram + udp + kUdpDestinationPortOffset));
    AppendFormat(w, "\t|-UDP Length\t:\t%d\r\n", ReadWord(datagram + udp + kUdpLengthOffset));
    AppendFormat(w, "\t|-UDP Checksum\t:\t%d\r\n", ReadWord(datagram + udp + kUdpChecksumOffset));
}

// Bytes past the end of the datagram are shown as "--": they were never received.
void AppendMacLine(ReportWriter& w, const unsigned char* datagram, int mac, int length) {
    Append(w, "MAC Address:\r\n\t");
    for (int i = mac; i < mac + kMacLength; ++i) {
        if (i < length)
            AppendHexByte(w, datagram[i]);
        else
            Append(w, kMissingByte);
    }
    Append(w, kLineEnd);
}

void AppendPassword(ReportWriter& w, const unsigned char* datagram, int password, int length) {
    if (length - password < kMinPasswordBytes) return;
    Append(w, "Pasword:\r\n\t");
    for (int i = password; i < length; ++i) AppendHexByte(w, datagram[i]);
    Append(w, kLineEnd);
}

// The heading gives the count from the UDP length field; when that claims
// more than arrived, only the received bytes are dumped and the heading says so.
void AppendRawData(ReportWriter& w, const unsigned char* payload, int claimed, int received) {
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

}  // namespace

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

namespace {

// Where the pieces of a recognised magic packet lie in the datagram.
struct MagicPacketLayout {
    int udp;       // UDP header
    int payload;   // first payload byte
    int mac;       // first target MAC byte, right after the stream
    int password;  // first byte after the sixteen repetitions
};

bool LocateMagicPacket(const unsigned char* datagram, int length, MagicPacketLayout* layout) {
    if (datagram == nullptr) return false;
    // Shorter than an IPv4 header: not an IPv4 datagram, and its addresses
    // would lie beyond what was received.
    if (length < kIpMinHeaderLength) return false;
    if (datagram[kIpProtocolOffset] != kProtocolUdp) return false;
    layout->udp = (datagram[0] & kIhlMask) * kBytesPerIhlWord;
    layout->payload = layout->udp + kUdpHeaderLength;
    const int sync = FindSyncStream(datagram, layout->payload, length);
    if (sync < 0) return false;
    layout->mac = sync + kSyncLength;
    layout->password = layout->mac + kMacLength * kMacRepetitions;
    return true;
}

void WriteReport(char* report, const unsigned char* datagram, int length, const MagicPacketLayout& at,
                 const std::tm& received) {
    ReportWriter w{report, 0, false};
    Append(w, "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n");
    AppendTimeReceived(w, received);
    AppendUdpHeader(w, datagram, at.udp);
    AppendMacLine(w, datagram, at.mac, length);
    AppendPassword(w, datagram, at.password, length);
    const int claimed = ReadWord(datagram + at.udp + kUdpLengthOffset) - kUdpHeaderLength;
    AppendRawData(w, datagram + at.payload, claimed, length - at.payload);
    report[w.length] = '\0';
}

}  // namespace

bool FormatMagicPacketReportAt(char* report, const unsigned char* datagram, int length,
                               const std::tm& received) {
    MagicPacketLayout layout{};
    if (report == nullptr || !LocateMagicPacket(datagram, length, &layout)) return false;
    WriteReport(report, datagram, length, layout, received);
    return true;
}

bool FormatMagicPacketReport(char* report, const unsigned char* datagram, int length) {
    MagicPacketLayout layout{};
    if (report == nullptr || !LocateMagicPacket(datagram, length, &layout)) return false;
    // The clock is read only for datagrams that are reported.
    WriteReport(report, datagram, length, layout, LocalTimeNow());
    return true;
}
