// The kernel filter that lets through only what can be a magic packet, in
// libpcap's filter language, with the user's expression ANDed to it.
#pragma once

#include <string>

// UDP over IPv4 and IPv6 (also behind the IPv6 extension headers lumora
// follows), EtherType 0x0842 where the link carries EtherTypes, each also
// behind one or two VLAN tags on Ethernet. An empty `user` adds nothing.
std::string CaptureFilter(int linkType, const std::string& user);
