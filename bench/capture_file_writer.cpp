// Writes the capture file the lumora -r benchmark reads: FRAMES Ethernet
// frames of UDP over IPv4 with random payloads of mixed sizes, every 100th a
// numbered magic packet.
//   capture_file_writer FILE FRAMES
#include <pcap/pcap.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr int kSnapshotLength = 262144;
constexpr int kMagicEvery = 100;
constexpr int kHeaders = 14 + 20 + 8;
constexpr int kSmallestPayload = 64;
constexpr int kLargestPayload = 1400;
constexpr int kMacRepetitions = 16;
constexpr unsigned char kTarget[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
constexpr unsigned kSeed = 20261207;
constexpr long kFirstSecond = 1772917503;  // 2026-03-07 21:05:03 UTC
constexpr long kFramesPerSecond = 1000;
constexpr long kMicrosecondsPerFrame = 1000;

void PutWord(std::vector<unsigned char>* f, int at, int value) {
    (*f)[at] = static_cast<unsigned char>(value >> 8);
    (*f)[at + 1] = static_cast<unsigned char>(value);
}

// Ethernet, IPv4 10.99.0.1 -> 10.99.0.2 and UDP 50000 -> 9 headers.
std::vector<unsigned char> Headers(int payload) {
    std::vector<unsigned char> f(kHeaders, 0);
    for (int i = 0; i < 6; ++i) f[i] = 0xFF;
    PutWord(&f, 12, 0x0800);
    f[14] = 0x45;
    PutWord(&f, 16, 28 + payload);
    f[22] = 64;
    f[23] = 17;
    const unsigned char addresses[8] = {10, 99, 0, 1, 10, 99, 0, 2};
    for (int i = 0; i < 8; ++i) f[26 + i] = addresses[i];
    PutWord(&f, 34, 50000);
    PutWord(&f, 36, 9);
    PutWord(&f, 38, 8 + payload);
    return f;
}

std::vector<unsigned char> MagicFrame(unsigned number) {
    std::vector<unsigned char> f = Headers(6 + 6 * kMacRepetitions + 4);
    f.insert(f.end(), 6, 0xFF);
    for (int i = 0; i < kMacRepetitions; ++i) f.insert(f.end(), kTarget, kTarget + 6);
    for (int shift = 24; shift >= 0; shift -= 8) f.push_back(static_cast<unsigned char>(number >> shift));
    return f;
}

std::vector<unsigned char> NoiseFrame(std::mt19937* random) {
    std::uniform_int_distribution<int> size(kSmallestPayload, kLargestPayload);
    const int payload = size(*random);
    std::vector<unsigned char> f = Headers(payload);
    for (int i = 0; i < payload; ++i) f.push_back(static_cast<unsigned char>((*random)()));
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: capture_file_writer FILE FRAMES\n");
        return 2;
    }
    const long frames = std::atol(argv[2]);
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, kSnapshotLength);
    pcap_dumper_t* file = pcap_dump_open(dead, argv[1]);
    if (file == nullptr) {
        std::fprintf(stderr, "capture_file_writer: %s\n", pcap_geterr(dead));
        return 1;
    }
    std::mt19937 random(kSeed);
    for (long i = 0; i < frames; ++i) {
        const bool magic = i % kMagicEvery == kMagicEvery - 1;
        const std::vector<unsigned char> frame =
            magic ? MagicFrame(static_cast<unsigned>(i / kMagicEvery)) : NoiseFrame(&random);
        pcap_pkthdr header{};
        header.ts.tv_sec = kFirstSecond + i / kFramesPerSecond;
        header.ts.tv_usec = static_cast<suseconds_t>(i % kFramesPerSecond * kMicrosecondsPerFrame);
        header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
        pcap_dump(reinterpret_cast<unsigned char*>(file), &header, frame.data());
    }
    pcap_dump_close(file);
    pcap_close(dead);
    return 0;
}
