// lumora --check, and the readiness lines a live capture starts with.
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "analysis/wake_diagnosis.h"
#include "linux/capture/diagnostics.h"
#include "linux/facts/readiness.h"
#include "linux/program/commands.h"
#include "records/readiness_forms.h"

namespace {

constexpr int kReadinessTextSize = 4096;
constexpr int kHostNameSize = 256;  // HOST_NAME_MAX is 64; room to spare

// Shares the one line of interfaces with no device: never one named with -i.
bool Deviceless(const LocalInterface& interface, const char* device) {
    return device == nullptr && !interface.hasDevice;
}

Written Emit(char* text, int length, bool toStandardError) {
    if (length < 0) return Written::kWhole;
    if (!toStandardError) return PrintOut(text, length);
    if (length > 0 && text[length - 1] == '\n') text[length - 1] = '\0';
    PrintMessage("%s", text);
    return Written::kWhole;
}

Written PrintDeviceless(const LocalInterfaces& interfaces, bool toStandardError) {
    const char* names[kMaxLocalInterfaces];
    int count = 0;
    for (int i = 0; i < interfaces.count; ++i)
        if (IsChecked(interfaces.items[i], nullptr) && Deviceless(interfaces.items[i], nullptr))
            names[count++] = interfaces.items[i].name;
    if (count == 0) return Written::kWhole;
    char text[kReadinessTextSize];
    return Emit(text, FormatDevicelessLine(names, count, text, sizeof text), toStandardError);
}

Written PrintOne(const LocalInterface& interface, OutputFormat format, bool toStandardError, int* wakes) {
    const CardReadiness readiness = JudgeCard(interface);
    char text[kReadinessTextSize];
    const bool json = format == OutputFormat::kJson && !toStandardError;
    const int length = json ? FormatReadinessJson(interface, readiness, text, sizeof text)
                            : FormatReadinessLine(interface, readiness, text, sizeof text);
    if (readiness.wakesOnMagicPacket == Tristate::kYes) ++*wakes;
    return Emit(text, length, toStandardError);
}

}  // namespace

ReadinessPrinted PrintReadiness(const LocalInterfaces& interfaces, const char* device, OutputFormat format,
                                bool toStandardError) {
    // Lines for people group what cannot wake anyway; json keeps every object.
    const bool group = format != OutputFormat::kJson || toStandardError;
    ReadinessPrinted printed{0, Written::kWhole};
    for (int i = 0; i < interfaces.count && printed.written == Written::kWhole; ++i) {
        const LocalInterface& interface = interfaces.items[i];
        if (!IsChecked(interface, device) || (group && Deviceless(interface, device))) continue;
        printed.written = PrintOne(interface, format, toStandardError, &printed.wakes);
    }
    if (group && device == nullptr && printed.written == Written::kWhole)
        printed.written = PrintDeviceless(interfaces, toStandardError);
    return printed;
}

namespace {

// --event: one record per card, each with the time and the machine's name,
// for the journal the moment the machine goes to sleep or shuts down. A
// bridge or a VLAN shares its card's MAC, and its record would say that
// card cannot wake: only the cards' are written.
ReadinessPrinted PrintRecords(const LocalInterfaces& interfaces, const char* device, const char* event) {
    timeval now{};
    gettimeofday(&now, nullptr);
    const CaptureTime time{now.tv_sec, static_cast<int>(now.tv_usec)};
    char host[kHostNameSize] = "";
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';  // a name too long is left unterminated: none
    // The cards; a machine with none (a virtual one) records what it has.
    bool anyCard = false;
    for (int i = 0; i < interfaces.count; ++i)
        anyCard = anyCard || (IsChecked(interfaces.items[i], device) && !Deviceless(interfaces.items[i], device));
    ReadinessPrinted printed{0, Written::kWhole};
    for (int i = 0; i < interfaces.count && printed.written == Written::kWhole; ++i) {
        const LocalInterface& interface = interfaces.items[i];
        if (!IsChecked(interface, device) || (anyCard && Deviceless(interface, device))) continue;
        const CardReadiness readiness = JudgeCard(interface);
        if (readiness.wakesOnMagicPacket == Tristate::kYes) ++printed.wakes;
        char text[kReadinessTextSize];
        const int length = FormatReadinessRecord(interface, readiness, time, host, event, text, sizeof text);
        if (length > 0) printed.written = PrintOut(text, length);
    }
    return printed;
}

}  // namespace

// 0 when a checked interface would wake the machine, 1 when none would or
// none could be read.
int RunCheck(const Options& options) {
    static LocalInterfaces interfaces;  // large: kept off the stack
    if (!ReadMachineAtStart(options.device, &interfaces)) return kExitFailure;
    const ReadinessPrinted printed = options.event != nullptr
                                         ? PrintRecords(interfaces, options.device, options.event)
                                         : PrintReadiness(interfaces, options.device, options.format, false);
    if (printed.written != Written::kWhole) return ExitStatusOf(printed.written);
    return printed.wakes > 0 ? kExitOk : kExitFailure;
}
