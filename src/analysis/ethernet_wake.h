// Wake-on-LAN magic packets sent as raw Ethernet frames of EtherType 0x0842
// and their report, in the shape of the UDP one. Portable, like the rest of
// src/analysis.
#pragma once

#include <ctime>

constexpr int kEthernetHeaderLength = 14;
constexpr int kEtherTypeWake = 0x0842;

// A 0x0842 frame as the capture recorded it: an Ethernet header has both
// addresses, a cooked header the sender's only.
struct WakeFrame {
    const unsigned char* destination;  // six bytes, or nullptr when not recorded
    const unsigned char* source;       // six bytes, or nullptr when not recorded
    const unsigned char* payload;      // what follows the EtherType
    int length;                        // payload bytes received
};

// The report of such a frame; an address not recorded shows as "--".
bool FormatWakeFrameReportAt(char* report, const WakeFrame& frame, const std::tm& received);
