// The judgement of a Windows machine's readiness to wake, and its notice.
#include "analysis/windows_readiness.h"

#include <cstring>

namespace {

// The Power Management tab's boxes as PnPCapabilities records them.
constexpr std::uint32_t kPnpDefault = 0x0;           // turn-off and wake ticked
constexpr std::uint32_t kPnpAllTicked = 0x100;
constexpr std::uint32_t kPnpWakeUnticked = 0x110;    // only "allow the computer to turn off"
constexpr std::uint32_t kPnpNoTurnOff = 0x18;        // turn-off unticked, so no wake
constexpr std::uint32_t kPnpNoTurnOffAlso = 0x118;

constexpr std::uint32_t kKeywordOff = 0;
constexpr std::uint32_t kKeywordOn = 1;

enum class AdapterKind : std::uint8_t { kUnknown, kCard, kWifi, kVirtual };

// What the facts say once defaults and combinations are applied.
struct Derived {
    AdapterKind kind;
    Tristate magic;          // wakes on a magic packet at all
    Tristate standbyWake;    // ... from Modern Standby
    Tristate shutdownWake;   // ... after Shut down
    Tristate mayWake;        // Windows arms it to wake the system
    Tristate modernStandby;  // Sleep is Modern Standby
    Tristate fastStartup;    // Shut down is a hibernation
};

Tristate Known(bool yes) { return yes ? Tristate::kYes : Tristate::kNo; }

Tristate Not(Tristate t) {
    if (t == Tristate::kUnknown) return t;
    return Known(t == Tristate::kNo);
}

// An on/off keyword of the driver key; `absent` is its documented default.
Tristate Keyword(const Setting& s, Tristate absent) {
    if (s.read == SettingRead::kAbsent) return absent;
    if (s.read != SettingRead::kValue) return Tristate::kUnknown;
    if (s.value == kKeywordOn) return Tristate::kYes;
    if (s.value == kKeywordOff) return Tristate::kNo;
    return Tristate::kUnknown;
}

Tristate PnpAllowsWake(const Setting& s) {
    if (s.read != SettingRead::kValue) return Tristate::kUnknown;
    switch (s.value) {
        case kPnpDefault:
        case kPnpAllTicked: return Tristate::kYes;
        case kPnpWakeUnticked:
        case kPnpNoTurnOff:
        case kPnpNoTurnOffAlso: return Tristate::kNo;
        default: return Tristate::kUnknown;
    }
}

bool MarkedVirtual(const Setting& characteristics) {
    return characteristics.read == SettingRead::kValue && (characteristics.value & kNcfVirtual) != 0 &&
           (characteristics.value & kNcfPhysical) == 0;
}

AdapterKind KindOf(const WindowsWakeFacts& f) {
    if (f.ifType == kIfTypeNone) return AdapterKind::kUnknown;
    if (MarkedVirtual(f.characteristics)) return AdapterKind::kVirtual;  // Hyper-V's vEthernet, most VPNs
    switch (f.ifType) {
        case kIfTypeEthernet: return AdapterKind::kCard;
        case kIfTypeWifi: return AdapterKind::kWifi;
        case kIfTypePpp:
        case kIfTypeLoopback:
        case kIfTypePropVirtual:
        case kIfTypeTunnel: return AdapterKind::kVirtual;
        default: return AdapterKind::kUnknown;
    }
}

// A policy that requires Fast Startup wins; one that is disabled leaves the
// user's own setting in force, as the policy's own description says.
Tristate FastStartupSetting(const WindowsWakeFacts& f) {
    const Setting& local = f.fastStartupSetting;
    const Tristate own = local.read == SettingRead::kValue ? Known(local.value != 0) : Tristate::kUnknown;
    const Setting& policy = f.fastStartupPolicy;
    if (policy.read == SettingRead::kValue && policy.value != 0) return Tristate::kYes;
    if (policy.read == SettingRead::kValue || policy.read == SettingRead::kAbsent) return own;
    return own == Tristate::kYes ? own : Tristate::kUnknown;  // a policy we could not read may require it
}

// Fast Startup hibernates, so it is in force only while hibernation is on.
Tristate FastStartupInForce(const WindowsWakeFacts& f) {
    const Tristate setting = FastStartupSetting(f);
    if (setting == Tristate::kNo || f.hibernation == Tristate::kNo) return Tristate::kNo;
    if (setting == Tristate::kYes && f.hibernation == Tristate::kYes) return Tristate::kYes;
    return Tristate::kUnknown;
}

Derived Derive(const WindowsWakeFacts& f) {
    Derived d{};
    d.kind = KindOf(f);
    d.magic = Keyword(f.wakeOnMagicPacket, Tristate::kYes);
    d.standbyWake = Keyword(f.modernStandbyWake, Tristate::kNo);
    d.shutdownWake = Keyword(f.shutdownWake, Tristate::kUnknown);  // no keyword: the driver and firmware decide
    // The list of armed devices is Windows' own answer; the tab's boxes stand in when it cannot be had.
    d.mayWake = f.armed != Tristate::kUnknown ? f.armed : PnpAllowsWake(f.pnpCapabilities);
    d.modernStandby = f.modernStandby;
    d.fastStartup = FastStartupInForce(f);
    return d;
}

Tristate KindIs(const Derived& d, AdapterKind kind) {
    return d.kind == AdapterKind::kUnknown ? Tristate::kUnknown : Known(d.kind == kind);
}

Tristate IsVirtual(const Derived& d) { return KindIs(d, AdapterKind::kVirtual); }
Tristate IsWifi(const Derived& d) { return KindIs(d, AdapterKind::kWifi); }
Tristate MagicOff(const Derived& d) { return Not(d.magic); }
Tristate WakeNotAllowed(const Derived& d) { return Not(d.mayWake); }
Tristate FastStartupOn(const Derived& d) { return d.fastStartup; }
Tristate ShutdownWakeOff(const Derived& d) { return Not(d.shutdownWake); }

Tristate StandbyWithoutWake(const Derived& d) {
    if (d.modernStandby == Tristate::kNo || d.standbyWake == Tristate::kYes) return Tristate::kNo;
    if (d.modernStandby == Tristate::kYes && d.standbyWake == Tristate::kNo) return Tristate::kYes;
    return Tristate::kUnknown;
}

// One thing that keeps the adapter from waking the machine from some of the
// states; in order, the most decisive first.
struct Blocker {
    HintCode code;
    bool blocks[kPowerOffCount];  // Sleep, Hibernate, Shut down
    Tristate (*holds)(const Derived&);
};

constexpr Blocker kBlockers[] = {
    {HintCode::kVirtualAdapter, {true, true, true}, IsVirtual},
    {HintCode::kWifiAdapter, {false, true, true}, IsWifi},  // WoWLAN needs the link kept, as in Sleep
    {HintCode::kWolDisabled, {true, true, true}, MagicOff},
    {HintCode::kDeviceWakeupDisabled, {true, true, false}, WakeNotAllowed},  // Windows arms nothing at Shut down
    {HintCode::kModernStandby, {true, false, false}, StandbyWithoutWake},
    {HintCode::kFastStartup, {false, false, true}, FastStartupOn},
    {HintCode::kShutdownWolDisabled, {false, false, true}, ShutdownWakeOff},
};

bool SettingsUnknown(const WindowsWakeFacts& f) {
    return f.ifType == kIfTypeNone || f.wakeOnMagicPacket.read == SettingRead::kUnread;
}

}  // namespace

WindowsWakeVerdict JudgeWindowsWake(const WindowsWakeFacts& facts) {
    const Derived d = Derive(facts);
    WindowsWakeVerdict verdict{};
    bool anyUnknown = false;
    for (int state = 0; state < kPowerOffCount; ++state) {
        Tristate wakes = Tristate::kYes;
        for (const Blocker& b : kBlockers) {
            if (!b.blocks[state]) continue;
            const Tristate holds = b.holds(d);
            if (holds == Tristate::kYes) wakes = Tristate::kNo;
            if (holds == Tristate::kUnknown && wakes == Tristate::kYes) wakes = Tristate::kUnknown;
        }
        verdict.wakes[state] = wakes;
        anyUnknown = anyUnknown || wakes == Tristate::kUnknown;
    }
    for (const Blocker& b : kBlockers)
        if (b.holds(d) == Tristate::kYes) AddHint(&verdict.hints, b.code);
    if (anyUnknown && SettingsUnknown(facts)) AddHint(&verdict.hints, HintCode::kWolUnknown);
    return verdict;
}

namespace {

constexpr char kSeeHelp[] = "see Help";
constexpr int kTristates = 3;  // indexed by Tristate: unknown, no, yes

// The verdict on Sleep and Shut down, and what the parenthesis adds to it.
struct VerdictText {
    const char* verdict;
    const char* detail;
};

constexpr VerdictText kVerdicts[kTristates][kTristates] = {
    // Sleep unknown; Shut down unknown, no, yes
    {{"cannot tell if it wakes", nullptr},
     {"will not wake from Shut down", "Sleep unknown"},
     {"wakes from Shut down", "Sleep unknown"}},
    // Sleep no
    {{"will not wake from Sleep", "Shut down unknown"}, {"will not wake", nullptr}, {"wakes from Shut down only", nullptr}},
    // Sleep yes
    {{"wakes from Sleep", "Shut down unknown"}, {"wakes from Sleep only", nullptr},
     {"ready to wake", "from Sleep and Shut down"}},
};

// Appends `piece` to text[0, size), keeping it terminated.
void Put(char* text, int size, int* length, const char* piece) {
    const int room = size - 1 - *length;
    int count = static_cast<int>(std::strlen(piece));
    if (count > room) count = room;
    if (count <= 0) return;
    std::memcpy(text + *length, piece, static_cast<std::size_t>(count));
    *length += count;
    text[*length] = '\0';
}

}  // namespace

void FormatWakeNotice(const WindowsWakeVerdict& verdict, const char* address, char* text, int size) {
    if (text == nullptr || size <= 0) return;
    text[0] = '\0';
    int length = 0;
    const int sleep = static_cast<int>(verdict.wakes[static_cast<int>(PowerOff::kSleep)]);
    const int shutDown = static_cast<int>(verdict.wakes[static_cast<int>(PowerOff::kShutDown)]);
    const VerdictText& said = kVerdicts[sleep][shutDown];
    Put(text, size, &length, address);
    Put(text, size, &length, ": ");
    Put(text, size, &length, said.verdict);
    Put(text, size, &length, " (");
    for (int i = 0; i < verdict.hints.count; ++i) {
        const char* why = HintInfoOf(verdict.hints.items[i].code).windows;
        if (why == nullptr) continue;
        Put(text, size, &length, why);
        Put(text, size, &length, "; ");
    }
    if (said.detail != nullptr) {
        Put(text, size, &length, said.detail);
        Put(text, size, &length, "; ");
    }
    Put(text, size, &length, kSeeHelp);
    Put(text, size, &length, ").");
}
