// Stands in for Windows' powrprof.dll in the readiness test, which loads it
// with WINEDLLOVERRIDES=powrprof=n (Wine's own has no DevicePowerEnumDevices).
// It answers from the test's environment:
//   LUMORA_ARMED_DEVICES  the names of the armed devices, separated by '|'
//   LUMORA_HIBERNATION    "1": a hibernation file is present
//   LUMORA_MODERN_STANDBY "1": the machine sleeps in Modern Standby
#include <windows.h>

namespace {

constexpr ULONG kArmedQuery = 0x08000000 | 0x20000000;  // wake-enabled devices that are present
constexpr int kListSize = 1024;
constexpr char kSeparator = '|';
constexpr int kCapabilitiesSize = 0x4C;
constexpr int kHiberFilePresentAt = 0x08;
constexpr int kAoAcAt = 0x14;

bool EnvironmentSays(const char* name) {
    char value[2] = "";
    return GetEnvironmentVariableA(name, value, sizeof value) == 1 && value[0] == '1';
}

// The `index`th name of the list into name[0, size), or false past the last.
bool ListedName(ULONG index, char* name, int size) {
    char list[kListSize] = "";
    const DWORD length = GetEnvironmentVariableA("LUMORA_ARMED_DEVICES", list, sizeof list);
    if (length == 0 || length >= sizeof list) return false;
    const char* at = list;
    for (ULONG skipped = 0; skipped < index; ++skipped) {
        while (*at != '\0' && *at != kSeparator) ++at;
        if (*at == '\0') return false;
        ++at;
    }
    int copied = 0;
    while (at[copied] != '\0' && at[copied] != kSeparator && copied < size - 1) {
        name[copied] = at[copied];
        ++copied;
    }
    name[copied] = '\0';
    return true;
}

}  // namespace

// As Windows does: the device's name as UTF-16 text, FALSE past the last
// device or when the buffer, whose size is in bytes, is too small.
extern "C" __declspec(dllexport) BOOLEAN WINAPI DevicePowerEnumDevices(ULONG index, ULONG interpretation, ULONG,
                                                                         PBYTE buffer, PULONG bytes) {
    char name[kListSize];
    if (interpretation != kArmedQuery || !ListedName(index, name, sizeof name)) return FALSE;
    const int chars = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    const ULONG needed = static_cast<ULONG>(chars) * sizeof(WCHAR);
    if (buffer == nullptr || bytes == nullptr || *bytes < needed) {
        if (bytes != nullptr) *bytes = needed;
        return FALSE;
    }
    MultiByteToWideChar(CP_ACP, 0, name, -1, reinterpret_cast<WCHAR*>(buffer), chars);
    *bytes = needed;
    return TRUE;
}

extern "C" __declspec(dllexport) BOOLEAN WINAPI DevicePowerClose() { return TRUE; }

extern "C" __declspec(dllexport) BOOLEAN WINAPI GetPwrCapabilities(void* capabilities) {
    unsigned char* bytes = static_cast<unsigned char*>(capabilities);
    ZeroMemory(bytes, kCapabilitiesSize);
    bytes[kHiberFilePresentAt] = EnvironmentSays("LUMORA_HIBERNATION") ? 1 : 0;
    bytes[kAoAcAt] = EnvironmentSays("LUMORA_MODERN_STANDBY") ? 1 : 0;
    return TRUE;
}
