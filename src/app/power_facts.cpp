#include "app/power_facts.h"

#include <windows.h>

#include "app/registry_setting.h"

namespace {

constexpr char kPowerLibrary[] = "powrprof.dll";
constexpr char kFastStartupPolicyKey[] = "SOFTWARE\\Policies\\Microsoft\\Windows\\System";
constexpr char kFastStartupKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power";
constexpr char kFastStartupValue[] = "HiberbootEnabled";

// SYSTEM_POWER_CAPABILITIES as Microsoft lays it out; MinGW's header lacks
// the newer fields.
constexpr int kCapabilitiesSize = 0x4C;
constexpr int kHiberFilePresentAt = 0x08;
constexpr int kAoAcAt = 0x14;

// What `powercfg /devicequery wake_armed` lists.
constexpr ULONG kFilterWakeEnabled = 0x08000000;     // DEVICEPOWER_FILTER_WAKEENABLED
constexpr ULONG kFilterDevicesPresent = 0x20000000;  // DEVICEPOWER_FILTER_DEVICES_PRESENT
constexpr ULONG kMaxArmedDevices = 1024;
constexpr int kDeviceNameChars = 256;

using GetPwrCapabilitiesProc = BOOLEAN(WINAPI*)(void*);
using DevicePowerEnumDevicesProc = BOOLEAN(WINAPI*)(ULONG, ULONG, ULONG, PBYTE, PULONG);
using DevicePowerCloseProc = BOOLEAN(WINAPI*)();

// GetProcAddress's result as the function it is; void (*)() converts to any
// function type without a warning.
template <typename Proc>
Proc Lookup(HMODULE library, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

Tristate Known(bool yes) { return yes ? Tristate::kYes : Tristate::kNo; }

void ReadCapabilities(HMODULE powrprof, WindowsWakeFacts* facts) {
    const auto get = Lookup<GetPwrCapabilitiesProc>(powrprof, "GetPwrCapabilities");
    alignas(8) unsigned char capabilities[kCapabilitiesSize] = {};
    if (get == nullptr || !get(capabilities)) return;
    facts->hibernation = Known(capabilities[kHiberFilePresentAt] != 0);
    facts->modernStandby = Known(capabilities[kAoAcAt] != 0);  // zero before Windows 8, which had none
}

bool SameName(const char* listed, const char* name) { return name[0] != '\0' && lstrcmpiA(listed, name) == 0; }

// The armed device at `index`, as ANSI text; false past the last.
bool ArmedDevice(DevicePowerEnumDevicesProc enumerate, ULONG index, char* name, int size) {
    WCHAR wide[kDeviceNameChars + 1] = {};
    ULONG bytes = kDeviceNameChars * sizeof(WCHAR);  // the room in bytes, leaving the terminator ours
    if (!enumerate(index, kFilterWakeEnabled | kFilterDevicesPresent, 0, reinterpret_cast<PBYTE>(wide), &bytes))
        return false;
    wide[kDeviceNameChars] = L'\0';
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, name, size - 1, nullptr, nullptr) == 0) name[0] = '\0';
    name[size - 1] = '\0';
    return true;
}

}  // namespace

void ReadPowerSettings(WindowsWakeFacts* facts) {
    facts->fastStartupPolicy = ReadMachineSetting(kFastStartupPolicyKey, kFastStartupValue);
    facts->fastStartupSetting = ReadMachineSetting(kFastStartupKey, kFastStartupValue);
    HMODULE powrprof = LoadLibraryA(kPowerLibrary);
    if (powrprof == nullptr) return;
    ReadCapabilities(powrprof, facts);
    FreeLibrary(powrprof);
}

Tristate ReadArmed(const char* driverName, const char* description) {
    HMODULE powrprof = LoadLibraryA(kPowerLibrary);
    if (powrprof == nullptr) return Tristate::kUnknown;
    const auto enumerate = Lookup<DevicePowerEnumDevicesProc>(powrprof, "DevicePowerEnumDevices");
    Tristate armed = Tristate::kUnknown;
    if (enumerate != nullptr) {
        bool listed = false;
        char name[kDeviceNameSize];
        for (ULONG index = 0; index < kMaxArmedDevices && ArmedDevice(enumerate, index, name, sizeof name); ++index)
            listed = listed || SameName(name, driverName) || SameName(name, description);
        armed = listed ? Tristate::kYes : driverName[0] != '\0' ? Tristate::kNo : Tristate::kUnknown;
        // The list was taken for us; give it back.
        if (const auto close = Lookup<DevicePowerCloseProc>(powrprof, "DevicePowerClose")) close();
    }
    FreeLibrary(powrprof);
    return armed;
}
