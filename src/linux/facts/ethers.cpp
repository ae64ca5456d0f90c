// The name /etc/ethers (or another source nsswitch.conf names) gives a MAC.
#include "linux/facts/system_facts.h"

#include <netinet/ether.h>

#include <cstdio>
#include <cstring>

namespace {

// ether_ntohost() copies with no bound; glibc keeps the name it finds in a
// 1024-byte buffer, so it fits NI_MAXHOST.
constexpr int kEthersNameSize = 1025;

}  // namespace

bool LookUpEthersName(const unsigned char* mac, char* name, int size) {
    if (name == nullptr || size <= 0) return false;
    name[0] = '\0';
    ether_addr address{};
    std::memcpy(address.ether_addr_octet, mac, kHardwareAddressLength);
    char found[kEthersNameSize] = "";
    if (ether_ntohost(found, &address) != 0) return false;
    found[kEthersNameSize - 1] = '\0';
    if (found[0] == '\0') return false;
    std::snprintf(name, static_cast<std::size_t>(size), "%s", found);
    return true;
}
