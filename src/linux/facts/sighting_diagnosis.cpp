// The machine's facts, read at most once a second, beside each magic packet:
// its target and whether it would wake this machine.
#include "linux/facts/sighting_diagnosis.h"

#include "linux/facts/makers.h"
#include "linux/facts/readiness.h"
#include "linux/facts/system_facts.h"

#include <net/if.h>

#include <cstring>
#include <ctime>

namespace {

// The facts are read again once they are this old, so a flood of magic
// packets costs one read a second, not one per packet.
constexpr std::int64_t kFactsLifetimeMs = 1000;
constexpr std::int64_t kMsPerSecond = 1000;
constexpr long kNsPerMs = 1000000;

void CopyText(char* to, int size, const char* from) {
    std::strncpy(to, from, static_cast<std::size_t>(size) - 1);
    to[size - 1] = '\0';
}

std::int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kMsPerSecond + now.tv_nsec / kNsPerMs;
}

void Refresh(MachineState* machine) {
    const std::int64_t now = NowMs();
    if (machine->readAtMs >= 0 && now - machine->readAtMs < kFactsLifetimeMs) return;
    if (!ReadLocalInterfaces(&machine->current)) machine->current.count = 0;
    CarryCardStates(machine->atStart, &machine->current);
    if (!ReadNeighbourTable(&machine->neighbours)) machine->neighbours.count = 0;
    machine->readAtMs = now;
}

// /etc/ethers as last read: the same MAC's name is looked up again only
// once it is as old as the other facts.
const char* EthersName(MachineState* machine, const unsigned char* mac) {
    const std::int64_t now = NowMs();
    const bool fresh = machine->ethersAtMs >= 0 && now - machine->ethersAtMs < kFactsLifetimeMs;
    if (fresh && std::memcmp(machine->ethersMac, mac, kHardwareAddressLength) == 0) return machine->ethersName;
    std::memcpy(machine->ethersMac, mac, kHardwareAddressLength);
    if (!LookUpEthersName(mac, machine->ethersName, kTargetNameSize)) machine->ethersName[0] = '\0';
    machine->ethersAtMs = now;
    return machine->ethersName;
}

int ReceivingIndex(const FrameMagic& magic, const MachineState& machine) {
    return magic.interfaceIndex > 0 ? magic.interfaceIndex : machine.watchedIndex;
}

void NameTarget(const WakeDiagnosis& d, const LocalInterfaces* interfaces, const NeighbourMatches& neighbours,
                Sighting* s) {
    if (interfaces != nullptr && d.targetInterface >= 0)
        CopyText(s->targetInterface, kInterfaceNameSize, interfaces->items[d.targetInterface].name);
    if (d.targetNeighbour >= 0) {
        const NeighbourEntry& entry = neighbours.items[d.targetNeighbour];
        FormatIpAddress(entry.family, entry.address, s->targetIp);
    }
}

bool IsWatchedMac(const MachineState& machine, const unsigned char* mac) {
    if (mac == nullptr) return false;
    for (int i = 0; i < machine.atStart.count; ++i) {
        const LocalInterface& interface = machine.atStart.items[i];
        if (interface.index == machine.watchedIndex)
            return interface.hasMac && std::memcmp(interface.mac, mac, kHardwareAddressLength) == 0;
    }
    return false;
}

}  // namespace

bool SentByThisMachine(const FrameMagic& magic, const MachineState& machine, Direction direction) {
    if (magic.packetType != LinkPacketType::kNotRecorded || magic.outgoing) return magic.outgoing;
    if (!machine.live || direction == Direction::kIn) return false;
    return direction == Direction::kOut || IsWatchedMac(machine, magic.sourceMac);
}

void StartMachineState(const char* device, bool live, MachineState* machine) {
    machine->live = live;
    machine->readAtMs = -1;
    machine->atStart.count = machine->current.count = machine->neighbours.count = 0;
    machine->watchedIndex = 0;
    machine->ethersAtMs = -1;
    if (!live) return;
    if (!ReadMachineAtStart(device, &machine->atStart)) machine->atStart.count = 0;
    if (device != nullptr) machine->watchedIndex = static_cast<int>(if_nametoindex(device));
}

void DiagnoseSighting(const FrameMagic& magic, MachineState* machine, Sighting* s) {
    s->targetInterface[0] = s->targetName[0] = s->targetIp[0] = '\0';
    char macText[kMacTextSize];
    FormatMac(s->targetMac, MissingPast(s->targetMacBytes), macText);
    PacketFacts facts = PacketFactsOf(magic, *s, macText);
    facts.receivingIndex = ReceivingIndex(magic, *machine);
    facts.outgoing = s->outgoing;
    facts.routePrefix = -1;
    NeighbourMatches neighbours{};
    if (machine->live) {
        // Its own send may just have changed the neighbour table: read it anew.
        if (s->outgoing) machine->readAtMs = -1;
        if (s->outgoing && facts.ipFamily == kIpv4) facts.routePrefix = ReadRoutePrefixLength(facts.ipDestination);
        Refresh(machine);
        if (facts.targetMac != nullptr)
            MatchNeighbours(machine->neighbours, facts.targetMac, facts.ipFamily, facts.ipDestination, &neighbours);
    }
    const LocalInterfaces* interfaces = machine->live ? &machine->current : nullptr;
    s->diagnosis = DiagnoseMagicPacket(facts, MachineView{interfaces, machine->live ? &neighbours : nullptr});
    NameTarget(s->diagnosis, interfaces, neighbours, s);
    s->targetVendor[0] = '\0';
    if (facts.targetMac == nullptr) return;
    CopyText(s->targetName, kTargetNameSize, EthersName(machine, facts.targetMac));
    LookUpMaker(facts.targetMac, s->targetVendor, kVendorNameSize);
    AddTargetMacHints(facts.targetMac, macText, &s->diagnosis.hints);
}
