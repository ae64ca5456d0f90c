// The table of hint codes and the expansion of their texts.
#include "analysis/hints.h"

#include <cstring>

#include "base/mac_text.h"

namespace {

constexpr char kPlaceholder = '%';
constexpr char kFirstSubject = '1';
constexpr char kSecondSubject = '2';

void CopySubject(char* to, const char* from) {
    std::strncpy(to, from != nullptr ? from : "", kHintSubjectSize - 1);
    to[kHintSubjectSize - 1] = '\0';
}

// The subject a placeholder names, or nullptr when `at` is no placeholder.
const char* SubjectAt(const char* at, const Hint& hint) {
    if (at[0] != kPlaceholder) return nullptr;
    if (at[1] == kFirstSubject) return hint.first;
    if (at[1] == kSecondSubject) return hint.second;
    return nullptr;
}

}  // namespace

constexpr HintInfo kHints[kHintCount] = {
    {HintCode::kMalformed, "malformed", "the packet is malformed",
     "A card wakes only on six 0xFF bytes followed by sixteen copies of its MAC, with no password or one of 4 or "
     "6 bytes: fix the sending tool or use another.", "", "", nullptr},
    {HintCode::kWolUnsupported, "wol-unsupported", "%1 has no Wake-on-LAN",
     "%1 has no Wake-on-LAN (virtual interfaces and most Wi-Fi cards have none): send the packet to the MAC of "
     "a wired card that supports it; a virtual machine's card has none either: its host starts the machine.",
     "IFACE", "", nullptr},
    {HintCode::kWolDisabled, "wol-disabled", "Wake-on-LAN is off on %1",
     "Run 'ethtool -s %1 wol g' as root to arm the card, and make it last, since drivers often reset it at "
     "boot: WakeOnLan=magic in a systemd .link file, or NetworkManager's wake-on-lan setting.", "IFACE", "",
     "Wake on Magic Packet off"},
    {HintCode::kWolUnknown, "wol-unknown", nullptr,
     "Run lumora as root (or with CAP_NET_ADMIN) to read the Wake-on-LAN state of %1, or look at it with "
     "'ethtool %1'.", "IFACE", "", "settings unknown"},
    {HintCode::kDeviceWakeupDisabled, "device-wakeup-disabled", "the device behind %1 may not wake the system",
     "Run 'echo enabled > /sys/class/net/%1/device/power/wakeup' as root to let the card wake the system.", "IFACE", "",
     "waking not allowed"},
    {HintCode::kPasswordMismatch, "password-mismatch", "%1 expects a SecureOn password this packet does not carry",
     "%1 wakes only on magic packets that carry its SecureOn password: send that password with the packet, or "
     "run 'ethtool -s %1 wol g' to wake on any magic packet.", "IFACE", "", nullptr},
    {HintCode::kWrongInterface, "wrong-interface", "it is on %2, not on %1",
     "The packet is on %2, but the target is on %1: send it on %1's network (the broadcast address of its "
     "subnet, or the sending tool's interface option).", "IFACE", "OTHER-IFACE", nullptr},
    {HintCode::kOtherMac, "other-mac", "the frame was addressed to another MAC",
     "The frame was addressed to a MAC other than the target's, so the target's card never sees it: send the "
     "magic packet to a broadcast address.", "", "", nullptr},
    {HintCode::kMulticast, "multicast", nullptr,
     "Sent to a multicast group: a sleeping card wakes on it only if it keeps that group in its filter; send to "
     "the subnet's broadcast address to be sure.", "", "", nullptr},
    {HintCode::kVlanTagged, "vlan-tagged", nullptr,
     "The frame carries VLAN tag %1: a card on an untagged access port never receives tagged frames; send the "
     "packet untagged, from inside the target's VLAN.", "ID", "", nullptr},
    {HintCode::kNotThisSubnet, "not-this-subnet", nullptr,
     "%1 is in no subnet of %2: the sender meant another network, and routers drop broadcasts sent to another "
     "network by default; send to the broadcast address of the target's own subnet.", "ADDRESS", "IFACE", nullptr},
    {HintCode::kUnicastIp, "unicast-ip", nullptr,
     "Sent to the unicast address %1%2: it reaches a sleeping machine only while the sender's or router's ARP or "
     "neighbour cache still holds it, then silently stops; send to the subnet's broadcast address.", "ADDRESS",
     " (STATE)", nullptr},
    {HintCode::kNotThisMachine, "not-this-machine", nullptr,
     "The target %1 is no interface of this machine: if this is the machine to wake, send to the MAC of its "
     "wired card ('ip link' shows it).", "MAC", "", nullptr},
    {HintCode::kOneInterfaceOnly, "one-interface-only", nullptr,
     "Sent to a broadcast address every network shares, it left by %1 only, not by %2: send to the broadcast "
     "address of the target's own subnet, or name the interface with the sending tool's interface option.",
     "IFACE", "OTHER-IFACES", nullptr},
    {HintCode::kLocallyAdministered, "locally-administered", nullptr,
     "The target %1 is a locally administered address, chosen by software rather than by a card's maker: a "
     "Wi-Fi private address, which changes, so a stored one soon wakes nothing, or a virtual machine's; send to "
     "the wired card's own MAC ('ethtool -P' shows it).", "MAC", "", nullptr},
    {HintCode::kMulticastMac, "multicast-mac", "%1 is a group address, which no card has",
     "The target %1 has the group bit set (its first byte is odd), and no card has a group address: the "
     "sender has a wrong MAC; send to the MAC of the target's wired card ('ip link' shows it).", "MAC", "", nullptr},
    {HintCode::kVmCard, "vm-card", "%1 is a virtual machine's card",
     "%1 is a virtual machine's card (%2), which has no Wake-on-LAN: no magic packet wakes a stopped or "
     "suspended guest through it; its host starts or resumes it (virsh start, virsh dompmwakeup, the "
     "hypervisor's console).", "IFACE", "DRIVER", nullptr},
    {HintCode::kFastStartup, "fast-startup", nullptr,
     "Windows' Fast Startup makes Shut down a hibernation for which Windows does not arm the network card: "
     "untick 'Turn on fast startup' (Control Panel, Power Options, 'Choose what the power buttons do', 'Change "
     "settings that are currently unavailable'), or put the machine to Sleep instead.", "", "",
     "Fast Startup"},
    {HintCode::kModernStandby, "modern-standby", nullptr,
     "This machine sleeps in Modern Standby, from which its adapter wakes on a magic packet only when the "
     "adapter's Advanced tab enables 'Modern Standby WoL Magic Packet': enable it where the driver offers it, "
     "or use Hibernate.", "", "", "Modern Standby"},
    {HintCode::kWifiAdapter, "wifi-adapter", nullptr,
     "Lumora listens on a Wi-Fi adapter, which wakes the machine, if at all, from Sleep only and never from "
     "Hibernate or Shut down: wake the machine by its wired card.", "", "", "Wi-Fi adapter"},
    {HintCode::kVirtualAdapter, "virtual-adapter", nullptr,
     "Lumora listens on a virtual adapter (Hyper-V's vEthernet, a VPN), which no magic packet wakes: the "
     "network card behind it decides; send the packet to the card's MAC, on the card's network.", "", "",
     "virtual adapter"},
    {HintCode::kShutdownWolDisabled, "shutdown-wol-disabled", nullptr,
     "'Shutdown Wake-On-Lan' is off in the adapter's Advanced tab, so the card is not armed when Windows shuts "
     "down: set it to Enabled.", "", "", "Shutdown Wake-On-Lan off"},
};

namespace {

// HintCode indexes the table: a row out of place, or one missing, would give
// one hint another's words.
constexpr bool InCodeOrder() {
    for (int i = 0; i < kHintCount; ++i)
        if (static_cast<int>(kHints[i].code) != i || kHints[i].name == nullptr) return false;
    return true;
}
static_assert(InCodeOrder(), "kHints holds one row per HintCode, in the enum's order");

}  // namespace

void AddHint(Hints* hints, HintCode code, const char* first, const char* second) {
    if (HasHint(*hints, code) || hints->count == kMaxHints) return;
    Hint& hint = hints->items[hints->count++];
    hint.code = code;
    CopySubject(hint.first, first);
    CopySubject(hint.second, second);
}

bool HasHint(const Hints& hints, HintCode code) {
    for (int i = 0; i < hints.count; ++i)
        if (hints.items[i].code == code) return true;
    return false;
}

int ExpandHintText(const char* pattern, const Hint& hint, char* text, int size) {
    if (text == nullptr || size <= 0) return 0;
    int length = 0;
    for (const char* at = pattern != nullptr ? pattern : ""; *at != '\0';) {
        const char* subject = SubjectAt(at, hint);
        const char* piece = subject != nullptr ? subject : at;
        const int pieceLength = subject != nullptr ? static_cast<int>(std::strlen(subject)) : 1;
        at += subject != nullptr ? 2 : 1;
        const int room = size - 1 - length;
        const int copied = pieceLength < room ? pieceLength : room;
        std::memcpy(text + length, piece, static_cast<std::size_t>(copied));
        length += copied;
    }
    text[length] = '\0';
    return length;
}

void AddTargetMacHints(const unsigned char* mac, const char* macText, Hints* hints) {
    if (mac == nullptr) return;
    if ((mac[0] & kMacGroupBit) != 0) AddHint(hints, HintCode::kMulticastMac, macText);
    if ((mac[0] & kMacLocalBit) != 0) AddHint(hints, HintCode::kLocallyAdministered, macText);
}
