// Wake-on-LAN magic packets sent as raw Ethernet frames of EtherType 0x0842
// and their report, in the shape of the UDP one. Portable, like the rest of
// src/analysis.
#pragma once

#include <ctime>

constexpr int kEthernetHeaderLength = 14;
constexpr int kEtherTypeWake = 0x0842;

// Writes the report for one received Ethernet frame (from the destination MAC
// address on, without the frame check sequence) into `report`, a buffer of
// kReportBufferSize bytes, when its EtherType, behind at most two VLAN tags,
// is 0x0842 and its payload holds six 0xFF bytes in a row. Returns false,
// leaving `report` undetermined, for anything else. The text is always
// NUL-terminated.
bool FormatEthernetWakeReport(char* report, const unsigned char* frame, int length);

// The same with the receive time given, so tests can pin the clock.
bool FormatEthernetWakeReportAt(char* report, const unsigned char* frame, int length,
                                const std::tm& received);

// A 0x0842 frame as a capture recorded it, when that was not as an Ethernet
// header (a cooked capture keeps the sender's address only).
struct WakeFrame {
    const unsigned char* destination;  // six bytes, or nullptr when not recorded
    const unsigned char* source;       // six bytes, or nullptr when not recorded
    const unsigned char* payload;      // what follows the EtherType
    int length;                        // payload bytes received
};

// The report of such a frame; an address not recorded shows as "--".
bool FormatWakeFrameReportAt(char* report, const WakeFrame& frame, const std::tm& received);
