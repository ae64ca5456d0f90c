// The route this machine takes to an IPv4 address (RTM_GETROUTE), asked
// through libmnl: only its prefix length is wanted.
#include "linux/facts/system_facts.h"

#include "linux/facts/rtnetlink.h"

#include <linux/rtnetlink.h>
#include <sys/socket.h>

namespace {

constexpr int kIpv4AddressLength = 4;
constexpr int kIpv4PrefixBits = 32;

// The prefix length of the route an RTM_NEWROUTE answer holds.
int OnRoute(const nlmsghdr* header, void* data) {
    if (header->nlmsg_type != RTM_NEWROUTE || mnl_nlmsg_get_payload_len(header) < sizeof(rtmsg)) return MNL_CB_ERROR;
    *static_cast<int*>(data) = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(header))->rtm_dst_len;
    return MNL_CB_STOP;
}

}  // namespace

// Asks for the routing entry the destination matches (RTM_F_FIB_MATCH: the
// entry with its own prefix, not the host route a plain lookup answers).
int ReadRoutePrefixLength(const unsigned char* destination) {
    alignas(nlmsghdr) unsigned char buffer[kRequestBytes]{};
    nlmsghdr* request = mnl_nlmsg_put_header(buffer);
    request->nlmsg_type = RTM_GETROUTE;
    request->nlmsg_flags = NLM_F_REQUEST;
    rtmsg* message = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(request, sizeof(rtmsg)));
    message->rtm_family = AF_INET;
    message->rtm_dst_len = kIpv4PrefixBits;
    message->rtm_flags = RTM_F_FIB_MATCH;
    if (!mnl_attr_put_check(request, sizeof buffer, RTA_DST, kIpv4AddressLength, destination)) return -1;
    int prefix = -1;
    return AskKernel(request, OnRoute, &prefix) == KernelAnswer::kDone ? prefix : -1;
}
