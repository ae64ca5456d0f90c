#include "app/wake_facts.h"

#include <iphlpapi.h>

#include <cstdlib>
#include <cstring>

#include "app/power_facts.h"
#include "app/registry_setting.h"

namespace {

// The network adapters' class: one subkey per driver instance, 0000, 0001...
constexpr char kNetClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";
constexpr DWORD kMaxDriverKeys = 4096;
constexpr DWORD kSubkeyNameSize = 256;  // the registry's longest key name, and its terminator
constexpr ULONG kAdapterBufferBytes = 16 * 1024;  // Microsoft's advice for a first try
constexpr int kAdapterTries = 3;                  // adapters may come and go between two calls
constexpr ULONG kAdapterFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;

struct Adapter {
    char guid[kDeviceNameSize];
    char description[kDeviceNameSize];
    DWORD ifType;
};

bool HoldsAddress(const IP_ADAPTER_ADDRESSES& adapter, const in_addr& address) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* u = adapter.FirstUnicastAddress; u != nullptr; u = u->Next) {
        const sockaddr* socketAddress = u->Address.lpSockaddr;
        if (socketAddress == nullptr || socketAddress->sa_family != AF_INET ||
            u->Address.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in)))
            continue;
        if (reinterpret_cast<const sockaddr_in*>(socketAddress)->sin_addr.s_addr == address.s_addr) return true;
    }
    return false;
}

void CopyBounded(char* to, const char* from, std::size_t size) {
    std::strncpy(to, from != nullptr ? from : "", size - 1);
    to[size - 1] = '\0';
}

bool TakeAdapter(const IP_ADAPTER_ADDRESSES* list, const in_addr& address, Adapter* found) {
    for (const IP_ADAPTER_ADDRESSES* a = list; a != nullptr; a = a->Next) {
        if (!HoldsAddress(*a, address)) continue;
        CopyBounded(found->guid, a->AdapterName, sizeof found->guid);
        found->description[0] = '\0';
        if (a->Description != nullptr &&
            WideCharToMultiByte(CP_ACP, 0, a->Description, -1, found->description, sizeof found->description - 1,
                                nullptr, nullptr) == 0)
            found->description[0] = '\0';
        found->description[sizeof found->description - 1] = '\0';
        found->ifType = a->IfType;
        return true;
    }
    return false;
}

// The adapter whose unicast addresses include `address`.
bool FindAdapter(const in_addr& address, Adapter* found) {
    ULONG size = kAdapterBufferBytes;
    for (int attempt = 0; attempt < kAdapterTries; ++attempt) {
        void* buffer = std::malloc(size);
        if (buffer == nullptr) return false;
        IP_ADAPTER_ADDRESSES* list = static_cast<IP_ADAPTER_ADDRESSES*>(buffer);
        const ULONG result = GetAdaptersAddresses(AF_INET, kAdapterFlags, nullptr, list, &size);
        const bool taken = result == ERROR_SUCCESS && TakeAdapter(list, address, found);
        std::free(buffer);
        if (result != ERROR_BUFFER_OVERFLOW) return taken;
    }
    return false;
}

bool IsDriverOf(HKEY driver, const char* guid) {
    char id[kDeviceNameSize];
    return ReadText(driver, "NetCfgInstanceId", id, sizeof id) && lstrcmpiA(id, guid) == 0;
}

// The driver key whose NetCfgInstanceId is the adapter's GUID, or null.
HKEY OpenDriverKey(const char* guid) {
    HKEY netClass = nullptr;
    if (OpenMachineKey(nullptr, kNetClassKey, KEY_ENUMERATE_SUB_KEYS, &netClass) != ERROR_SUCCESS) return nullptr;
    HKEY found = nullptr;
    for (DWORD index = 0; index < kMaxDriverKeys && found == nullptr; ++index) {
        char name[kSubkeyNameSize];
        DWORD length = sizeof name;
        const LONG result = RegEnumKeyExA(netClass, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        HKEY driver = nullptr;
        // "Properties" is closed even to administrators: skipped like any key that cannot be read.
        if (result != ERROR_SUCCESS || OpenMachineKey(netClass, name, KEY_QUERY_VALUE, &driver) != ERROR_SUCCESS)
            continue;
        if (IsDriverOf(driver, guid))
            found = driver;
        else
            RegCloseKey(driver);
    }
    RegCloseKey(netClass);
    return found;
}

void ReadDriverSettings(HKEY driver, WindowsWakeFacts* facts, char* driverName, DWORD size) {
    facts->characteristics = ReadSetting(driver, "Characteristics");
    facts->wakeOnMagicPacket = ReadSetting(driver, "*WakeOnMagicPacket");
    facts->modernStandbyWake = ReadSetting(driver, "*ModernStandbyWoLMagicPacket");
    facts->shutdownWake = ReadSetting(driver, "S5WakeOnLan");
    facts->pnpCapabilities = ReadSetting(driver, "PnPCapabilities");
    ReadText(driver, "DriverDesc", driverName, size);
}

constexpr Setting kUnread = {SettingRead::kUnread, 0};

}  // namespace

WindowsWakeFacts ReadWakeFacts(const in_addr& address) {
    WindowsWakeFacts facts = {kIfTypeNone, kUnread, kUnread, kUnread, kUnread, kUnread, Tristate::kUnknown,
                              kUnread, kUnread, Tristate::kUnknown, Tristate::kUnknown};
    ReadPowerSettings(&facts);
    Adapter adapter{};
    if (!FindAdapter(address, &adapter)) return facts;
    facts.ifType = adapter.ifType;
    char driverName[kDeviceNameSize] = "";
    if (HKEY driver = OpenDriverKey(adapter.guid)) {
        ReadDriverSettings(driver, &facts, driverName, sizeof driverName);
        RegCloseKey(driver);
    }
    facts.armed = ReadArmed(driverName, adapter.description);
    return facts;
}
