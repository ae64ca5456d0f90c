// Finds the magic packet in one captured frame by its link type (UDP over
// IPv4 and IPv6, 0x0842 frames) and writes its report or fills its record.
#pragma once

#include "analysis/wake_diagnosis.h"
#include "linux/output_format.h"

#include <ctime>

// One frame as libpcap hands it over.
struct CapturedFrame {
    const unsigned char* bytes;
    int length;    // bytes captured, from the link-layer header on
    int linkType;  // DLT_ value of the capture
    std::tm received;
};

// Ethernet, Linux cooked v1 and v2, raw IP and BSD loopback.
bool IsSupportedLinkType(int linkType);

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

// Writes its report into `report` (kReportBufferSize bytes).
void FormatFrameMagicReport(char* report, const FrameMagic& magic, const std::tm& received);

// Both at once: the report of a magic packet, or false.
bool FormatFrameReport(char* report, const CapturedFrame& frame);

// Fills everything of `sighting` that the packet tells: kind, addresses,
// ports, UDP length and checksum, payload, target MAC, password and verdict.
void DescribeFrameMagic(const FrameMagic& magic, Sighting* sighting);

// What the judgement needs of a described magic packet; the receiving
// interface is the one the link header records (0: none).
PacketFacts PacketFactsOf(const FrameMagic& magic, const Sighting& sighting, const char* targetMacText);
