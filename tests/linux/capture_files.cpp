// Writes the capture files the end-to-end tests read with lumora -r, one per
// link type lumora reads, plus one pcapng, one of a link type it does not, and
// one of 2040; with --large only large.pcap, past 2 GiB, its magic packet last.
//   capture_files [--large] DIR
// Every frame's time is fixed, so the reports are the same on every run.
#include "packet_builder.h"

#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using namespace packet;

constexpr std::int64_t kFirstSecond = 1772917503;  // 2026-03-07 21:05:03 UTC
constexpr std::int64_t kLateSecond = 2214767103;   // 2040-03-07 21:05:03 UTC, past 32 signed bits
constexpr int kLargeFrames = 33000;  // of the largest Ethernet frame: 2.16 GB
constexpr int kLargestFrame = 65535;
constexpr int kLocalExperimental = 0x88B5;  // an EtherType no magic packet uses
constexpr int kMicrosecondsApart = 250000;
constexpr int kSnapshotLength = 262144;
constexpr int kIpv4 = 0x0800, kIpv6 = 0x86DD, kWake = 0x0842, kArp = 0x0806;
constexpr int kHost = 0, kBroadcast = 1, kOutgoing = 4;
constexpr unsigned char kHopByHop = 0, kFragment = 44, kTcp = 6;
const unsigned char kUnicast6[16] = {0xFD, 0x4C, 0, 0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02};
const Bytes kSecret = {0x5E, 0xC2, 0xE7, 0x01};
const unsigned char kOtherMac[6] = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};

const Bytes kIpv4Magic = Datagram(MagicPayload({}, kSecret));
const Bytes kIpv6Magic = Ipv6Datagram(MagicPayload(), kHopByHop, Ipv6Extension(17));
const Bytes kNoise = Datagram(Bytes(64, 0x5A), 53);

const std::vector<Bytes> kEthernetFrames = {
    EthernetFrame(kNoise, kIpv4),
    EthernetFrame(kIpv4Magic, kIpv4),
    EthernetFrame(Bytes(28, 0x01), kArp),
    EthernetFrame(kIpv6Magic, kIpv6),
    Tagged(EthernetFrame(Datagram(MagicPayload({0x01, 0x02}), 7), kIpv4), {0x8100}),
    Tagged(EthernetFrame(Ipv6Datagram(MagicPayload(), 17, {}, kUnicast6), kIpv6), {0x88A8, 0x8100}),
    EthernetFrame(Datagram(MagicPayload(), 9, kTcp), kIpv4),
    EthernetFrame(MagicPayload({}, {}, kOtherMac), kWake),
};

const std::vector<Bytes> kCookedFrames = {
    CookedV1(kNoise, kIpv4, kHost),
    CookedV1(kIpv4Magic, kIpv4, kOutgoing),
    CookedV1(kIpv4Magic, kIpv4, kBroadcast),
    CookedV1(kIpv6Magic, kIpv6, kHost),
    CookedV1(MagicPayload(), kWake, kBroadcast),
};

const std::vector<Bytes> kCookedV2Frames = {
    CookedV2(Ipv6Datagram(MagicPayload(), kFragment, Ipv6Fragment(17, 0), kUnicast6), kIpv6, kHost),
    CookedV2(kNoise, kIpv4, kHost),
    CookedV2(MagicPayload({}, kSecret), kWake, kHost),
};

pcap_pkthdr HeaderOf(std::size_t index, const Bytes& frame, std::int64_t firstSecond = kFirstSecond) {
    pcap_pkthdr header{};
    const std::int64_t micros = static_cast<std::int64_t>(index) * kMicrosecondsApart;
    header.ts.tv_sec = static_cast<time_t>(firstSecond + micros / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(micros % 1000000);
    header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
    return header;
}

bool WritePcap(const std::string& path, int linkType, const std::vector<Bytes>& frames,
               std::int64_t firstSecond = kFirstSecond) {
    pcap_t* dead = pcap_open_dead(linkType, kSnapshotLength);
    pcap_dumper_t* file = dead != nullptr ? pcap_dump_open(dead, path.c_str()) : nullptr;
    if (file == nullptr) return false;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const pcap_pkthdr header = HeaderOf(i, frames[i], firstSecond);
        pcap_dump(reinterpret_cast<unsigned char*>(file), &header, frames[i].data());
    }
    pcap_dump_close(file);
    pcap_close(dead);
    return true;
}

// The same large frame over and over, then a magic packet, written as they go.
bool WriteLargePcap(const std::string& path) {
    const Bytes filler = EthernetFrame(Bytes(kLargestFrame - 14, 0x5A), kLocalExperimental);
    const Bytes magic = EthernetFrame(kIpv4Magic, kIpv4);
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, kSnapshotLength);
    pcap_dumper_t* file = dead != nullptr ? pcap_dump_open(dead, path.c_str()) : nullptr;
    if (file == nullptr) return false;
    for (int i = 0; i <= kLargeFrames; ++i) {
        const Bytes& frame = i < kLargeFrames ? filler : magic;
        const pcap_pkthdr header = HeaderOf(static_cast<std::size_t>(i), frame);
        pcap_dump(reinterpret_cast<unsigned char*>(file), &header, frame.data());
    }
    const bool written = pcap_dump_flush(file) == 0;
    pcap_dump_close(file);
    pcap_close(dead);
    return written;
}

// pcapng by hand (libpcap writes only pcap): section header, one Ethernet
// interface, one enhanced packet block per frame, microsecond times.
void Put32(Bytes* out, std::initializer_list<std::uint32_t> values) {
    for (const std::uint32_t value : values)
        for (int i = 0; i < 4; ++i) out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void PutBlock(Bytes* out, std::uint32_t type, const Bytes& body) {
    const std::uint32_t length = static_cast<std::uint32_t>(12 + body.size());
    Put32(out, {type, length});
    out->insert(out->end(), body.begin(), body.end());
    Put32(out, {length});
}

// `beyondCalendars`: times in whole seconds, each the largest a file can
// hold, so far in the future that no calendar takes it.
Bytes PcapngFile(const std::vector<Bytes>& frames, bool beyondCalendars = false) {
    Bytes out, section, description;
    // Byte-order magic, version 1.0, section length unknown.
    Put32(&section, {0x1A2B3C4D, 0x00000001, 0xFFFFFFFF, 0xFFFFFFFF});
    PutBlock(&out, 0x0A0D0D0A, section);
    Put32(&description, {DLT_EN10MB, kSnapshotLength});  // link type, then a reserved half
    // if_tsresol, 1 byte: 10^0, whole seconds; then the end of options.
    if (beyondCalendars) Put32(&description, {0x00010009, 0, 0});
    PutBlock(&out, 0x00000001, description);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const pcap_pkthdr header = HeaderOf(i, frames[i]);
        const std::uint64_t stamp = beyondCalendars ? INT64_MAX
                                                    : static_cast<std::uint64_t>(header.ts.tv_sec) * 1000000 + header.ts.tv_usec;
        Bytes packetBlock;  // interface 0, the time's two halves, the lengths, the frame
        Put32(&packetBlock, {0, static_cast<std::uint32_t>(stamp >> 32), static_cast<std::uint32_t>(stamp),
                             header.caplen, header.len});
        packetBlock.insert(packetBlock.end(), frames[i].begin(), frames[i].end());
        packetBlock.resize((packetBlock.size() + 3) / 4 * 4, 0);
        PutBlock(&out, 0x00000006, packetBlock);
    }
    return out;
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    const bool large = argc == 3 && std::string(argv[1]) == "--large";
    if (argc != 2 && !large) {
        std::fprintf(stderr, "usage: capture_files [--large] DIR\n");
        return 2;
    }
    const std::string dir = argv[argc - 1];
    if (large) return WriteLargePcap(dir + "/large.pcap") ? 0 : 1;
    const std::vector<Bytes> pcapngFrames = {EthernetFrame(kIpv4Magic, kIpv4), EthernetFrame(kIpv6Magic, kIpv6)};
    const bool written = WritePcap(dir + "/ethernet.pcap", DLT_EN10MB, kEthernetFrames) &&
                         WritePcap(dir + "/cooked.pcap", DLT_LINUX_SLL, kCookedFrames) &&
                         WritePcap(dir + "/cooked2.pcap", DLT_LINUX_SLL2, kCookedV2Frames) &&
                         WritePcap(dir + "/rawip.pcap", DLT_RAW, {kNoise, kIpv6Magic, kIpv4Magic}) &&
                         WritePcap(dir + "/radio.pcap", DLT_IEEE802_11, {kIpv4Magic}) &&
                         WritePcap(dir + "/late.pcap", DLT_EN10MB, kEthernetFrames, kLateSecond) &&
                         WriteBytes(dir + "/ethernet.pcapng", PcapngFile(pcapngFrames)) &&
                         WriteBytes(dir + "/beyond.pcapng", PcapngFile(pcapngFrames, true));
    if (written) return 0;
    std::fprintf(stderr, "capture_files: cannot write the files in %s\n", dir.c_str());
    return 1;
}
