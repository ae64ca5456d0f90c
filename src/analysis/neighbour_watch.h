// Who asks for a sleeping target? A router that holds a magic packet for a
// unicast or directed address first asks on the target's segment who has
// it (ARP, or an IPv6 neighbour solicitation); a sleeping card without ARP
// offload does not answer, and the router drops the packet. On a switched
// segment a reply goes to the asker alone, so the monitor sees what it can:
// the asker asking again. The watch learns from each host's own ARP, DHCP
// and neighbour messages the addresses its MAC uses, and turns the same
// asker asking again for one of them, with no answer seen, into a record.
// Fed the ARP and neighbour messages of the capture; memory is fixed.
// Portable.
#pragma once

#include <cstdint>

#include "analysis/machine_facts.h"
#include "base/mac_text.h"
#include "base/time_units.h"

using NeighbourTime = std::int64_t;  // capture time in microseconds

inline constexpr int kNeighbourAddressLength = 16;  // IPv6; IPv4 in the first four bytes

// The addresses remembered: a large LAN's hosts, each with its MAC. A full
// neighbourhood of kKnownAddressProbes slots gives up its stalest address.
inline constexpr int kKnownAddressBits = 12;
inline constexpr int kKnownAddressCapacity = 1 << kKnownAddressBits;
inline constexpr int kKnownAddressProbes = 8;
// Questions waiting for a repeat or an answer; a full table closes its oldest.
inline constexpr int kOpenQuestionCapacity = 64;
// A router that gets no answer asks again within seconds (Linux: three
// times, one second apart); one that was answered does not.
inline constexpr NeighbourTime kAskAgainWindow = 5 * kMicrosecondsPerSecond;

enum class NeighbourKind : std::uint8_t {
    kNone,
    kQuestion,  // an ARP request or neighbour solicitation for `target`
    kAnswer,    // an ARP reply or neighbour advertisement for `target`
    kClaim,     // a DHCP request, ARP probe or announcement, or DAD: the sender wants `target`
};

// What one frame says of addresses. `sender` is the sender's own address
// (all zero when it has none yet); `target` the one asked for, answered or
// claimed; `senderMac` the MAC the message names for its sender, where it
// names one (ARP, DHCP); else the frame's source MAC stands for it.
struct NeighbourMessage {
    NeighbourKind kind;
    int family;  // 4 or 6
    unsigned char sender[kNeighbourAddressLength];
    unsigned char target[kNeighbourAddressLength];
    bool namesSenderMac;
    unsigned char senderMac[kMacLength];
};

// Reads an ARP packet, an IPv6 neighbour solicitation or advertisement, or a
// DHCP request, `etherType` being the one after any VLAN tags and `bytes` the
// `length` bytes after it. False for anything else. Reads no byte at or past
// `length`.
bool ReadNeighbourMessage(int etherType, const unsigned char* bytes, int length, NeighbourMessage* message);

// A question asked again with no answer seen: one burst of it.
struct UnansweredRecord {
    int family;
    unsigned char target[kNeighbourAddressLength];  // the address asked for
    unsigned char targetMac[kMacLength];            // whose it last was
    unsigned char askerMac[kMacLength];
    unsigned char asker[kNeighbourAddressLength];   // the asker's own address
    int count;                                      // questions in the burst, 2 or more
    NeighbourTime first;
    NeighbourTime last;
    char interfaceName[kInterfaceNameSize];         // where the first was seen; terminated
};

using UnansweredHandler = void (*)(const UnansweredRecord& record, void* context);

struct KnownAddress {
    int family;  // 0: a free slot
    unsigned char address[kNeighbourAddressLength];
    unsigned char mac[kMacLength];
    NeighbourTime time;
};

struct OpenQuestion {
    UnansweredRecord record;  // as far as it goes
};

// Caller-owned (some 180 KB): static, or allocated once per capture.
struct NeighbourWatch {
    NeighbourTime now;
    UnansweredHandler handler;
    void* context;
    int openCount;
    OpenQuestion open[kOpenQuestionCapacity];  // [0, openCount)
    KnownAddress known[kKnownAddressCapacity];
};

// Empties the watch; each unanswered burst is handed to `handler` when it
// ends (no question within kAskAgainWindow), or when the capture does.
void StartNeighbourWatch(NeighbourWatch* watch, UnansweredHandler handler, void* context);

// One message, from the frame's source MAC, seen on `interfaceName`.
void NoteNeighbourMessage(NeighbourWatch* watch, const unsigned char* sourceMac, const NeighbourMessage& message,
                          NeighbourTime time, const char* interfaceName);

// Whether a question waits for its answer: the one reason to look at frames
// to one host (a reply goes to the asker alone).
bool AwaitsAnswer(const NeighbourWatch& watch);

// The capture's clock: bursts whose asker has been silent for the window end.
void AdvanceNeighbourWatch(NeighbourWatch* watch, NeighbourTime time);

// The capture's end: every burst ends.
void FinishNeighbourWatch(NeighbourWatch* watch);
