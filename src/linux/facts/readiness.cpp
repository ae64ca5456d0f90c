// Reading the cards at start-up and printing whether each would wake the
// machine (--check, and the lines a live capture starts with).
#include "linux/facts/readiness.h"

#include "analysis/wake_diagnosis.h"
#include "linux/capture/diagnostics.h"
#include "linux/capture/report_output.h"
#include "linux/facts/system_facts.h"
#include "records/readiness_forms.h"

#include <cstring>

namespace {

constexpr int kReadinessTextSize = 4096;

bool Checked(const LocalInterface& interface, const char* device) {
    if (device != nullptr) return std::strcmp(interface.name, device) == 0;
    return interface.up && !interface.loopback;
}

// Shares the one line of interfaces with no device: never one named with -i.
bool Deviceless(const LocalInterface& interface, const char* device) {
    return device == nullptr && !interface.hasDevice;
}

void Emit(char* text, int length, bool toStandardError) {
    if (length < 0) return;
    if (!toStandardError) {
        PrintReport(text);
        return;
    }
    if (length > 0 && text[length - 1] == '\n') text[length - 1] = '\0';
    PrintMessage("%s", text);
}

void PrintDeviceless(const LocalInterfaces& interfaces, bool toStandardError) {
    const char* names[kMaxLocalInterfaces];
    int count = 0;
    for (int i = 0; i < interfaces.count; ++i)
        if (Checked(interfaces.items[i], nullptr) && Deviceless(interfaces.items[i], nullptr))
            names[count++] = interfaces.items[i].name;
    if (count == 0) return;
    char text[kReadinessTextSize];
    Emit(text, FormatDevicelessLine(names, count, text, sizeof text), toStandardError);
}

// Returns whether the interface would wake the machine.
bool PrintOne(const LocalInterface& interface, OutputFormat format, bool toStandardError) {
    const CardReadiness readiness = JudgeCard(interface);
    char text[kReadinessTextSize];
    const bool json = format == OutputFormat::kJson && !toStandardError;
    const int length = json ? FormatReadinessJson(interface, readiness, text, sizeof text)
                            : FormatReadinessLine(interface, readiness, text, sizeof text);
    Emit(text, length, toStandardError);
    return readiness.wakesOnMagicPacket == Tristate::kYes;
}

}  // namespace

bool ReadMachineAtStart(const char* device, LocalInterfaces* interfaces) {
    if (!ReadLocalInterfaces(interfaces)) return false;
    bool found = device == nullptr;
    for (int i = 0; i < interfaces->count; ++i) {
        LocalInterface& interface = interfaces->items[i];
        if (!Checked(interface, device)) continue;
        found = true;
        ReadCardState(interface.name, &interface.card);
    }
    if (!found) PrintMessage("no such interface: %s", device);
    return found;
}

int PrintReadiness(const LocalInterfaces& interfaces, const char* device, OutputFormat format, bool toStandardError) {
    // Lines for people group what cannot wake anyway; json keeps every object.
    const bool group = format != OutputFormat::kJson || toStandardError;
    int wakes = 0;
    for (int i = 0; i < interfaces.count; ++i) {
        const LocalInterface& interface = interfaces.items[i];
        if (!Checked(interface, device) || (group && Deviceless(interface, device))) continue;
        if (PrintOne(interface, format, toStandardError)) ++wakes;
    }
    if (group && device == nullptr) PrintDeviceless(interfaces, toStandardError);
    return wakes;
}
