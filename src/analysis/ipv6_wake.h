// Magic packets in UDP over IPv6, found behind the extension headers a
// sender may put first; lumora reports them in the shape of the IPv4 report.
// Portable (no Windows header); built natively for lumora.
#pragma once

#include "analysis/magic_packet.h"

// Finds the UDP header and the sync stream of one received IPv6 datagram
// (fixed header included) when it carries UDP, directly or behind hop-by-
// hop, routing, destination-options and first-fragment headers, and the UDP
// payload holds six 0xFF bytes in a row. Reads no byte at or past `length`.
bool LocateIpv6MagicPacket(const unsigned char* datagram, int length, UdpMagicPlace* place);

// Steps over the extension headers of an IPv6 datagram, ip[0, end), from
// *offset with *next the header there, to the upper-layer header: false when
// one is cut short; *offset is -1 behind a later fragment, which has none.
bool SkipIpv6Extensions(const unsigned char* ip, int end, int* next, int* offset);
