// Chooses the report for one captured frame from its link type: the UDP
// report for IPv4 and IPv6, the Ethernet report for 0x0842 frames.
#pragma once

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

// Writes the report into `report` (kReportBufferSize bytes) and returns true
// when the frame is an incoming magic packet; reads no byte at or past
// frame.length.
bool FormatFrameReport(char* report, const CapturedFrame& frame);
