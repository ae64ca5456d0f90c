// The pieces every magic-packet report is written from, and the one skeleton
// that puts them in order, shared by the IPv4, IPv6 and raw Ethernet reports.
// Internal to src/analysis.
#pragma once

#include <ctime>

#include "base/text_writer.h"

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

// Writes the report's header section ("UDP Header:", "Ethernet Header:").
using ReportHeader = void (*)(text_writer::TextWriter& w, const void* context);

// The one report skeleton: banner, time, the header section, MAC, password
// and dump, into `report`, a buffer of kReportBufferSize bytes. Pieces go in
// whole or not at all; when one would pass the buffer, a last line says the
// report was cut there. The text is always terminated.
void WriteMagicReport(char* report, const MagicReportBody& body, const std::tm& received, ReportHeader header,
                      const void* context);

// The report of a UDP magic packet, over IPv4 or IPv6: `udp` is the UDP
// header's offset in the datagram, `sync` the stream's; the addresses come
// as text, since IPv4 and IPv6 print them differently.
void WriteUdpMagicReport(char* report, const unsigned char* datagram, int length, int udp, int sync,
                         const char* source, const char* destination, const std::tm& received);
