// One question to the kernel's routing socket and its answer, through
// libmnl: a fresh NETLINK_ROUTE socket per question, only the kernel's own
// datagrams read, every message checked for our port and sequence.
#pragma once

#include <libmnl/libmnl.h>

#include <cstddef>

// Room for any request lumora makes: a header, a family header and an address.
inline constexpr std::size_t kRequestBytes = 64;

enum class KernelAnswer {
    kDone,         // the callback or the end of the dump ended it
    kInterrupted,  // the table changed while it was dumped
    kFailed,       // the socket, an error message, or a callback's error
};

// Sends `request` (built in a kRequestBytes buffer) and hands each data
// message of the answer to `onMessage` with `data`, in mnl_cb_run's manner,
// until it or the end of a dump stops.
KernelAnswer AskKernel(nlmsghdr* request, mnl_cb_t onMessage, void* data);
