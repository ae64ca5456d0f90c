// A card's Wake-on-LAN modes and SecureOn password (the SIOCETHTOOL ioctl,
// which needs CAP_NET_ADMIN) and what sysfs says of its device: whether
// there is one, and its wakeup flag.
#include "linux/facts/system_facts.h"

#include <fcntl.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// machine_facts.h is portable, so it spells the kernel's values out itself.
static_assert(kWakePhy == WAKE_PHY, "WAKE_PHY");
static_assert(kWakeUnicast == WAKE_UCAST, "WAKE_UCAST");
static_assert(kWakeMulticast == WAKE_MCAST, "WAKE_MCAST");
static_assert(kWakeBroadcast == WAKE_BCAST, "WAKE_BCAST");
static_assert(kWakeArp == WAKE_ARP, "WAKE_ARP");
static_assert(kWakeMagic == WAKE_MAGIC, "WAKE_MAGIC");
static_assert(kWakeMagicSecure == WAKE_MAGICSECURE, "WAKE_MAGICSECURE");
static_assert(kWakeFilter == WAKE_FILTER, "WAKE_FILTER");
static_assert(kSecureOnLength == SOPASS_MAX, "SOPASS_MAX");
static_assert(kHardwareAddressLength == ETH_ALEN, "ETH_ALEN");
static_assert(kDriverNameSize == sizeof(ethtool_drvinfo::driver), "ethtool_drvinfo's driver");

namespace {

constexpr int kSysfsPathSize = 64;
constexpr char kDeviceLink[] = "device";
constexpr char kWakeupFlag[] = "device/power/wakeup";
// Room for "disabled\n" and more, so a longer text is seen as other content.
constexpr int kWakeupTextSize = 16;
constexpr char kWakeupEnabled[] = "enabled\n";
constexpr char kWakeupDisabled[] = "disabled\n";
constexpr char kPathSeparator = '/';

// Interface names never hold '/' (nor ':'), so a path built from one stays
// under /sys/class/net.
bool InterfacePath(const char* name, const char* tail, char (&path)[kSysfsPathSize]) {
    if (std::strchr(name, kPathSeparator) != nullptr) return false;
    const int length = std::snprintf(path, sizeof path, "/sys/class/net/%s/%s", name, tail);
    return length > 0 && length < kSysfsPathSize;
}

bool FitsName(const char* name) { return name != nullptr && strnlen(name, kInterfaceNameSize) < kInterfaceNameSize; }

bool HoldsText(const char* bytes, ssize_t length, const char* text) {
    return length == static_cast<ssize_t>(std::strlen(text)) &&
           std::memcmp(bytes, text, static_cast<std::size_t>(length)) == 0;
}

// Readable by anyone, so it is known even without CAP_NET_ADMIN.
DeviceWakeup ReadDeviceWakeup(const char* name) {
    char path[kSysfsPathSize];
    if (!InterfacePath(name, kWakeupFlag, path)) return DeviceWakeup::kNone;
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return DeviceWakeup::kNone;
    char text[kWakeupTextSize];
    const ssize_t length = read(file, text, sizeof text);
    close(file);
    if (HoldsText(text, length, kWakeupEnabled)) return DeviceWakeup::kEnabled;
    if (HoldsText(text, length, kWakeupDisabled)) return DeviceWakeup::kDisabled;
    return DeviceWakeup::kNone;
}

// 0, or the errno the kernel refused the ethtool command (the first field
// of `data`, set by the caller) with.
int QueryEthtool(const char* name, void* data) {
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return errno;
    ifreq request{};
    std::memcpy(request.ifr_name, name, strnlen(name, kInterfaceNameSize));
    request.ifr_data = static_cast<char*>(data);
    const int error = ioctl(probe, SIOCETHTOOL, &request) == 0 ? 0 : errno;
    close(probe);
    return error;
}

// Anyone may ask, so a virtual machine's card is known without CAP_NET_ADMIN.
void ReadDriver(const char* name, CardState* card) {
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    if (QueryEthtool(name, &info) != 0) return;
    std::memcpy(card->driver, info.driver, strnlen(info.driver, sizeof info.driver - 1));
}

void ReadWakeOnLan(const char* name, CardState* card) {
    ethtool_wolinfo wol{};
    wol.cmd = ETHTOOL_GWOL;
    const int error = QueryEthtool(name, &wol);
    // Only EOPNOTSUPP says the driver has no get_wol. EPERM (no
    // CAP_NET_ADMIN), ENODEV (the interface went away) and the rest tell
    // nothing about the card, so it stays unknown.
    if (error == EOPNOTSUPP || (error == 0 && wol.supported == 0)) {
        card->read = CardRead::kUnsupported;
        return;
    }
    if (error != 0) return;
    card->read = CardRead::kRead;
    card->supported = wol.supported;
    card->enabled = wol.wolopts;
    if ((wol.supported & WAKE_MAGICSECURE) == 0) return;
    card->secureOnKnown = true;
    std::memcpy(card->secureOn, wol.sopass, kSecureOnLength);
}

}  // namespace

// A card has a device behind it; veth, bridges and tunnels have none.
bool HasDevice(const char* name) {
    char path[kSysfsPathSize];
    return InterfacePath(name, kDeviceLink, path) && access(path, F_OK) == 0;
}

void ReadCardState(const char* name, CardState* card) {
    *card = {};
    card->read = CardRead::kUnknown;
    card->deviceWakeup = DeviceWakeup::kNone;
    if (!FitsName(name)) return;
    card->deviceWakeup = ReadDeviceWakeup(name);
    ReadDriver(name, card);
    ReadWakeOnLan(name, card);
}
