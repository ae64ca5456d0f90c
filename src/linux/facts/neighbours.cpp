// The kernel's neighbour table, IPv4 and IPv6 (RTM_GETNEIGH), dumped
// through libmnl. No privilege is needed: the table is readable by anyone,
// so this works after lumora has given its up.
#include "linux/facts/system_facts.h"

#include "linux/facts/rtnetlink.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr int kIpv4AddressLength = 4;
constexpr int kIpv4Family = 4;
constexpr int kIpv6Family = 6;
// A table that changes while it is dumped is asked for again, this often at most.
constexpr int kDumpTries = 3;

int FamilyNumber(unsigned char family) {
    if (family == AF_INET) return kIpv4Family;
    if (family == AF_INET6) return kIpv6Family;
    return 0;
}

int AddressLength(int family) { return family == kIpv4Family ? kIpv4AddressLength : kIpv6AddressLength; }

// Proxy entries hold no address of a machine, and multicast and broadcast
// entries a MAC computed from the address with no state learned from the
// wire: none tells anything about the target.
bool IsDerived(const ndmsg& message) {
    return (message.ndm_flags & NTF_PROXY) != 0 || message.ndm_type == RTN_MULTICAST ||
           message.ndm_type == RTN_BROADCAST;
}

struct StateBit {
    std::uint16_t bit;
    NeighbourState state;
};

// The kernel sets one state at a time; should several bits come, those an
// administrator sets win, then those holding an address, freshest first.
constexpr StateBit kStateOrder[] = {
    {NUD_PERMANENT, NeighbourState::kPermanent},
    {NUD_NOARP, NeighbourState::kNoArp},
    {NUD_REACHABLE, NeighbourState::kReachable},
    {NUD_STALE, NeighbourState::kStale},
    {NUD_DELAY, NeighbourState::kDelay},
    {NUD_PROBE, NeighbourState::kProbe},
    {NUD_INCOMPLETE, NeighbourState::kIncomplete},
    {NUD_FAILED, NeighbourState::kFailed},
};

NeighbourState StateOf(std::uint16_t bits) {
    for (const StateBit& candidate : kStateOrder)
        if ((bits & candidate.bit) != 0) return candidate.state;
    return NeighbourState::kNone;
}

// One entry as its attributes fill it.
struct Parsed {
    NeighbourEntry entry;
    bool hasAddress;
};

int OnAttribute(const nlattr* attribute, void* data) {
    Parsed* parsed = static_cast<Parsed*>(data);
    NeighbourEntry& entry = parsed->entry;
    const int type = mnl_attr_get_type(attribute);
    const int addressLength = AddressLength(entry.family);
    if (type == NDA_DST && mnl_attr_validate2(attribute, MNL_TYPE_BINARY, addressLength) == 0) {
        std::memcpy(entry.address, mnl_attr_get_payload(attribute), static_cast<std::size_t>(addressLength));
        parsed->hasAddress = true;
    }
    // FAILED and INCOMPLETE entries carry no NDA_LLADDR.
    if (type == NDA_LLADDR && mnl_attr_validate2(attribute, MNL_TYPE_BINARY, kHardwareAddressLength) == 0) {
        std::memcpy(entry.mac, mnl_attr_get_payload(attribute), kHardwareAddressLength);
        entry.hasMac = true;
    }
    return MNL_CB_OK;
}

// The entry an RTM_NEWNEIGH message holds; false when it is none to judge.
bool ParseNeighbour(const nlmsghdr* header, NeighbourEntry* entry) {
    if (header->nlmsg_type != RTM_NEWNEIGH || mnl_nlmsg_get_payload_len(header) < sizeof(ndmsg)) return false;
    const ndmsg* message = static_cast<const ndmsg*>(mnl_nlmsg_get_payload(header));
    const int family = FamilyNumber(message->ndm_family);
    if (family == 0 || IsDerived(*message)) return false;
    Parsed parsed{};
    parsed.entry.interfaceIndex = message->ndm_ifindex;
    parsed.entry.family = family;
    parsed.entry.state = StateOf(message->ndm_state);
    if (mnl_attr_parse(header, sizeof(ndmsg), OnAttribute, &parsed) < 0) return false;
    *entry = parsed.entry;
    return parsed.hasAddress;
}

// Entries past the table's room are left out.
int OnNeighbour(const nlmsghdr* header, void* data) {
    NeighbourTable* table = static_cast<NeighbourTable*>(data);
    NeighbourEntry entry;
    if (ParseNeighbour(header, &entry) && table->count < kMaxNeighbours) table->items[table->count++] = entry;
    return MNL_CB_OK;
}

// No family: the ARP and the IPv6 neighbour tables come in one dump.
KernelAnswer DumpNeighbours(NeighbourTable* table) {
    alignas(nlmsghdr) unsigned char buffer[kRequestBytes]{};
    nlmsghdr* request = mnl_nlmsg_put_header(buffer);
    request->nlmsg_type = RTM_GETNEIGH;
    request->nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    static_cast<ndmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(ndmsg)))->ndm_family = AF_UNSPEC;
    table->count = 0;
    return AskKernel(request, OnNeighbour, table);
}

}  // namespace

// The last of the tries that were all interrupted still holds entries that
// were true while it ran; they are kept.
bool ReadNeighbourTable(NeighbourTable* table) {
    KernelAnswer answer = KernelAnswer::kInterrupted;
    for (int tries = 0; tries < kDumpTries && answer == KernelAnswer::kInterrupted; ++tries)
        answer = DumpNeighbours(table);
    if (answer == KernelAnswer::kFailed) table->count = 0;
    return answer != KernelAnswer::kFailed;
}
