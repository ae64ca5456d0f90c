// Sends the end-to-end tests' traffic from inside a test namespace.
//   wake_sender udp DEST PORT HEX       one UDP datagram from port 50000
//   wake_sender udp6 DEST PORT HEX      the same over IPv6 (DEST may be ff02::1%IFACE)
//   wake_sender frame IFACE HEX         one raw Ethernet frame, header included
//   wake_sender flood DEST PORT COUNT EVERY SECONDS
//       COUNT datagrams as fast as they go, every EVERY-th a magic packet
//       whose 4-byte password is its number (0, 1, ...); stops after SECONDS.
// UDP goes out without a checksum, so what lumora reports is the same every run.
#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

constexpr int kSourcePort = 50000;
constexpr int kNoChecksum = 11;  // SO_NO_CHECK
constexpr int kNoChecksum6 = 101;  // UDP_NO_CHECK6_TX
constexpr int kFloodFillerBytes = 64;
constexpr unsigned char kFloodFiller = 0x5A;
const Bytes kFloodTarget = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

int Fail(const char* what) {
    std::fprintf(stderr, "wake_sender: %s: %s\n", what, std::strerror(errno));
    return 1;
}

bool ParseHex(const char* text, Bytes* bytes) {
    const std::size_t length = std::strlen(text);
    if (length % 2 != 0) return false;
    for (std::size_t i = 0; i < length; i += 2) {
        const std::string pair(text + i, 2);
        char* end = nullptr;
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0') return false;
        bytes->push_back(static_cast<unsigned char>(value));
    }
    return true;
}

sockaddr_in Address(const char* host, const char* port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(port)));
    inet_pton(AF_INET, host, &address.sin_addr);
    return address;
}

int UdpSocket(int sourcePort) {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(s, SOL_SOCKET, kNoChecksum, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(sourcePort));
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return -1;
    return s;
}

bool SendUdp(int s, const sockaddr_in& to, const Bytes& payload) {
    for (;;) {
        if (sendto(s, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0)
            return true;
        if (errno != ENOBUFS && errno != EAGAIN) return false;  // a full queue: try again
    }
}

int SendOneUdp(char** argv) {
    Bytes payload;
    if (!ParseHex(argv[4], &payload)) return Fail("bad hex");
    const int s = UdpSocket(kSourcePort);
    if (s < 0) return Fail("udp socket");
    return SendUdp(s, Address(argv[2], argv[3]), payload) ? 0 : Fail("sendto");
}

int SendOneUdp6(char** argv) {
    Bytes payload;
    if (!ParseHex(argv[4], &payload)) return Fail("bad hex");
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* to = nullptr;
    if (getaddrinfo(argv[2], argv[3], &hints, &to) != 0) return Fail("bad IPv6 address");
    const int s = socket(AF_INET6, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(s, IPPROTO_UDP, kNoChecksum6, &on, sizeof on);
    sockaddr_in6 local{};
    local.sin6_family = AF_INET6;
    local.sin6_port = htons(kSourcePort);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return Fail("udp6 bind");
    const bool sent = sendto(s, payload.data(), payload.size(), 0, to->ai_addr, to->ai_addrlen) >= 0;
    freeaddrinfo(to);
    return sent ? 0 : Fail("sendto");
}

int SendFrame(char** argv) {
    Bytes frame;
    if (!ParseHex(argv[3], &frame)) return Fail("bad hex");
    const int s = socket(AF_PACKET, SOCK_RAW, 0);
    if (s < 0) return Fail("packet socket");
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = static_cast<int>(if_nametoindex(argv[2]));
    to.sll_halen = ETH_ALEN;
    std::memcpy(to.sll_addr, frame.data(), ETH_ALEN);
    if (sendto(s, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0)
        return Fail("sendto");
    return 0;
}

Bytes NumberedMagicPacket(uint32_t number) {
    Bytes p(6, 0xFF);
    for (int i = 0; i < 16; ++i) p.insert(p.end(), kFloodTarget.begin(), kFloodTarget.end());
    for (int shift = 24; shift >= 0; shift -= 8) p.push_back(static_cast<unsigned char>(number >> shift));
    return p;
}

int Flood(char** argv) {
    const long count = std::atol(argv[4]);
    const long every = std::atol(argv[5]);
    const auto deadline = Clock::now() + std::chrono::seconds(std::atol(argv[6]));
    const int s = UdpSocket(kSourcePort);
    if (s < 0 || count <= 0 || every <= 0) return Fail("flood setup");
    const sockaddr_in to = Address(argv[2], argv[3]);
    const Bytes filler(kFloodFillerBytes, kFloodFiller);
    const auto start = Clock::now();
    long sent = 0;
    long magic = 0;
    for (; sent < count && Clock::now() < deadline; ++sent) {
        const bool isMagic = sent % every == every - 1;
        if (!SendUdp(s, to, isMagic ? NumberedMagicPacket(static_cast<uint32_t>(magic)) : filler))
            return Fail("sendto");
        magic += isMagic;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("sent %ld datagrams (%ld magic packets) in %.3f s: %.0f datagrams per second\n", sent, magic,
                seconds, sent / seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "udp" && argc == 5) return SendOneUdp(argv);
    if (mode == "udp6" && argc == 5) return SendOneUdp6(argv);
    if (mode == "frame" && argc == 4) return SendFrame(argv);
    if (mode == "flood" && argc == 7) return Flood(argv);
    std::fprintf(stderr, "usage: wake_sender udp|udp6 DEST PORT HEX | frame IFACE HEX |"
                         " flood DEST PORT COUNT EVERY SECONDS\n");
    return 2;
}
