// Lumora's first line on the test's network, the machine's wake settings
// played by the test: it writes the adapter's driver key and Fast Startup
// into the prefix's registry, and the stand-in powrprof.dll
// (tests/standin_powrprof.cpp) says which devices are armed and whether the
// machine hibernates.
#include <winsock2.h>
#include <iphlpapi.h>

#include <cstring>
#include <initializer_list>

#include "capture_fixture.h"  // gtest, the strings and the dialog with it

namespace {

constexpr char kNetClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";
constexpr char kPowerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power";
constexpr char kDriverName[] = "Lumora Test Ethernet Adapter";
constexpr char kOtherDevice[] = "HID Keyboard Device";
// Another adapter's driver key, listed before ours, with wake off: taken by
// mistake, it would say "will not wake".
constexpr char kOtherGuid[] = "{6b29fc40-ca47-1067-b31d-00dd010662da}";
constexpr const char* kDriverKeys[] = {"0041", "0042"};
constexpr DWORD kAllTicked = 0x100, kNotWritten = 0xFFFFFFFF;
constexpr ULONG kAdapterBufferBytes = 64 * 1024;
constexpr char kPrefix[] = "A tool to troubleshoot Wake-on-LAN. ";

struct Machine {
    const char* name;
    bool driverKey;
    const char* wakeOnMagicPacket;
    DWORD pnpCapabilities;  // kNotWritten: none
    const char* armed;      // the stand-in's list of armed devices
    DWORD fastStartup;
    const char* notice;     // after "ADDRESS: "
};

const std::string kArmed = std::string(kOtherDevice) + "|" + kDriverName;

// The GUID Wine gives the adapter that holds `address`, lower-cased as the
// registry may hold it.
std::string AdapterGuid(const in_addr& address) {
    std::vector<char> buffer(kAdapterBufferBytes);
    ULONG size = static_cast<ULONG>(buffer.size());
    auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size) != ERROR_SUCCESS) return "";
    for (const IP_ADAPTER_ADDRESSES* a = list; a != nullptr; a = a->Next)
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr; u = u->Next)
            if (reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.s_addr == address.s_addr) {
                std::string guid = a->AdapterName;
                for (char& c : guid) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                return guid;
            }
    return "";
}

// Writes each value, a string or a DWORD, into HKEY_LOCAL_MACHINE\`path`.
struct Value { const char* name; const char* text; DWORD number; };

bool WriteKey(const std::string& path, std::initializer_list<Value> values) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
        return false;
    bool written = true;
    for (const Value& v : values) {
        const bool text = v.text != nullptr;
        const BYTE* data = text ? reinterpret_cast<const BYTE*>(v.text) : reinterpret_cast<const BYTE*>(&v.number);
        const DWORD size = text ? static_cast<DWORD>(std::strlen(v.text) + 1) : sizeof v.number;
        if (text || v.number != kNotWritten)
            written = written && RegSetValueExA(key, v.name, 0, text ? REG_SZ : REG_DWORD, data, size) == 0;
    }
    RegCloseKey(key);
    return written;
}

// A driver key as the Advanced and Power Management tabs leave it.
bool WriteDriverKey(const char* subkey, const std::string& guid, const char* name, const char* magic, DWORD pnp) {
    return WriteKey(std::string(kNetClassKey) + "\\" + subkey,
                    {{"NetCfgInstanceId", guid.c_str(), 0}, {"DriverDesc", name, 0}, {"Characteristics", nullptr, 0x84},
                     {"*WakeOnMagicPacket", magic, 0}, {"S5WakeOnLan", "1", 0}, {"PnPCapabilities", nullptr, pnp}});
}

void ForgetMachine() {
    for (const char* subkey : kDriverKeys) RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kNetClassKey) + "\\" + subkey).c_str());
    HKEY power = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPowerKey, 0, KEY_WRITE, &power) == ERROR_SUCCESS) {
        RegDeleteValueA(power, "HiberbootEnabled");
        RegCloseKey(power);
    }
}

class Readiness : public LumoraOnItsNetwork {
protected:
    void TearDown() override {
        ForgetMachine();
        LumoraOnItsNetwork::TearDown();
    }

    void Play(const Machine& m) {
        ForgetMachine();
        const std::string guid = AdapterGuid(host.sin_addr);
        ASSERT_NE(guid, "") << "no adapter holds " << inet_ntoa(host.sin_addr);
        if (m.driverKey) {
            ASSERT_TRUE(WriteDriverKey(kDriverKeys[0], kOtherGuid, "Another Adapter", "0", kAllTicked));
            ASSERT_TRUE(WriteDriverKey(kDriverKeys[1], guid, kDriverName, m.wakeOnMagicPacket, m.pnpCapabilities));
        }
        ASSERT_TRUE(WriteKey(kPowerKey, {{"HiberbootEnabled", nullptr, m.fastStartup}}));
        SetEnvironmentVariableA("LUMORA_ARMED_DEVICES", m.armed);
        SetEnvironmentVariableA("LUMORA_HIBERNATION", "1");
        SetEnvironmentVariableA("LUMORA_MODERN_STANDBY", "0");
    }

    // Lumora's real start-up on `m`: its log's first line (that every
    // conclusion shows without scrolling sideways is the dialog test's), then
    // the capture goes on. With LUMORA_SCREENSHOT set, the window is saved
    // once a packet's report is in.
    void Check(const Machine& m) {
        SCOPED_TRACE(m.name);
        Play(m);
        OpenCapture();
        ASSERT_FALSE(HasFatalFailure());
        std::string log;
        const INT_PTR code = RunModal(kLumoraCaption, [&] { return RunCaptureDialog(&capture); }, [&](HWND dialog) {
            HWND view = GetDlgItem(dialog, IDC_LOG);
            SendTo(9, packet::MagicPayload());
            EXPECT_TRUE(WaitUntil([&] { return !Reports(dialog).empty(); }));
            log = WindowText(view);
            if (const char* picture = std::getenv("LUMORA_SCREENSHOT")) {
                SendMessageA(view, WM_VSCROLL, SB_TOP, 0);
                RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                SendMessageA(dialog, WM_NULL, 0, 0);  // the UI thread has painted
                EXPECT_TRUE(SaveWindowImage(dialog, picture));
            }
            closesocket(capture);
        });
        EXPECT_EQ(code, kEndFinished);
        const std::string lines = kPrefix + std::string(inet_ntoa(host.sin_addr)) + ": " + m.notice +
                                  "\r\nSniffing is started!\r\n---------------------------Wake-On-LAN";
        EXPECT_EQ(log.substr(0, lines.size()), lines);
        std::printf("%s: %s\n", m.name, log.substr(0, log.find("\r\n")).c_str());
    }
};

// Each one setting away from a machine ready to wake, as the user meets them.
// The boxes count only where the armed list is unknown (the judgement's table).
// The screenshot is the Fast Startup one's: scripts/screenshot names it.
TEST_F(Readiness, TheFirstLineSaysWhetherThisMachineWouldWake) {
    const Machine machines[] = {
        {"everything on", true, "1", kAllTicked, kArmed.c_str(), 0,
         "ready to wake (from Sleep and Shut down; see Help)."},
        {"the keyword off", true, "0", kAllTicked, kArmed.c_str(), 0,
         "will not wake (Wake on Magic Packet off; see Help)."},
        {"not armed", true, "1", kAllTicked, kOtherDevice, 0,
         "wakes from Shut down only (waking not allowed; see Help)."},
        {"no class key", false, "", kNotWritten, kArmed.c_str(), 0, "cannot tell if it wakes (settings unknown; see Help)."},
        {"Fast Startup on", true, "1", kAllTicked, kArmed.c_str(), 1, "wakes from Sleep only (Fast Startup; see Help)."},
    };
    for (const Machine& m : machines) Check(m);
}

// Wine's own powrprof.dll, which has no DevicePowerEnumDevices: whether the
// adapter is armed is unknown, and Lumora still starts. Run without the
// stand-in (ctest's readiness_wine_powrprof).
TEST_F(Readiness, WinesOwnPowerLibraryLeavesArmedUnknown) {
    HMODULE powrprof = LoadLibraryA("powrprof.dll");
    ASSERT_NE(powrprof, nullptr);
    ASSERT_EQ(GetProcAddress(powrprof, "DevicePowerEnumDevices"), nullptr) << "the stand-in was loaded, or Wine has it";
    FreeLibrary(powrprof);
    Check({"the export missing", true, "1", kNotWritten, kArmed.c_str(), 0, "wakes from Shut down (Sleep unknown; see Help)."});
}

}  // namespace
