// The verdict on one magic packet, for UDP datagrams and 0x0842 frames alike,
// and its agreement with what the report shows for the same bytes.
#include "analysis/ethernet_wake.h"
#include "analysis/magic_packet.h"
#include "analysis/wake_verdict.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using packet::Bytes;
using packet::MagicCopies;

struct VerdictCase {
    const char* name;
    Bytes payload;
    int repetitions;
    int copiesReceived;
    bool endedEarly;
    PasswordKind password;
    int passwordLength;
    bool wellFormed;
};

Bytes Cut(Bytes bytes, std::size_t length) {
    bytes.resize(length);
    return bytes;
}

Bytes Join(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// Copies of the test MAC alone, without the stream.
Bytes MacCopies(int copies) {
    const Bytes magic = MagicCopies(copies);
    return Bytes(magic.begin() + 6, magic.end());
}

const Bytes kGarbage = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

const VerdictCase kVerdictCases[] = {
    {"sixteen copies", MagicCopies(16), 16, 16, false, PasswordKind::kNone, 0, true},
    {"after a prefix", packet::MagicPayload({0x01, 0x02, 0x03, 0x04}), 16, 16, false, PasswordKind::kNone, 0, true},
    {"fifteen then garbage", MagicCopies(15, kGarbage), 15, 16, false, PasswordKind::kNone, 0, false},
    {"copy 2 differs", MagicCopies(1, Join(kGarbage, MacCopies(14))), 1, 16, false, PasswordKind::kNone, 0, false},
    {"ends inside copy 13", Cut(MagicCopies(16), 6 + 12 * 6 + 3), 12, 12, true, PasswordKind::kNone, 0, false},
    {"ends after copy 15", MagicCopies(15), 15, 15, true, PasswordKind::kNone, 0, false},
    {"ends inside the target", Cut(MagicCopies(16), 6 + 3), 0, 0, true, PasswordKind::kNone, 0, false},
    {"ends right after the stream", MagicCopies(0), 0, 0, true, PasswordKind::kNone, 0, false},
    {"3 bytes after: no password", MagicCopies(16, {0xA1, 0xA2, 0xA3}), 16, 16, false, PasswordKind::kNone, 0,
     true},
    {"4-byte password", MagicCopies(16, {0xA1, 0xA2, 0xA3, 0xA4}), 16, 16, false, PasswordKind::kFour, 4, true},
    {"5-byte password", MagicCopies(16, Bytes(5, 0xA5)), 16, 16, false, PasswordKind::kUnusual, 5, false},
    {"6-byte password", MagicCopies(16, Bytes(6, 0xA6)), 16, 16, false, PasswordKind::kSix, 6, true},
    {"7-byte password", MagicCopies(16, Bytes(7, 0xA7)), 16, 16, false, PasswordKind::kUnusual, 7, false},
    // The seventh 0xFF is the target's first byte, so copy 2 is off by one
    // and the last byte of copy 16 is left over after the copies.
    {"seven 0xFF at the start", Join({0xFF}, MagicCopies(16)), 1, 16, false, PasswordKind::kNone, 0, false},
    {"target FF:FF:FF:FF:FF:FF", Bytes(6 + 16 * 6, 0xFF), 16, 16, false, PasswordKind::kNone, 0, true},
};

// The same payload behind an IPv4 and UDP header, and behind an Ethernet
// header; the sync stream found as each report finds it.
struct Carrier {
    const char* name;
    Bytes (*wrap)(const Bytes& payload);
    int payloadStart;
    packet::Formatter report;
};

Bytes AsDatagram(const Bytes& payload) { return packet::Datagram(payload); }
Bytes AsFrame(const Bytes& payload) { return packet::EthernetFrame(payload); }

const Carrier kCarriers[] = {
    {"UDP", AsDatagram, packet::kIpHeaderLength + packet::kUdpHeaderLength, FormatMagicPacketReportAt},
    {"0x0842", AsFrame, packet::kEthernetHeaderLength, FormatEthernetWakeReportAt},
};

// Judged from an exact-size heap copy, so the sanitizers catch a read past it.
WakeVerdict Judge(const Carrier& carrier, const Bytes& packet) {
    const Bytes copy(packet);
    const int length = static_cast<int>(copy.size());
    return JudgeMagicPacket(copy.data(), FindSyncStream(copy.data(), carrier.payloadStart, length), length);
}

TEST(WakeVerdict, EachCaseInADatagramAndInAFrame) {
    for (const Carrier& carrier : kCarriers) {
        for (const VerdictCase& c : kVerdictCases) {
            SCOPED_TRACE(std::string(carrier.name) + ": " + c.name);
            const WakeVerdict v = Judge(carrier, carrier.wrap(c.payload));
            EXPECT_EQ(v.repetitions, c.repetitions);
            EXPECT_EQ(v.copiesReceived, c.copiesReceived);
            EXPECT_EQ(v.endedEarly, c.endedEarly);
            EXPECT_EQ(v.password, c.password);
            EXPECT_EQ(v.passwordLength, c.passwordLength);
            EXPECT_EQ(v.wellFormed, c.wellFormed);
        }
    }
}

// The report's MAC line and password line for the same bytes.
std::string ReportedMac(const Bytes& packet, int macOffset) {
    std::string line;
    for (int i = macOffset; i < macOffset + 6; ++i)
        line += i < static_cast<int>(packet.size()) ? " " + packet::Hex(packet[i]) : " --";
    return line;
}

TEST(WakeVerdict, AgreesWithTheReportOnTargetAndPassword) {
    for (const Carrier& carrier : kCarriers) {
        for (const VerdictCase& c : kVerdictCases) {
            SCOPED_TRACE(std::string(carrier.name) + ": " + c.name);
            const Bytes packet = carrier.wrap(c.payload);
            const WakeVerdict v = Judge(carrier, packet);
            const std::string report = packet::ReportOf(carrier.report, packet);
            EXPECT_EQ(packet::Section(report, "MAC Address:\r\n\t"), ReportedMac(packet, v.macOffset));
            const std::string password = packet::Section(report, "Pasword:\r\n\t");
            EXPECT_EQ(static_cast<int>(password.size()), v.passwordLength * 3);
            if (v.passwordLength > 0)
                EXPECT_EQ(password.substr(0, 3), " " + packet::Hex(packet[v.passwordOffset]));
        }
    }
}

}  // namespace
