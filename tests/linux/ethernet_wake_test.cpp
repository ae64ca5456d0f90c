// The report of a 0x0842 frame, in the shape of the UDP one, and which
// frames get it.
#include "analysis/ethernet_wake.h"

#include "analysis/magic_packet.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using packet::Bytes;
using packet::EthernetFrame;
using packet::MagicPayload;

TEST(EthernetWakeReport, UnicastFrameWithPasswordGivesTheFullTextByteForByte) {
    Bytes frame = EthernetFrame(MagicPayload({}, {0xC0, 0xA8, 0x01, 0x02, 0x03, 0x04}));
    const unsigned char unicast[] = {0x52, 0x54, 0x00, 0xAB, 0xCD, 0xEF};
    std::copy(unicast, unicast + sizeof unicast, frame.begin());
    const std::string expected =
        "---------------------------Wake-On-LAN Magic Packet---------------------------\r\n\r\n"
        "Time received:\r\n\t 03/07/26\t 21:05:03\r\n"
        "Ethernet Header:\r\n"
        "\t|-Source MAC\t:\t02:4C:55:0A:B0:01\r\n"
        "\t|-Destination MAC\t:\t52:54:00:AB:CD:EF\r\n"
        "\t|-EtherType\t:\t0x0842\r\n"
        "MAC Address:\r\n\t 00 1A 2B 3C 4D 5E\r\n"
        "Pasword:\r\n\t C0 A8 01 02 03 04\r\n"
        "Raw Data (108 bytes):\r\n"
        "\t FF FF FF FF FF FF 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n"
        "\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A\r\n"
        "\t 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n"
        "\t 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C\r\n"
        "\t 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A\r\n"
        "\t 2B 3C 4D 5E 00 1A 2B 3C 4D 5E 00 1A 2B 3C 4D 5E\r\n"
        "\t 00 1A 2B 3C 4D 5E C0 A8 01 02 03 04\r\n\r\n";
    EXPECT_EQ(packet::ReportOf(FormatEthernetWakeReportAt, frame), expected);
}

TEST(EthernetWakeReport, OnlyWakeFramesWithASyncStreamInThePayloadAreReported) {
    const Bytes notReported[] = {
        EthernetFrame(MagicPayload(), 0x0806), EthernetFrame(MagicPayload(), 0x0843),
        EthernetFrame(MagicPayload(), 0x4208), EthernetFrame(Bytes(102, 0x42)),
        EthernetFrame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF}),
        // The broadcast destination's 0xFF are header, not payload.
        EthernetFrame({}), EthernetFrame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
        Bytes(6, 0xFF),  // shorter than a header
    };
    for (const Bytes& frame : notReported) {
        std::string text;
        EXPECT_FALSE(packet::FormatCopy(FormatEthernetWakeReportAt, frame, &text)) << text;
    }
}

}  // namespace
