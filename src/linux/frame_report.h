// Chooses the report for one captured frame: the UDP report for an incoming
// IPv4 datagram, the Ethernet report for an incoming 0x0842 frame.
#pragma once

#include "linux/capture_socket.h"

// Writes the report into `report` (kReportBufferSize bytes) and returns true
// when the frame is an incoming magic packet; reads no byte at or past
// info.length.
bool FormatFrameReport(char* report, const unsigned char* frame, const FrameInfo& info);
