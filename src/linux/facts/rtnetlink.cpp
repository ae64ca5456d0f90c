// Asking the routing socket, and reading its answer with libmnl.
#include "linux/facts/rtnetlink.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint32_t kKernelPort = 0;
constexpr unsigned kSequence = 1;  // one question per socket
// The kernel fills a dump datagram up to 32 KiB when the reader's buffer is
// that large: eight pages hold any of them whole.
constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t kReceiveBufferBytes = 8 * kPageBytes;
// Netlink's own message types below the data ones: an error, and the end of
// a dump; the others (no-op, overrun) are passed over.
constexpr std::uint16_t kErrorMessage = 2;
constexpr std::uint16_t kDoneMessage = 3;
constexpr unsigned kControlTypes = kDoneMessage + 1;

// An error, or an acknowledgement never asked for: the answer is not there.
int OnError(const nlmsghdr*, void*) { return MNL_CB_ERROR; }

// The end of a dump carries the dump's own result.
int OnDone(const nlmsghdr* header, void*) {
    int error = 0;
    if (mnl_nlmsg_get_payload_len(header) >= sizeof error)
        std::memcpy(&error, mnl_nlmsg_get_payload(header), sizeof error);
    return error < 0 ? MNL_CB_ERROR : MNL_CB_STOP;
}

// One datagram from the kernel: its length, or -1 on failure or when it was
// cut. libmnl's own receive does not say who sent a datagram, and any
// process may send to our port: only the kernel's (port 0) are read.
int ReceiveFromKernel(const mnl_socket* socket, unsigned char* buffer, std::size_t size) {
    for (;;) {
        sockaddr_nl sender{};
        iovec piece{buffer, size};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &piece;
        message.msg_iovlen = 1;
        const ssize_t received = recvmsg(mnl_socket_get_fd(socket), &message, 0);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0 || (message.msg_flags & MSG_TRUNC) != 0) return -1;
        if (sender.nl_pid == kKernelPort) return static_cast<int>(received);
    }
}

KernelAnswer ReadAnswer(const mnl_socket* socket, mnl_cb_t onMessage, void* data) {
    alignas(nlmsghdr) unsigned char buffer[kReceiveBufferBytes];
    const unsigned port = mnl_socket_get_portid(socket);
    mnl_cb_t controls[kControlTypes] = {};  // libmnl takes them writable
    controls[kErrorMessage] = OnError;
    controls[kDoneMessage] = OnDone;
    for (;;) {
        const int length = ReceiveFromKernel(socket, buffer, sizeof buffer);
        if (length < 0) return KernelAnswer::kFailed;
        errno = 0;  // so that EINTR below is libmnl's
        const int step = mnl_cb_run2(buffer, static_cast<std::size_t>(length), kSequence, port, onMessage, data,
                                     controls, kControlTypes);
        if (step == MNL_CB_STOP) return KernelAnswer::kDone;
        // libmnl says EINTR for a dump the kernel marked interrupted.
        if (step == MNL_CB_ERROR) return errno == EINTR ? KernelAnswer::kInterrupted : KernelAnswer::kFailed;
    }
}

}  // namespace

KernelAnswer AskKernel(nlmsghdr* request, mnl_cb_t onMessage, void* data) {
    mnl_socket* socket = mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC);
    if (socket == nullptr) return KernelAnswer::kFailed;
    KernelAnswer answer = KernelAnswer::kFailed;
    request->nlmsg_seq = kSequence;
    if (mnl_socket_bind(socket, 0, MNL_SOCKET_AUTOPID) == 0 &&
        mnl_socket_sendto(socket, request, request->nlmsg_len) == static_cast<ssize_t>(request->nlmsg_len))
        answer = ReadAnswer(socket, onMessage, data);
    mnl_socket_close(socket);
    return answer;
}
