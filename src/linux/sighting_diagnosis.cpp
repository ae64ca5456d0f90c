#include "linux/sighting_diagnosis.h"

#include "linux/readiness.h"
#include "linux/system_facts.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <cstring>

namespace {

void CopyText(char* to, int size, const char* from) {
    std::strncpy(to, from, static_cast<std::size_t>(size) - 1);
    to[size - 1] = '\0';
}

const LocalInterfaces* CurrentInterfaces(MachineState* machine) {
    if (!machine->live) return nullptr;
    if (machine->stale) {
        if (!ReadLocalInterfaces(&machine->current)) machine->current.count = 0;
        CarryCardStates(machine->atStart, &machine->current);
        machine->stale = false;
    }
    return &machine->current;
}

int ReceivingIndex(const FrameMagic& magic, const MachineState& machine) {
    return magic.interfaceIndex > 0 ? magic.interfaceIndex : machine.watchedIndex;
}

void FormatNeighbourAddress(const NeighbourEntry& entry, char* text) {
    const int family = entry.family == kIpv6 ? AF_INET6 : AF_INET;
    if (inet_ntop(family, entry.address, text, kEndpointTextSize) == nullptr) text[0] = '\0';
}

void NameTarget(const WakeDiagnosis& d, const LocalInterfaces* interfaces, const NeighbourMatches& neighbours,
                Sighting* s) {
    if (interfaces != nullptr && d.targetInterface >= 0)
        CopyText(s->targetInterface, kInterfaceNameSize, interfaces->items[d.targetInterface].name);
    if (d.targetNeighbour >= 0) FormatNeighbourAddress(neighbours.items[d.targetNeighbour], s->targetIp);
    if (s->targetMacBytes == kHardwareAddressLength)
        LookUpEthersName(s->targetMac, s->targetName, kTargetNameSize);
}

}  // namespace

void StartMachineState(const char* device, bool live, MachineState* machine) {
    machine->live = live;
    machine->stale = true;
    machine->atStart.count = 0;
    machine->current.count = 0;
    machine->watchedIndex = 0;
    if (!live) return;
    if (!ReadMachineAtStart(device, &machine->atStart)) machine->atStart.count = 0;
    if (device != nullptr) machine->watchedIndex = static_cast<int>(if_nametoindex(device));
}

void DiagnoseSighting(const FrameMagic& magic, MachineState* machine, Sighting* s) {
    s->targetInterface[0] = s->targetName[0] = s->targetIp[0] = '\0';
    char macText[kMacTextSize];
    FormatMacAddress(s->targetMac, s->targetMacBytes, macText);
    PacketFacts facts = PacketFactsOf(magic, *s, macText);
    facts.receivingIndex = ReceivingIndex(magic, *machine);
    const LocalInterfaces* interfaces = CurrentInterfaces(machine);
    static NeighbourMatches neighbours;
    neighbours.count = 0;
    if (interfaces != nullptr && facts.targetMac != nullptr &&
        !ReadNeighbourMatches(facts.targetMac, facts.ipFamily, facts.ipDestination, &neighbours))
        neighbours.count = 0;
    s->diagnosis = DiagnoseMagicPacket(facts, MachineView{interfaces, interfaces != nullptr ? &neighbours : nullptr});
    NameTarget(s->diagnosis, interfaces, neighbours, s);
}
