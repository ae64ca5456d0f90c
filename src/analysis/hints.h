// The hints lumora gives with a diagnosis: one table of stable codes, each
// with what it means and one sentence of what to do. Scripts match on the
// codes, so a code is never renamed once released; the output, the manual's
// check and `lumora --list-hints` all read this table.
#pragma once

#include <cstdint>

enum class HintCode : std::uint8_t {
    kMalformed,
    kWolUnsupported,
    kWolDisabled,
    kWolUnknown,
    kDeviceWakeupDisabled,
    kPasswordMismatch,
    kWrongInterface,
    kOtherMac,
    kMulticast,
    kVlanTagged,
    kNotThisSubnet,
    kUnicastIp,
    kNotThisMachine,
    kOneInterfaceOnly,
    kLocallyAdministered,
    kMulticastMac,
    kVmCard,
    // Lumora.exe's first line on Windows.
    kFastStartup,
    kModernStandby,
    kWifiAdapter,
    kVirtualAdapter,
    kShutdownWolDisabled,
    kCount,
};

inline constexpr int kHintCount = static_cast<int>(HintCode::kCount);

struct HintInfo {
    HintCode code;
    const char* name;    // the stable code, "wol-disabled"
    const char* reason;  // why it would not wake, for "would not wake this machine: ..."; nullptr: advice only
    const char* advice;  // what to do; %1 and %2 stand for the hint's two subjects
    const char* first;   // what %1 stands for, in the list of hints ("IFACE")
    const char* second;  // what %2 stands for
    const char* windows; // why Lumora.exe's first line says it would not wake; nullptr: Linux only
};

// Indexed by HintCode.
extern const HintInfo kHints[kHintCount];

inline const HintInfo& HintInfoOf(HintCode code) { return kHints[static_cast<int>(code)]; }

inline constexpr int kHintSubjectSize = 64;
inline constexpr int kMaxHints = 8;

// One hint as given: its code and the subjects its texts name (an interface,
// an address, a VLAN id), terminated.
struct Hint {
    HintCode code;
    char first[kHintSubjectSize];
    char second[kHintSubjectSize];
};

struct Hints {
    Hint items[kMaxHints];
    int count;
};

// Appends a hint unless one with that code is there or the list is full.
void AddHint(Hints* hints, HintCode code, const char* first = "", const char* second = "");

bool HasHint(const Hints& hints, HintCode code);

// `pattern` (a reason or advice) with %1 and %2 replaced by the subjects,
// into text[0, size), terminated; cut short when it does not fit. Returns
// the length written.
int ExpandHintText(const char* pattern, const Hint& hint, char* text, int size);

// locally-administered and multicast-mac, for the bits of the target MAC
// that no card's burnt-in address has; `macText` is the MAC as shown.
void AddTargetMacHints(const unsigned char* mac, const char* macText, Hints* hints);
