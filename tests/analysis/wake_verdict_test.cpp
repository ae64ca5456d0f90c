// The verdict on one magic packet, the same whether a UDP datagram or a
// 0x0842 frame carries it.
#include "analysis/ethernet_wake.h"
#include "analysis/magic_packet.h"
#include "analysis/wake_verdict.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

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

const Bytes kGarbage = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
constexpr PasswordKind kNone = PasswordKind::kNone, kUnusual = PasswordKind::kUnusual;

const VerdictCase kCases[] = {
    {"sixteen copies", MagicCopies(16), 16, 16, false, kNone, 0, true},
    {"fifteen then garbage", MagicCopies(15, kGarbage), 15, 16, false, kNone, 0, false},
    // Intact copies count from the first up to the first that differs.
    {"copy 2 differs", packet::WithByte(MagicCopies(16), 6 + 6, 0x01), 1, 16, false, kNone, 0, false},
    {"ends inside copy 13", MagicCopies(12, {0x00, 0x1A, 0x2B}), 12, 12, true, kNone, 0, false},
    {"ends inside the target", MagicCopies(0, {0x00, 0x1A, 0x2B}), 0, 0, true, kNone, 0, false},
    {"3 bytes after: no password", MagicCopies(16, Bytes(3, 0xA3)), 16, 16, false, kNone, 0, true},
    {"4-byte password", MagicCopies(16, Bytes(4, 0xA4)), 16, 16, false, PasswordKind::kFour, 4, true},
    {"5-byte password", MagicCopies(16, Bytes(5, 0xA5)), 16, 16, false, kUnusual, 5, false},
    {"6-byte password", MagicCopies(16, Bytes(6, 0xA6)), 16, 16, false, PasswordKind::kSix, 6, true},
    {"7-byte password", MagicCopies(16, Bytes(7, 0xA7)), 16, 16, false, kUnusual, 7, false},
    // The seventh 0xFF is the target's first byte, so copy 2 is off by one.
    {"seven 0xFF at the start", packet::Concat({0xFF}, MagicCopies(16)), 1, 16, false, kNone, 0, false},
};

constexpr int kUdpPayloadStart = packet::kIpHeaderLength + packet::kUdpHeaderLength;

// Judged from an exact-size heap copy, so the sanitizers catch a read past it.
WakeVerdict Judge(const Bytes& built, int payloadStart) {
    const Bytes packet(built);
    const int length = static_cast<int>(packet.size());
    return JudgeMagicPacket(packet.data(), FindSyncStream(packet.data(), payloadStart, length), length);
}

TEST(WakeVerdict, EachCaseInADatagramAndInAFrame) {
    for (const VerdictCase& c : kCases) {
        for (const bool frame : {false, true}) {
            SCOPED_TRACE(std::string(frame ? "0x0842: " : "UDP: ") + c.name);
            const WakeVerdict v = frame ? Judge(packet::EthernetFrame(c.payload), kEthernetHeaderLength)
                                        : Judge(packet::Datagram(c.payload), kUdpPayloadStart);
            EXPECT_EQ(std::tie(v.repetitions, v.copiesReceived, v.endedEarly, v.password, v.passwordLength),
                      std::tie(c.repetitions, c.copiesReceived, c.endedEarly, c.password, c.passwordLength));
            EXPECT_EQ(v.wellFormed, c.wellFormed);
        }
    }
}

}  // namespace
