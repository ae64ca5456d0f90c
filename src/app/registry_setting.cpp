#include "app/registry_setting.h"

namespace {

constexpr DWORD kSettingBytes = 32;     // a DWORD, or a short decimal string
constexpr int kMaxSettingDigits = 9;    // fits a 32-bit value
constexpr std::uint32_t kDecimalBase = 10;

Setting Malformed() { return {SettingRead::kMalformed, 0}; }

Setting ParseDecimal(const char* text) {
    std::uint32_t value = 0;
    int digits = 0;
    for (; text[digits] != '\0'; ++digits) {
        if (text[digits] < '0' || text[digits] > '9' || digits == kMaxSettingDigits) return Malformed();
        value = value * kDecimalBase + static_cast<std::uint32_t>(text[digits] - '0');
    }
    if (digits == 0) return Malformed();
    return {SettingRead::kValue, value};
}

}  // namespace

LONG OpenMachineKey(HKEY parent, const char* path, REGSAM access, HKEY* key) {
    return RegOpenKeyExA(parent != nullptr ? parent : HKEY_LOCAL_MACHINE, path, 0, access | KEY_WOW64_64KEY, key);
}

Setting ReadSetting(HKEY key, const char* name) {
    BYTE data[kSettingBytes] = {};
    DWORD bytes = sizeof data - 1;  // room for a terminator the value may lack
    DWORD type = REG_NONE;
    const LONG result = RegQueryValueExA(key, name, nullptr, &type, data, &bytes);
    if (result == ERROR_FILE_NOT_FOUND) return {SettingRead::kAbsent, 0};
    if (result != ERROR_SUCCESS) return Malformed();
    if (type == REG_DWORD && bytes == sizeof(DWORD)) {
        DWORD value = 0;
        CopyMemory(&value, data, sizeof value);
        return {SettingRead::kValue, value};
    }
    if (type != REG_SZ) return Malformed();
    data[bytes < sizeof data ? bytes : sizeof data - 1] = '\0';
    return ParseDecimal(reinterpret_cast<const char*>(data));
}

Setting ReadMachineSetting(const char* path, const char* name) {
    HKEY key = nullptr;
    const LONG result = OpenMachineKey(nullptr, path, KEY_QUERY_VALUE, &key);
    if (result == ERROR_FILE_NOT_FOUND) return {SettingRead::kAbsent, 0};
    if (result != ERROR_SUCCESS) return {SettingRead::kUnread, 0};
    const Setting setting = ReadSetting(key, name);
    RegCloseKey(key);
    return setting;
}

bool ReadText(HKEY key, const char* name, char* text, DWORD size) {
    if (size == 0) return false;
    text[0] = '\0';
    DWORD bytes = size - 1;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        text[0] = '\0';
        return false;
    }
    text[bytes < size ? bytes : size - 1] = '\0';
    return true;
}
