// Would this Windows machine wake on a magic packet that reaches the adapter
// Lumora.exe listens on, from Sleep, from Hibernate and from Shut down? Judged
// from what Lumora.exe reads at start-up: the adapter's kind, its driver's
// power-management keywords, whether Windows has armed it, Fast Startup and
// Modern Standby. Portable, so the judgement is tested by tables with no
// Windows behind it.
#pragma once

#include <cstdint>

#include "analysis/hints.h"
#include "base/tristate.h"

// GetAdaptersAddresses' IfType values that decide the adapter's kind.
inline constexpr std::uint32_t kIfTypeNone = 0;  // no adapter holds the listening address
inline constexpr std::uint32_t kIfTypeEthernet = 6;
inline constexpr std::uint32_t kIfTypePpp = 23;
inline constexpr std::uint32_t kIfTypeLoopback = 24;
inline constexpr std::uint32_t kIfTypePropVirtual = 53;
inline constexpr std::uint32_t kIfTypeWifi = 71;
inline constexpr std::uint32_t kIfTypeTunnel = 131;

// The driver key's Characteristics: NCF_VIRTUAL, NCF_PHYSICAL.
inline constexpr std::uint32_t kNcfVirtual = 0x1;
inline constexpr std::uint32_t kNcfPhysical = 0x4;

// One registry value, read as a number.
enum class SettingRead : std::uint8_t {
    kUnread,     // its key was not found or could not be read
    kAbsent,     // the key is there, the value is not
    kValue,      // value holds it
    kMalformed,  // neither a DWORD nor a decimal string
};

struct Setting {
    SettingRead read;
    std::uint32_t value;
};

struct WindowsWakeFacts {
    std::uint32_t ifType;        // kIfTypeNone when no adapter holds the address
    Setting characteristics;     // the driver key's NCF_* flags
    Setting wakeOnMagicPacket;   // *WakeOnMagicPacket, 1 when absent
    Setting modernStandbyWake;   // *ModernStandbyWoLMagicPacket, 0 when absent
    Setting shutdownWake;        // S5WakeOnLan, the widespread vendor keyword
    Setting pnpCapabilities;     // the Power Management tab's boxes
    Tristate armed;              // among the devices Windows arms to wake
    Setting fastStartupPolicy;   // HiberbootEnabled under the policies
    Setting fastStartupSetting;  // HiberbootEnabled under Session Manager\Power
    Tristate hibernation;        // GetPwrCapabilities' HiberFilePresent
    Tristate modernStandby;      // GetPwrCapabilities' AoAc
};

enum class PowerOff : std::uint8_t { kSleep, kHibernate, kShutDown, kCount };
inline constexpr int kPowerOffCount = static_cast<int>(PowerOff::kCount);

struct WindowsWakeVerdict {
    Tristate wakes[kPowerOffCount];  // by PowerOff
    Hints hints;                     // why not, or why not known; most decisive first
};

WindowsWakeVerdict JudgeWindowsWake(const WindowsWakeFacts& facts);

// "ADDRESS: VERDICT (REASONS; see Help).", the notice of Lumora.exe's first
// line, into text[0, size), terminated; cut short when it does not fit.
// VERDICT speaks of Sleep and Shut down, the two that every Start menu offers,
// and comes first so that the log shows it without scrolling sideways.
void FormatWakeNotice(const WindowsWakeVerdict& verdict, const char* address, char* text, int size);
