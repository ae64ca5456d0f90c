// The line and json forms of the magic packets lumora finds in frames, byte
// for byte, what the line says of the copies and the password, and the
// end-of-run summary. The writer's bounds and escapers are tests/base's.
#include "analysis/frame_magic.h"
#include "analysis/link_layer.h"
#include "records/sighting_forms.h"
#include "records/summary.h"

#include "packet_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using packet::Bytes;
using packet::Concat;
using packet::EthernetFrame;
using packet::MagicCopies;
using packet::WithByte;

constexpr long long k20260307At200503Utc = 1772913903;
constexpr long long k20260701At100000Utc = 1782900000;
constexpr char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr int kIpv4 = 0x0800, kIpv6 = 0x86DD;
const Bytes kGarbage = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const std::string kMalformedAdvice = HintInfoOf(HintCode::kMalformed).advice;

void SetTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

Bytes Udp4(const Bytes& payload) { return EthernetFrame(packet::Datagram(payload), kIpv4); }

// What lumora makes of `frame`, an Ethernet frame the caller keeps alive,
// judged as a capture file's (no machine) or as on `machine`'s interface 2.
Sighting Sight(const Bytes& frame, CaptureTime time = {k20260307At200503Utc, 0}, const char* interfaceName = "eth0",
               const LocalInterfaces* machine = nullptr) {
    FrameMagic magic{};
    Sighting s{};
    if (!FindFrameMagic({frame.data(), static_cast<int>(frame.size()), kLinkEthernet, std::tm{}}, &magic)) {
        ADD_FAILURE() << "no magic packet found";
        return s;
    }
    DescribeFrameMagic(magic, &s);
    s.time = time;
    s.interfaceName = interfaceName;
    PacketFacts facts = PacketFactsOf(magic, s, "00:1A:2B:3C:4D:5E");
    facts.receivingIndex = machine != nullptr ? 2 : 0;
    s.diagnosis = DiagnoseMagicPacket(facts, MachineView{machine, nullptr});
    if (s.diagnosis.targetInterface >= 0)
        std::snprintf(s.targetInterface, sizeof s.targetInterface, "%s", machine->items[s.diagnosis.targetInterface].name);
    return s;
}

using Form = int (*)(const Sighting&, char*, int);

std::string Text(Form form, const Sighting& s) {
    std::vector<char> text(kSightingTextSize);
    const int length = form(s, text.data(), static_cast<int>(text.size()));
    return length < 0 ? "<failed>" : std::string(text.data(), static_cast<std::size_t>(length));
}

// The payload's hex in json: the stream and `copies` copies of the test MAC.
std::string HexCopies(int copies) {
    std::string hex = "FFFFFFFFFFFF";
    for (int i = 0; i < copies; ++i) hex += "001A2B3C4D5E";
    return hex;
}

Bytes Counting(int count) {
    Bytes bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<unsigned char>(i));
    return bytes;
}

class OutputForms : public ::testing::Test {
protected:
    void SetUp() override { SetTimeZone(kCentralEurope); }
};

// A capture file records no interface: null and "-"; a name goes through the escapers.
struct ExactCase {
    const char* zone;
    Bytes frame;
    CaptureTime time;
    const char* interfaceName;
    bool truncated;
    const char* line;
    std::string json;
};

const ExactCase kExact[] = {
    // Summer time; ether has no ports: null UDP fields.
    {kCentralEurope, EthernetFrame(MagicCopies(16, {0xA1, 0xA2, 0xA3, 0xA4})), {k20260701At100000Utc, 999999}, "a \"b\\",
     false, "12:00:00.999999 a\\x20\"b\\x5c in ether 02:4C:55:0A:B0:01 > FF:FF:FF:FF:FF:FF: target 00:1A:2B:3C:4D:5E, 16/16 copies, "
     "password A1:A2:A3:A4\n",
     "{\"record\":\"magic\",\"time\":\"2026-07-01T12:00:00.999999+02:00\",\"host\":null,\"interface\":\"a \\\"b\\\\\",\"direction\":\"in\",\"kind\":\"ether\","
     "\"source\":\"02:4C:55:0A:B0:01\",\"destination\":\"FF:FF:FF:FF:FF:FF\",\"source_port\":null,"
     "\"destination_port\":null,\"udp_length\":null,\"udp_checksum\":null,\"target_mac\":\"00:1A:2B:3C:4D:5E\","
     "\"target_vendor\":null,\"repetitions\":16,\"password\":\"A1A2A3A4\",\"well_formed\":true,\"payload\":\"" + HexCopies(16) + "A1A2A3A4\","
     "\"truncated\":false,\"target_interface\":null,\"target_name\":null,\"target_ip\":null,"
     "\"delivery\":\"broadcast\",\"ip_destination\":null,\"vlan\":null,\"would_wake\":null,\"hints\":[]}\n"},
    // West of Greenwich, a half-hour offset, microseconds with leading zeros,
    // and a capture cut inside copy 3 of a datagram whose UDP header (at 40)
    // says 110 bytes.
    {"<-0330>3:30",
     EthernetFrame(WithByte(packet::Ipv6Datagram(MagicCopies(2, {0x00, 0x1A, 0x2B})), 40 + 5, 110), kIpv6),
     {k20260307At200503Utc, 42}, nullptr, true,
     "16:35:03.000042 - in udp6 2001:db8::5.50000 > ff02::1.9: target 00:1A:2B:3C:4D:5E, 2/16 copies, "
     "malformed: data ends in copy 3, hints malformed\n",
     "{\"record\":\"magic\",\"time\":\"2026-03-07T16:35:03.000042-03:30\",\"host\":null,\"interface\":null,\"direction\":\"in\",\"kind\":\"udp6\","
     "\"source\":\"2001:db8::5\",\"destination\":\"ff02::1\",\"source_port\":50000,\"destination_port\":9,"
     "\"udp_length\":110,\"udp_checksum\":43981,\"target_mac\":\"00:1A:2B:3C:4D:5E\",\"target_vendor\":null,\"repetitions\":2,"
     "\"password\":null,\"well_formed\":false,\"payload\":\"" + HexCopies(2) + "001A2B\",\"truncated\":true,"
     "\"target_interface\":null,\"target_name\":null,\"target_ip\":null,\"delivery\":\"broadcast\","
     "\"ip_destination\":\"multicast\",\"vlan\":null,\"would_wake\":null,\"hints\":[{\"code\":\"malformed\","
     "\"text\":\"" + kMalformedAdvice + "\",\"guide\":\"troubleshooting.html#malformed\"}]}\n"},
};

TEST_F(OutputForms, EachFormByteForByte) {
    for (const ExactCase& c : kExact) {
        SetTimeZone(c.zone);
        Sighting s = Sight(c.frame, c.time, c.interfaceName);
        s.truncated = c.truncated;
        EXPECT_EQ(Text(FormatSightingLine, s), c.line);
        EXPECT_EQ(Text(FormatSightingJson, s), c.json);
    }
}

// What the line says of the copies and the password, and why the packet is
// malformed, the same whether a UDP datagram or a 0x0842 frame carries it.
TEST_F(OutputForms, LineTailsCopiesPasswordAndReasons) {
    const std::string kMalformed = ", hints malformed\n";
    const std::pair<Bytes, std::string> cases[] = {
        // Intact copies count from the first up to the first that differs.
        {WithByte(MagicCopies(16), 6 + 6, 0x01), "1/16 copies, malformed: copy 2 differs" + kMalformed},
        // The seventh 0xFF is the target's first byte, so copy 2 is off by one.
        {Concat({0xFF}, MagicCopies(16)), "FF:00:1A:2B:3C:4D, 1/16 copies, malformed: copy 2 differs" + kMalformed},
        {MagicCopies(0, {0x00, 0x1A}), "00:1A:--:--:--:--, 0/16 copies, malformed: data ends in copy 1" + kMalformed},
        {MagicCopies(16, Bytes(3, 0xA3)), ", 16/16 copies\n"},  // three bytes are no password
        {MagicCopies(15, Concat(kGarbage, Counting(7))),
         "15/16 copies, password 00:01:02:03:04:05:06, malformed: copy 16 differs; 7-byte password" + kMalformed},
        {MagicCopies(16, Counting(20)), "0D:0E:0F..., malformed: 20-byte password" + kMalformed},  // 16 bytes shown
    };
    for (const auto& [payload, tail] : cases) {
        for (const Bytes& frame : {Udp4(payload), EthernetFrame(payload)}) {
            const std::string line = Text(FormatSightingLine, Sight(frame));
            EXPECT_EQ(line.substr(line.size() - std::min(line.size(), tail.size())), tail) << line;
        }
    }
}

// On a machine whose eth0 is the target: would it wake, and why not. The
// json's would_wake, target_interface and hints are the QEMU test's, on e100.
TEST_F(OutputForms, WouldWakeInTheLine) {
    LocalInterfaces machine{};
    machine.count = 1;
    LocalInterface& eth0 = machine.items[0];
    std::snprintf(eth0.name, sizeof eth0.name, "eth0");
    eth0.index = 2;
    std::memcpy(eth0.mac, packet::kTestMac, sizeof eth0.mac);
    eth0.hasMac = eth0.hasDevice = true;
    const std::pair<std::uint32_t, const char*> cases[] = {
        {kWakeMagic, ", 16/16 copies, would wake this machine (eth0)\n"},
        {0, ", 16/16 copies, would not wake this machine: Wake-on-LAN is off on eth0, hints wol-disabled\n"},
    };
    const Bytes frame = Udp4(MagicCopies(16));
    for (const auto& [enabled, line] : cases) {
        eth0.card = CardState{CardRead::kRead, kWakeMagic, enabled, false, {}, DeviceWakeup::kEnabled, ""};
        const Sighting s = Sight(frame, {k20260307At200503Utc, 0}, "eth0", &machine);
        EXPECT_NE(Text(FormatSightingLine, s).find(line), std::string::npos) << Text(FormatSightingLine, s);
    }
}

class Summary : public OutputForms {
protected:
    void Add(const Bytes& payload, const std::string& source, long long seconds = k20260307At200503Utc) {
        const Bytes frame = Udp4(payload);
        Sighting s = Sight(frame, {seconds, 0});
        std::snprintf(s.source, sizeof s.source, "%s", source.c_str());
        CountSighting(summary.get(), s);
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        char text[kLineSize];
        for (int i = 0; i < SummaryLineCount(*summary); ++i)
            lines.push_back(FormatSummaryLine(*summary, i, text, sizeof text) < 0 ? "<failed>" : text);
        return lines;
    }

    static constexpr int kLineSize = 1024;
    std::unique_ptr<SightingSummary> summary = std::make_unique<SightingSummary>();
};

// Sixteen copies of a MAC ending in `last`.
Bytes WakeFor(unsigned char last) {
    const unsigned char mac[kMacLength] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last};
    return packet::MagicPayload({}, {}, mac);
}

// Each distinct source sends twice; repeats never count as another source.
// Three sources and fewer are the end-to-end summaries' (expected_file_lines.txt).
TEST_F(Summary, NamesTheFirstSourcesAndCountsTheRest) {
    const std::pair<int, std::string> cases[] = {
        {kSummarySourcesKept, "from 10.0.0.0, 10.0.0.1, 10.0.0.2 and 13 more"},
        {kSummarySourcesKept + 5, "from 10.0.0.0, 10.0.0.1, 10.0.0.2 and at least 14 more"},
    };
    for (const auto& [distinct, ending] : cases) {
        summary = std::make_unique<SightingSummary>();
        for (int i = 0; i < 2 * distinct; ++i) Add(WakeFor(0x5E), "10.0.0." + std::to_string(i % distinct));
        const std::string line = Lines().at(0);
        EXPECT_EQ(line.substr(line.size() - std::min(line.size(), ending.size())), ending) << distinct;
        EXPECT_NE(line.find(": " + std::to_string(2 * distinct) + " magic packets"), std::string::npos) << line;
    }
}

// Targets past the cap share one line; those --mac left out get none.
TEST_F(Summary, TargetsPastTheCapShareOneLineAndOtherTargetsNone) {
    for (int i = 0; i < kSummaryMaxTargets + 3; ++i) Add(WakeFor(static_cast<unsigned char>(i)), "10.0.0.1");
    CountOtherTarget(summary.get());
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kSummaryMaxTargets + 1));
    EXPECT_EQ(lines[kSummaryMaxTargets - 1].substr(0, 18), "00:1A:2B:3C:4D:3F:");
    EXPECT_EQ(lines.back(), "3 magic packets for further targets, past the 64 listed");
}

}  // namespace
