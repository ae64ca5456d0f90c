// Would this Windows machine wake: the facts Lumora.exe reads, one change at
// a time from a machine ready for every state, and the first line it shows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis/windows_readiness.h"

namespace {

using F = WindowsWakeFacts;
constexpr Tristate U = Tristate::kUnknown, N = Tristate::kNo, Y = Tristate::kYes;
constexpr Setting kAbsent = {SettingRead::kAbsent, 0};
constexpr Setting kUnread = {SettingRead::kUnread, 0};
constexpr Setting On(std::uint32_t value = 1) { return {SettingRead::kValue, value}; }
constexpr Setting Off() { return {SettingRead::kValue, 0}; }

// A wired card armed for everything, Fast Startup off, hibernation on, S3 sleep.
F Ready() {
    return {kIfTypeEthernet, On(kNcfPhysical), On(), kAbsent, On(), On(0x100), Y, kAbsent, Off(), Y, N};
}

struct Row {
    const char* what;
    void (*change)(F&);
    Tristate sleep, hibernate, shutDown;
    const char* hints;   // codes, most decisive first
    const char* notice;  // after "192.168.1.20: "
};

constexpr char kReady[] = "ready to wake (from Sleep and Shut down; see Help).";
constexpr char kNotAllowed[] = "wakes from Shut down only (waking not allowed; see Help).";
constexpr char kFastStartup[] = "wakes from Sleep only (Fast Startup; see Help).";
constexpr char kShutDownUnknown[] = "wakes from Sleep (Shut down unknown; see Help).";
constexpr char kSleepUnknown[] = "wakes from Shut down (Sleep unknown; see Help).";
constexpr char kStandby[] = "wakes from Shut down only (Modern Standby; see Help).";
constexpr char kVirtual[] = "will not wake (virtual adapter; see Help).";
constexpr char kCannotTell[] = "cannot tell if it wakes (see Help).";
constexpr char kUnknown[] = "cannot tell if it wakes (settings unknown; see Help).";

// Everything on, the keyword off, not armed, Fast Startup on alone and no
// driver key are the Wine readiness test's, read from the registry and the
// power library.
const Row kRows[] = {
    {"the keyword's default", [](F& f) { f.wakeOnMagicPacket = kAbsent; }, Y, Y, Y, "", kReady},
    {"a keyword of neither 0 nor 1", [](F& f) { f.wakeOnMagicPacket = On(2); }, U, U, U, "", kCannotTell},
    {"wake unticked, no armed list", [](F& f) { f.pnpCapabilities = On(0x110), f.armed = U; }, N, N, Y,
     "device-wakeup-disabled", kNotAllowed},
    {"turn-off unticked", [](F& f) { f.pnpCapabilities = On(0x18), f.armed = U; }, N, N, Y, "device-wakeup-disabled",
     kNotAllowed},
    {"armed, whatever the boxes say", [](F& f) { f.pnpCapabilities = On(0x118); }, Y, Y, Y, "", kReady},
    {"no armed list, no boxes", [](F& f) { f.armed = U, f.pnpCapabilities = kAbsent; }, U, U, Y, "", kSleepUnknown},
    {"Fast Startup on, hibernation off", [](F& f) { f.fastStartupSetting = On(), f.hibernation = N; }, Y, Y, Y, "",
     kReady},
    {"Fast Startup on, hibernation unknown", [](F& f) { f.fastStartupSetting = On(), f.hibernation = U; }, Y, Y, U,
     "", kShutDownUnknown},
    {"a policy requiring it over the user's off", [](F& f) { f.fastStartupPolicy = On(); }, Y, Y, N, "fast-startup",
     kFastStartup},
    {"a disabled policy, the user's on", [](F& f) { f.fastStartupPolicy = Off(), f.fastStartupSetting = On(); }, Y,
     Y, N, "fast-startup", kFastStartup},
    {"a policy not read, the user's off", [](F& f) { f.fastStartupPolicy = kUnread; }, Y, Y, U, "", kShutDownUnknown},
    {"Shutdown Wake-On-Lan off", [](F& f) { f.shutdownWake = Off(); }, Y, Y, N, "shutdown-wol-disabled",
     "wakes from Sleep only (Shutdown Wake-On-Lan off; see Help)."},
    {"no Shutdown Wake-On-Lan keyword", [](F& f) { f.shutdownWake = kAbsent; }, Y, Y, U, "", kShutDownUnknown},
    {"Modern Standby, its keyword's default", [](F& f) { f.modernStandby = Y; }, N, Y, Y, "modern-standby", kStandby},
    {"Modern Standby, its keyword 0", [](F& f) { f.modernStandby = Y, f.modernStandbyWake = Off(); }, N, Y, Y,
     "modern-standby", kStandby},
    {"Modern Standby, its keyword 1", [](F& f) { f.modernStandby = Y, f.modernStandbyWake = On(); }, Y, Y, Y, "",
     kReady},
    {"Modern Standby unknown", [](F& f) { f.modernStandby = U; }, U, Y, Y, "", kSleepUnknown},
    {"Wi-Fi", [](F& f) { f.ifType = kIfTypeWifi; }, Y, N, N, "wifi-adapter",
     "wakes from Sleep only (Wi-Fi adapter; see Help)."},
    {"Wi-Fi and Fast Startup", [](F& f) { f.ifType = kIfTypeWifi, f.fastStartupSetting = On(); }, Y, N, N,
     "wifi-adapter fast-startup", "wakes from Sleep only (Wi-Fi adapter; Fast Startup; see Help)."},
    {"a tunnel", [](F& f) { f.ifType = kIfTypeTunnel; }, N, N, N, "virtual-adapter", kVirtual},
    {"Ethernet, its driver virtual (vEthernet)", [](F& f) { f.characteristics = On(kNcfVirtual); }, N, N, N,
     "virtual-adapter", kVirtual},
    {"an adapter of another type", [](F& f) { f.ifType = 243; }, U, U, U, "", kCannotTell},
    {"everything unknown", [](F& f) { f = {kIfTypeNone, kUnread, kUnread, kUnread, kUnread, kUnread, U, kUnread,
                                            kUnread, U, U}; }, U, U, U, "wol-unknown", kUnknown},
};

std::string Codes(const Hints& hints) {
    std::string codes;
    for (int i = 0; i < hints.count; ++i) codes += (i ? " " : "") + std::string(HintInfoOf(hints.items[i].code).name);
    return codes;
}

TEST(WindowsReadiness, EachFactAloneAndTheFirstLineItGives) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        F facts = Ready();
        row.change(facts);
        const WindowsWakeVerdict verdict = JudgeWindowsWake(facts);
        EXPECT_EQ(verdict.wakes[static_cast<int>(PowerOff::kSleep)], row.sleep);
        EXPECT_EQ(verdict.wakes[static_cast<int>(PowerOff::kHibernate)], row.hibernate);
        EXPECT_EQ(verdict.wakes[static_cast<int>(PowerOff::kShutDown)], row.shutDown);
        EXPECT_EQ(Codes(verdict.hints), row.hints);
        char notice[256];
        FormatWakeNotice(verdict, "192.168.1.20", notice, sizeof notice);
        EXPECT_EQ(notice, "192.168.1.20: " + std::string(row.notice));
    }
}

TEST(WindowsReadiness, ANoticeCutShortStaysTerminated) {
    const WindowsWakeVerdict verdict = JudgeWindowsWake(Ready());
    char notice[16];
    std::memset(notice, 'x', sizeof notice);
    FormatWakeNotice(verdict, "192.168.1.20", notice, sizeof notice);
    EXPECT_STREQ(notice, "192.168.1.20: r");
}

}  // namespace
