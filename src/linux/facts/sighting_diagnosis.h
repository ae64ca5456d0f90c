// Puts the machine's facts beside each magic packet lumora reports: who the
// target is (this machine's interface, its /etc/ethers name, its address in
// the neighbour table, its maker) and whether the packet would wake this
// machine.
#pragma once

#include "analysis/frame_magic.h"
#include "analysis/machine_facts.h"
#include "linux/capture/direction.h"
#include "records/sighting.h"

#include <cstdint>

// Large: one per run, not on the stack.
struct MachineState {
    bool live;                // a capture file may come from any machine: no facts of this one
    LocalInterfaces atStart;  // with the card states read at start-up
    LocalInterfaces current;  // the interfaces and neighbours as last read
    NeighbourTable neighbours;
    std::int64_t readAtMs;    // when `current` and `neighbours` were read; -1: never
    int watchedIndex;         // -i's interface index; 0 with every interface or a file
    unsigned char ethersMac[kHardwareAddressLength];  // the last /etc/ethers lookup
    char ethersName[kTargetNameSize];
    std::int64_t ethersAtMs;  // when it was made; -1: never
};

// For a live capture on `device` (nullptr: every interface), reads the
// interfaces and their cards (needs CAP_NET_ADMIN for the cards).
void StartMachineState(const char* device, bool live, MachineState* machine);

// Whether this machine sent the frame: a cooked header says so; on one
// interface the kernel passed the frames of `direction`, and for both ways the
// source MAC tells; a file's other frames came in.
bool SentByThisMachine(const FrameMagic& magic, const MachineState& machine, Direction direction);

// Fills the sighting's diagnosis and target fields for the magic packet
// `magic`, whose other fields DescribeFrameMagic has filled.
void DiagnoseSighting(const FrameMagic& magic, MachineState* machine, Sighting* sighting);
