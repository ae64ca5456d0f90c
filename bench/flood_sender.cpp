// The benchmark's flood: UDP datagrams from port 50000 at the sender's full
// rate, every EVERY-th a magic packet whose 4-byte password is its number.
//   flood_sender DEST PORT COUNT EVERY SECONDS
// Stops after COUNT datagrams or SECONDS, and says how many went how fast.
// UDP goes out without a checksum, as the tests' sender sends it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

constexpr int kSourcePort = 50000;
constexpr int kNoChecksum = 11;  // SO_NO_CHECK
constexpr int kFillerBytes = 64;
constexpr unsigned char kFiller = 0x5A;
constexpr int kCopies = 16;
constexpr int kSyncLength = 6;
constexpr unsigned char kSyncByte = 0xFF;
constexpr int kBitsPerByte = 8;
constexpr int kNumberBytes = 4;
const Bytes kTarget = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

int Fail(const char* what) {
    std::fprintf(stderr, "flood_sender: %s: %s\n", what, std::strerror(errno));
    return 1;
}

int UdpSocket() {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(s, SOL_SOCKET, kNoChecksum, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kSourcePort);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return -1;
    return s;
}

// A full queue is no failure: the datagram goes again.
bool Send(int s, const sockaddr_in& to, const Bytes& payload) {
    for (;;) {
        if (sendto(s, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0)
            return true;
        if (errno != ENOBUFS && errno != EAGAIN) return false;
    }
}

Bytes NumberedMagicPacket(std::uint32_t number) {
    Bytes p(kSyncLength, kSyncByte);
    for (int i = 0; i < kCopies; ++i) p.insert(p.end(), kTarget.begin(), kTarget.end());
    for (int byte = kNumberBytes - 1; byte >= 0; --byte)
        p.push_back(static_cast<unsigned char>(number >> (byte * kBitsPerByte)));
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: flood_sender DEST PORT COUNT EVERY SECONDS\n");
        return 2;
    }
    const long count = std::atol(argv[3]);
    const long every = std::atol(argv[4]);
    const auto deadline = Clock::now() + std::chrono::seconds(std::atol(argv[5]));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    const int s = UdpSocket();
    if (s < 0 || count <= 0 || every <= 0 || inet_pton(AF_INET, argv[1], &to.sin_addr) != 1) return Fail("setup");
    const Bytes filler(kFillerBytes, kFiller);
    const auto start = Clock::now();
    long sent = 0;
    long magic = 0;
    for (; sent < count && Clock::now() < deadline; ++sent) {
        const bool isMagic = sent % every == every - 1;
        if (!Send(s, to, isMagic ? NumberedMagicPacket(static_cast<std::uint32_t>(magic)) : filler))
            return Fail("sendto");
        magic += isMagic;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("sent %ld datagrams (%ld magic packets) in %.3f s: %.0f datagrams per second\n", sent, magic,
                seconds, sent / seconds);
    return 0;
}
