// The record of one magic packet, filled from where the frame holds it, and
// the local time its forms show.
#include "records/sighting.h"

#include "analysis/frame_fields.h"

#include <ctime>

namespace {

using namespace frame_fields;

void DescribeUdp(const FrameMagic& magic, Sighting* sighting) {
    FormatIpAddresses(magic, sighting->source, sighting->destination);
    const unsigned char* udp = magic.packet + magic.udp;
    sighting->sourcePort = ReadWord(udp + kUdpSourcePortOffset);
    sighting->destinationPort = ReadWord(udp + kUdpDestinationPortOffset);
    sighting->udpLength = ReadWord(udp + kUdpLengthOffset);
    sighting->udpChecksum = ReadWord(udp + kUdpChecksumOffset);
    sighting->payload = udp + kUdpHeaderLength;
    sighting->payloadLength = magic.length - magic.udp - kUdpHeaderLength;
}

static_assert(kEndpointTextSize >= kMacTextSize, "a MAC fits where an address goes");

void DescribeEther(const FrameMagic& magic, Sighting* sighting) {
    FormatMac(magic.sourceMac, 0, sighting->source);  // nullptr: "--" throughout
    FormatMac(magic.destinationMac, 0, sighting->destination);
    sighting->sourcePort = sighting->destinationPort = sighting->udpLength = sighting->udpChecksum = 0;
    sighting->payload = magic.packet;
    sighting->payloadLength = magic.length;
}

}  // namespace

void DescribeFrameMagic(const FrameMagic& magic, Sighting* sighting) {
    sighting->kind = magic.kind;
    if (magic.kind == SightingKind::kEther)
        DescribeEther(magic, sighting);
    else
        DescribeUdp(magic, sighting);
    DescribeMagicPacket(magic.packet, magic.sync, magic.length, sighting);
}

PacketFacts PacketFactsOf(const FrameMagic& magic, const Sighting& s, const char* macText) {
    PacketFacts facts{};
    facts.targetMac = s.targetMacBytes == kHardwareAddressLength ? s.targetMac : nullptr;
    facts.targetMacText = macText;
    facts.wellFormed = s.verdict.wellFormed;
    facts.password = s.password;
    facts.passwordLength = s.verdict.passwordLength;
    facts.destinationMac = magic.destinationMac;
    facts.packetType = magic.packetType;
    facts.vlan = magic.vlan;
    facts.ipDestinationText = s.destination;
    facts.receivingIndex = magic.interfaceIndex;
    if (magic.kind == SightingKind::kUdp4) {
        facts.ipFamily = kIpv4;
        facts.ipDestination = magic.packet + kIpv4DestinationOffset;
    } else if (magic.kind == SightingKind::kUdp6) {
        facts.ipFamily = kIpv6;
        facts.ipDestination = magic.packet + kIpv6DestinationOffset;
    }
    return facts;
}

void DescribeMagicPacket(const unsigned char* bytes, int sync, int end, Sighting* sighting) {
    const WakeVerdict verdict = JudgeMagicPacket(bytes, sync, end);
    sighting->verdict = verdict;
    sighting->targetMac = nullptr;
    sighting->targetMacBytes = 0;
    sighting->password = nullptr;
    if (bytes == nullptr || sync < 0) return;
    const int received = end - verdict.macOffset;
    if (received <= 0) return;
    sighting->targetMac = bytes + verdict.macOffset;
    sighting->targetMacBytes = received < kMacLength ? received : kMacLength;
    if (verdict.password != PasswordKind::kNone) sighting->password = bytes + verdict.passwordOffset;
}

bool FormatLocalTime(const CaptureTime& time, const char* format, char* text, int size) {
    std::tm local{};
    if (text == nullptr || size <= 0 || !ToLocalTime(time, &local)) return false;
    return std::strftime(text, static_cast<std::size_t>(size), format, &local) != 0;
}

bool ToLocalTime(const CaptureTime& time, std::tm* local) {
    const std::time_t seconds = static_cast<std::time_t>(time.seconds);
    return localtime_r(&seconds, local) != nullptr;
}
