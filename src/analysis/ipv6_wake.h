// Magic packets in UDP over IPv6, reported in the shape of the IPv4 report
// with the addresses in standard IPv6 text. Portable POSIX (no Windows
// header); built natively for lumora.
#pragma once

#include "analysis/magic_packet.h"

#include <ctime>

constexpr int kIpv6HeaderLength = 40;

// Finds the UDP header and the sync stream of one received IPv6 datagram
// (fixed header included) when it carries UDP, directly or behind hop-by-
// hop, routing, destination-options and first-fragment headers, and the UDP
// payload holds six 0xFF bytes in a row. Reads no byte at or past `length`.
bool LocateIpv6MagicPacket(const unsigned char* datagram, int length, UdpMagicPlace* place);

// Writes the report for one received IPv6 datagram (fixed header included)
// into `report`, a buffer of kReportBufferSize bytes, when it carries UDP,
// directly or behind hop-by-hop, routing, destination-options and first-
// fragment headers, and the UDP payload holds six 0xFF bytes in a row.
// Returns false, leaving `report` undetermined, for anything else. Reads no
// byte at or past `length`; the text is always NUL-terminated.
bool FormatIpv6MagicPacketReportAt(char* report, const unsigned char* datagram, int length,
                                   const std::tm& received);
