// The kernel filter that lets through only what can be a magic packet or a
// sign that a watched target woke, in libpcap's filter language.
#pragma once

#include <string>

// UDP over IPv4 and IPv6 (also behind the IPv6 extension headers lumora
// follows), ARP and ICMPv6, EtherType 0x0842 where the link carries
// EtherTypes, each also behind one or two VLAN tags on Ethernet; and, with
// `watchedMac` (six bytes, or nullptr), every frame that MAC sends.
std::string CaptureFilter(int linkType, const unsigned char* watchedMac);
