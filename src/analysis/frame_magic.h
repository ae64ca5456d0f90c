// Finds the magic packet in one captured frame, behind whichever link layer
// carried it (UDP over IPv4 and IPv6, 0x0842 frames), and writes its report.
// Portable: no libpcap and no system interface, so the tests and the frame
// fuzzer feed it frames directly.
#pragma once

#include "analysis/link_layer.h"
#include "analysis/wake_diagnosis.h"

#include <ctime>

// Room for the longest address text (an IPv6 address) and its terminator.
inline constexpr int kEndpointTextSize = 46;

// One frame as the capture hands it over.
struct CapturedFrame {
    const unsigned char* bytes;
    int length;    // bytes captured, from the link-layer header on
    int linkType;  // one of link_layer.h's kLink values
    std::tm received;
};

enum class SightingKind { kUdp4, kUdp6, kEther };

// Where a magic packet lies in its frame.
struct FrameMagic {
    SightingKind kind;
    const unsigned char* packet;  // the IP datagram, or the 0x0842 payload
    int length;                   // its bytes, padding and trailers left out
    int udp;                      // UDP header offset in `packet`; -1 for ether
    int sync;                     // sync stream offset in `packet`
    const unsigned char* sourceMac;       // the link header's; nullptr when not recorded
    const unsigned char* destinationMac;  // likewise
    LinkPacketType packetType;            // what a cooked header says instead
    int vlan;                             // the outer VLAN tag's id, or kNoVlan
    int interfaceIndex;  // the kernel's, when the link header records it; else 0
    bool outgoing;       // a cooked header says this machine sent it
};

// True when the frame holds a magic packet, incoming or outgoing; reads no
// byte at or past frame.length.
bool FindFrameMagic(const CapturedFrame& frame, FrameMagic* magic);

// The same for a frame whose link layer the caller has read (ReadLinkLayer),
// so that a caller that looks at the link layer too reads it once.
bool FindMagicBehindLink(const CapturedFrame& frame, const LinkView& view, FrameMagic* magic);

// Writes its report into `report` (kReportBufferSize bytes).
void FormatFrameMagicReport(char* report, const FrameMagic& magic, const std::tm& received);

// Both at once: the report of a magic packet, or false.
bool FormatFrameReport(char* report, const CapturedFrame& frame);

// An IP address (family kIpv4 or kIpv6) as text, into kEndpointTextSize bytes.
void FormatIpAddress(int family, const unsigned char* address, char* text);

// Both addresses of a UDP magic packet's datagram, kEndpointTextSize bytes each.
void FormatIpAddresses(const FrameMagic& magic, char* source, char* destination);
