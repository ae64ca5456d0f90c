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
