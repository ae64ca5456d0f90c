// One magic packet as a plain record, and the two one-line forms lumora can
// print it in besides the report: "line" for people, in the manner of
// tcpdump, and "json" (JSON Lines) for scripts.
#pragma once

#include "analysis/wake_diagnosis.h"
#include "analysis/wake_verdict.h"
#include "linux/mac_filter.h"

// Room for the longest address text (an IPv6 address) and its terminator.
constexpr int kEndpointTextSize = 46;
// Enough for either format of any packet lumora can capture whole: a 65,536-
// byte payload and a password almost as long, both in hex, and the fixed keys.
constexpr int kSightingTextSize = 4 * 65536 + 4096;

// A name /etc/ethers gives a MAC, as long as a host name may be.
constexpr int kTargetNameSize = 256;

enum class SightingKind { kUdp4, kUdp6, kEther };

struct CaptureTime {
    long long seconds;  // since the Epoch, as the capture stamps it
    int microseconds;   // 0-999999
};

// Everything the formats print about one magic packet. The pointers are the
// caller's and must stay valid while the record is formatted.
struct Sighting {
    CaptureTime time;
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
};

// Fills targetMac, targetMacBytes, verdict and password from the packet whose
// sync stream is at `sync` in bytes[0, end), as the report reads it.
void DescribeMagicPacket(const unsigned char* bytes, int sync, int end, Sighting* sighting);

// Local time of `time` by strftime's `format` into text[0, size); false when
// it does not fit or the time cannot be converted.
bool FormatLocalTime(const CaptureTime& time, const char* format, char* text, int size);

// Each writes one line ending in '\n' into text[0, size), terminated, and
// returns its length without the terminator, or -1 (text then holds "") when
// it would not fit or the time cannot be converted. Nothing is written past
// text[size - 1].
int FormatSightingLine(const Sighting& sighting, char* text, int size);
int FormatSightingJson(const Sighting& sighting, char* text, int size);

// One interface's Wake-on-LAN readiness (lumora --check) as a line or a json
// object, ending in '\n', with the same contract as the sighting forms.
int FormatReadinessLine(const LocalInterface& interface, const CardReadiness& readiness, char* text, int size);
int FormatReadinessJson(const LocalInterface& interface, const CardReadiness& readiness, char* text, int size);

// The one line that the interfaces with no device behind them share.
int FormatDevicelessLine(const char* const* names, int count, char* text, int size);
