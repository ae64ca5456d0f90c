#include "linux/capture_socket.h"

#include "linux/diagnostics.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Room for a burst of several thousand datagrams while reports are written:
// the kernel default (about 200 KiB) drops packets in a flood.
constexpr int kSocketBufferBytes = 8 * 1024 * 1024;

void ExplainSocketFailure(int error) {
    if (error == EPERM || error == EACCES) {
        PrintMessage("cannot capture: permission denied (lumora needs root or CAP_NET_RAW)");
        return;
    }
    PrintMessage("cannot open a packet socket: %s", std::strerror(error));
}

// Beyond the default limit only with CAP_NET_ADMIN; without it the default
// limit applies and capture still works.
void EnlargeReceiveBuffer(int socket) {
    const int bytes = kSocketBufferBytes;
    if (setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0) return;
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

bool BindTo(int socket, int interfaceIndex) {
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = interfaceIndex;
    if (bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
    PrintMessage("cannot capture: %s", std::strerror(errno));
    return false;
}

bool MakePromiscuous(int socket, int interfaceIndex, const char* interface) {
    packet_mreq request{};
    request.mr_ifindex = interfaceIndex;
    request.mr_type = PACKET_MR_PROMISC;
    if (setsockopt(socket, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &request, sizeof request) == 0) return true;
    PrintMessage("cannot put %s in promiscuous mode: %s", interface, std::strerror(errno));
    return false;
}

// Index 0 binds to every interface.
bool FindInterface(const char* interface, int* index) {
    *index = 0;
    if (interface == nullptr) return true;
    *index = static_cast<int>(if_nametoindex(interface));
    if (*index != 0) return true;
    PrintMessage("no such interface: %s", interface);
    return false;
}

}  // namespace

int OpenCaptureSocket(const char* interface, bool promiscuous) {
    int interfaceIndex = 0;
    if (!FindInterface(interface, &interfaceIndex)) return -1;
    // Protocol 0 queues nothing until bind() names the interface, so no frame
    // of another interface slips in first.
    const int capture = socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (capture < 0) {
        ExplainSocketFailure(errno);
        return -1;
    }
    EnlargeReceiveBuffer(capture);
    const bool ready = BindTo(capture, interfaceIndex) &&
                       (!promiscuous || MakePromiscuous(capture, interfaceIndex, interface));
    if (ready) return capture;
    close(capture);
    return -1;
}

ReceiveStatus ReceiveFrame(int socket, unsigned char* buffer, int size, FrameInfo* info) {
    sockaddr_ll from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received =
        recvfrom(socket, buffer, static_cast<size_t>(size), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return ReceiveStatus::kNothing;
        PrintMessage("capture failed: %s", std::strerror(errno));
        return ReceiveStatus::kError;
    }
    // Without MSG_TRUNC the count never exceeds `size`: longer frames are cut.
    info->length = static_cast<int>(received);
    info->packetType = from.sll_pkttype;
    info->hardwareType = from.sll_hatype;
    info->protocol = ntohs(from.sll_protocol);
    return ReceiveStatus::kFrame;
}

bool WaitForFrames(int socket, int milliseconds) {
    pollfd waiting{socket, POLLIN, 0};
    if (poll(&waiting, 1, milliseconds) >= 0 || errno == EINTR) return true;
    PrintMessage("capture failed: %s", std::strerror(errno));
    return false;
}

long KernelDrops(int socket) {
    tpacket_stats stats{};
    socklen_t length = sizeof stats;
    if (getsockopt(socket, SOL_PACKET, PACKET_STATISTICS, &stats, &length) != 0) return 0;
    return static_cast<long>(stats.tp_drops);
}
