// Wake-on-LAN magic-packet detection and the report text shown for each one.
// Portable: no Windows header, so it also builds and is fuzzed natively.
#pragma once

#include <cstddef>
#include <ctime>

// Size of the receive buffer, the report buffer and the log's scratch buffer.
constexpr int kReportBufferSize = 65536;

// The magic packet's layout: six 0xFF, the sync stream, then sixteen copies
// of the target MAC, then a password when at least four bytes follow.
constexpr unsigned char kSyncByte = 0xFF;
constexpr int kSyncLength = 6;
constexpr int kMacRepetitions = 16;
constexpr int kMinPasswordBytes = 4;

// Where the magic packet lies once its sync stream is found at `sync`.
struct MagicLayout {
    int mac;       // first target MAC byte, right after the stream
    int password;  // first byte after the sixteen repetitions
};

MagicLayout LayoutAfterSync(int sync);

// Offset of the first 0xFF of the first run of six 0xFF bytes in
// datagram[from, length), or -1 when there is none. Never reads at or past
// `length`.
int FindSyncStream(const unsigned char* datagram, int from, int length);

// Where a magic packet lies in its datagram.
struct UdpMagicPlace {
    int udp;   // offset of the UDP header
    int sync;  // offset of the first byte of the sync stream
};

// Finds both in one received IPv4 datagram (header included) when it is UDP
// and its payload holds six 0xFF bytes in a row: exactly the datagrams the
// report is written for. Never reads at or past `length`.
bool LocateIpv4MagicPacket(const unsigned char* datagram, int length, UdpMagicPlace* place);

// Writes the report for one received IPv4 datagram (header included) into
// `report`, a buffer of kReportBufferSize bytes, when the datagram is UDP and
// its payload holds six 0xFF bytes in a row. Returns false, leaving `report`
// unspecified, for anything else. The text is always NUL-terminated.
bool FormatMagicPacketReport(char* report, const unsigned char* datagram, int length);

// The same with the receive time given, so tests can pin the clock.
bool FormatMagicPacketReportAt(char* report, const unsigned char* datagram, int length,
                               const std::tm& received);

// Thread-safe conversion of the current time to local broken-down time.
std::tm LocalTimeNow();
