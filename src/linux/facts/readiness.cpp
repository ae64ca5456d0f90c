// Reading the cards at start-up.
#include "linux/facts/readiness.h"

#include <cstring>

#include "linux/capture/diagnostics.h"
#include "linux/facts/system_facts.h"

bool IsChecked(const LocalInterface& interface, const char* device) {
    if (device != nullptr) return std::strcmp(interface.name, device) == 0;
    return interface.up && !interface.loopback;
}

bool ReadMachineAtStart(const char* device, LocalInterfaces* interfaces) {
    if (!ReadLocalInterfaces(interfaces)) return false;
    bool found = device == nullptr;
    for (int i = 0; i < interfaces->count; ++i) {
        LocalInterface& interface = interfaces->items[i];
        if (!IsChecked(interface, device)) continue;
        found = true;
        ReadCardState(interface.name, &interface.card);
    }
    if (!found) PrintMessage("no such interface: %s", device);
    return found;
}
