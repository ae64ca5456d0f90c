// One magic packet as lumora records it: a plain record filled from the
// frame (kind, addresses, ports, payload, target, verdict) and from the
// diagnosis, which every form lumora writes reads (line, json, summary).
#pragma once

#include "analysis/frame_magic.h"
#include "analysis/oui_registry.h"
#include "analysis/wake_diagnosis.h"
#include "analysis/wake_verdict.h"
#include "base/mac_text.h"

#include <ctime>

// Enough for either format of any packet lumora can capture whole: a 65,536-
// byte payload and a password almost as long, both in hex, and the fixed keys.
constexpr int kSightingTextSize = 4 * 65536 + 4096;

// A name /etc/ethers gives a MAC, as long as a host name may be.
constexpr int kTargetNameSize = 256;

struct CaptureTime {
    long long seconds;  // since the Epoch, as the capture stamps it
    int microseconds;   // 0-999999
};

// Everything the formats print about one magic packet. The pointers are the
// caller's and must stay valid while the record is formatted.
struct Sighting {
    CaptureTime time;
    const char* host;           // this machine's name; nullptr: not known
    const char* interfaceName;  // NUL-terminated, any bytes
    bool outgoing;              // this machine sent it
    SightingKind kind;
    char source[kEndpointTextSize];       // address, or MAC for kEther
    char destination[kEndpointTextSize];  // likewise
    // UDP only; ignored for kEther.
    int sourcePort;
    int destinationPort;
    int udpLength;
    int udpChecksum;
    const unsigned char* targetMac;  // where the copies start
    int targetMacBytes;              // how many of its six bytes were received
    WakeVerdict verdict;
    const unsigned char* password;  // verdict.passwordLength bytes
    const unsigned char* payload;   // UDP payload or frame payload, as captured
    int payloadLength;
    bool truncated;  // the capture kept less than the packet held
    // Who the target is and whether the packet would wake this machine;
    // empty texts are not known.
    WakeDiagnosis diagnosis;
    char targetInterface[kInterfaceNameSize];
    char targetName[kTargetNameSize];
    char targetIp[kEndpointTextSize];
    char targetVendor[kVendorNameSize];  // the IEEE registry's maker
};

// Fills everything of `sighting` that the packet tells: kind, addresses,
// ports, UDP length and checksum, payload, target MAC, password and verdict.
void DescribeFrameMagic(const FrameMagic& magic, Sighting* sighting);

// Fills targetMac, targetMacBytes, verdict and password from the packet whose
// sync stream is at `sync` in bytes[0, end), as the report reads it.
void DescribeMagicPacket(const unsigned char* bytes, int sync, int end, Sighting* sighting);

// What the judgement needs of a described magic packet; the receiving
// interface is the one the link header records (0: none).
PacketFacts PacketFactsOf(const FrameMagic& magic, const Sighting& sighting, const char* targetMacText);

// The local time of `time`; false when no calendar takes it.
bool ToLocalTime(const CaptureTime& time, std::tm* local);

// Local time of `time` by strftime's `format` into text[0, size); false when
// it does not fit or the time cannot be converted.
bool FormatLocalTime(const CaptureTime& time, const char* format, char* text, int size);
