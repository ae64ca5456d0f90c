// The line and json forms of a magic packet, byte for byte, their bounds, and
// every json line of a larger run read back by Python's json module.
#include "linux/output_format.h"

#include "analysis/magic_packet.h"
#include "packet_builder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

using packet::Bytes;
using packet::MagicCopies;

constexpr long long k20260307At200503Utc = 1772913903;
constexpr long long k20260701At100000Utc = 1782900000;
const char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";

const Bytes kGarbage = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

void SetTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

struct Endpoints {
    const char* source;
    const char* destination;
    int sourcePort;
    int destinationPort;
};

// A sighting of `payload`, which the caller keeps alive while it is used.
Sighting Sight(SightingKind kind, const Bytes& payload, const Endpoints& at, CaptureTime time,
               const char* interfaceName = "eth0") {
    Sighting s{};
    s.time = time;
    s.interfaceName = interfaceName;
    s.kind = kind;
    std::snprintf(s.source, sizeof s.source, "%s", at.source);
    std::snprintf(s.destination, sizeof s.destination, "%s", at.destination);
    s.sourcePort = at.sourcePort;
    s.destinationPort = at.destinationPort;
    s.udpLength = 8 + static_cast<int>(payload.size());
    const int length = static_cast<int>(payload.size());
    DescribeMagicPacket(payload.data(), FindSyncStream(payload.data(), 0, length), length, &s);
    s.payload = payload.data();
    s.payloadLength = length;
    return s;
}

const Endpoints kUdp4 = {"10.77.0.1", "10.77.0.255", 50000, 9};
const Endpoints kUdp6 = {"fe80::1", "ff02::1", 40000, 9};
const Endpoints kEther = {"02:4C:55:0A:B0:01", "FF:FF:FF:FF:FF:FF", 0, 0};

std::string Line(const Sighting& s) {
    std::vector<char> text(kSightingTextSize);
    const int length = FormatSightingLine(s, text.data(), static_cast<int>(text.size()));
    return length < 0 ? "<failed>" : std::string(text.data(), static_cast<std::size_t>(length));
}

std::string Json(const Sighting& s) {
    std::vector<char> text(kSightingTextSize);
    const int length = FormatSightingJson(s, text.data(), static_cast<int>(text.size()));
    return length < 0 ? "<failed>" : std::string(text.data(), static_cast<std::size_t>(length));
}

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

class OutputFormat : public ::testing::Test {
protected:
    void SetUp() override { SetTimeZone(kCentralEurope); }
};

TEST_F(OutputFormat, WellFormedUdp4WithAPassword) {
    const Bytes payload = MagicCopies(16, {0xA1, 0xA2, 0xA3, 0xA4});
    Sighting s = Sight(SightingKind::kUdp4, payload, kUdp4, {k20260307At200503Utc, 42});
    s.udpChecksum = 0;
    EXPECT_EQ(Line(s),
              "21:05:03.000042 eth0 udp4 10.77.0.1.50000 > 10.77.0.255.9: target 00:1A:2B:3C:4D:5E, 16/16 copies, "
              "password A1:A2:A3:A4\n");
    EXPECT_EQ(Json(s),
              "{\"time\":\"2026-03-07T21:05:03.000042+01:00\",\"interface\":\"eth0\",\"kind\":\"udp4\","
              "\"source\":\"10.77.0.1\",\"destination\":\"10.77.0.255\",\"source_port\":50000,"
              "\"destination_port\":9,\"udp_length\":114,\"udp_checksum\":0,\"target_mac\":\"00:1A:2B:3C:4D:5E\","
              "\"repetitions\":16,\"password\":\"A1A2A3A4\",\"well_formed\":true,\"payload\":\"FFFFFFFFFFFF" +
                  Repeat("001A2B3C4D5E", 16) + "A1A2A3A4\",\"truncated\":false}\n");
}

TEST_F(OutputFormat, EtherFrameWithFifteenCopiesInSummerTime) {
    const Bytes payload = MagicCopies(15, kGarbage);
    const Sighting s = Sight(SightingKind::kEther, payload, kEther, {k20260701At100000Utc, 999999}, "veth-rx");
    EXPECT_EQ(Line(s),
              "12:00:00.999999 veth-rx ether 02:4C:55:0A:B0:01 > FF:FF:FF:FF:FF:FF: target 00:1A:2B:3C:4D:5E, "
              "15/16 copies, malformed: copy 16 differs\n");
    EXPECT_EQ(Json(s),
              "{\"time\":\"2026-07-01T12:00:00.999999+02:00\",\"interface\":\"veth-rx\",\"kind\":\"ether\","
              "\"source\":\"02:4C:55:0A:B0:01\",\"destination\":\"FF:FF:FF:FF:FF:FF\",\"udp_length\":null,"
              "\"udp_checksum\":null,\"target_mac\":\"00:1A:2B:3C:4D:5E\",\"repetitions\":15,\"password\":null,"
              "\"well_formed\":false,\"payload\":\"FFFFFFFFFFFF" +
                  Repeat("001A2B3C4D5E", 15) + "112233445566\",\"truncated\":false}\n");
}

TEST_F(OutputFormat, TruncatedUdp6WestOfGreenwich) {
    SetTimeZone("<-0330>3:30");
    Bytes payload = MagicCopies(16);
    payload.resize(6 + 2 * 6 + 3);
    Sighting s = Sight(SightingKind::kUdp6, payload, kUdp6, {k20260307At200503Utc, 500000});
    s.udpLength = 110;
    s.udpChecksum = 0x1234;
    s.truncated = true;
    EXPECT_EQ(Line(s),
              "16:35:03.500000 eth0 udp6 fe80::1.40000 > ff02::1.9: target 00:1A:2B:3C:4D:5E, 2/16 copies, "
              "malformed: data ends in copy 3\n");
    EXPECT_EQ(Json(s),
              "{\"time\":\"2026-03-07T16:35:03.500000-03:30\",\"interface\":\"eth0\",\"kind\":\"udp6\","
              "\"source\":\"fe80::1\",\"destination\":\"ff02::1\",\"source_port\":40000,\"destination_port\":9,"
              "\"udp_length\":110,\"udp_checksum\":4660,\"target_mac\":\"00:1A:2B:3C:4D:5E\",\"repetitions\":2,"
              "\"password\":null,\"well_formed\":false,\"payload\":\"FFFFFFFFFFFF001A2B3C4D5E001A2B3C4D5E001A2B\","
              "\"truncated\":true}\n");
}

// What the line adds after the copies, one row per kind of packet.
struct LineTailCase {
    const char* name;
    Bytes payload;
    const char* tail;
};

Bytes Counting(int count) {
    Bytes bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<unsigned char>(i));
    return bytes;
}

const LineTailCase kLineTails[] = {
    {"no password", MagicCopies(16), "16/16 copies\n"},
    {"six-byte password", MagicCopies(16, Counting(6)), "16/16 copies, password 00:01:02:03:04:05\n"},
    {"five-byte password", MagicCopies(16, Counting(5)),
     "16/16 copies, password 00:01:02:03:04, malformed: 5-byte password\n"},
    {"broken copy and password", MagicCopies(15, Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 1, 2, 3, 4, 5, 6, 7}),
     "15/16 copies, password 01:02:03:04:05:06:07, malformed: copy 16 differs; 7-byte password\n"},
    {"long password shown in part", MagicCopies(16, Counting(20)),
     "16/16 copies, password 00:01:02:03:04:05:06:07:08:09:0A:0B:0C:0D:0E:0F..., malformed: 20-byte password\n"},
    {"ends inside the target", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x1A},
     "target 00:1A:--:--:--:--, 0/16 copies, malformed: data ends in copy 1\n"},
};

TEST_F(OutputFormat, LineTailsPasswordAndReasons) {
    for (const LineTailCase& c : kLineTails) {
        const std::string line = Line(Sight(SightingKind::kUdp4, c.payload, kUdp4, {k20260307At200503Utc, 0}));
        const std::string tail = c.tail;
        ASSERT_GE(line.size(), tail.size()) << c.name;
        EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << c.name;
    }
}

struct NameCase {
    const char* name;
    const char* interfaceName;
    const char* json;
    const char* line;
};

const NameCase kNames[] = {
    {"plain", "eth0", "\"eth0\"", "eth0"},
    {"quote and backslash", "we\"ird\\0", "\"we\\\"ird\\\\0\"", "we\"ird\\x5c0"},
    {"controls", "a\tb\x01\x1f", "\"a\\u0009b\\u0001\\u001f\"", "a\\x09b\\x01\\x1f"},
    {"space and DEL", "a b\x7f", "\"a b\x7f\"", "a\\x20b\\x7f"},
    {"valid UTF-8 passes", "br-\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"br-\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"",
     "br-\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"},
    {"stray byte", "if\xff", "\"if\\u00ff\"", "if\xff"},
    {"lone continuation", "\x80x", "\"\\u0080x\"", "\x80x"},
    {"overlong", "\xc0\x80", "\"\\u00c0\\u0080\"", "\xc0\x80"},
    {"surrogate", "\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\"", "\xed\xa0\x80"},
    {"past U+10FFFF", "\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\"", "\xf4\x90\x80\x80"},
    {"cut at the end", "x\xe2\x82", "\"x\\u00e2\\u0082\"", "x\xe2\x82"},
    {"cut before ASCII", "\xe2\x82y", "\"\\u00e2\\u0082y\"", "\xe2\x82y"},
};

// The interface field of each format: JSON escapes what JSON needs, the line
// what would break a line.
TEST_F(OutputFormat, InterfaceNamesEscapedForEachFormat) {
    const Bytes payload = MagicCopies(16);
    for (const NameCase& c : kNames) {
        const Sighting s = Sight(SightingKind::kUdp4, payload, kUdp4, {k20260307At200503Utc, 0}, c.interfaceName);
        const std::string json = Json(s);
        const auto start = json.find("\"interface\":") + 12;
        EXPECT_EQ(json.substr(start, json.find(",\"kind\"") - start), c.json) << c.name;
        const std::string line = Line(s);
        EXPECT_EQ(line.substr(16, line.find(" udp4 ") - 16), c.line) << c.name;
    }
}

// Every buffer size from 0 past the needed one: a failure until the text
// fits, the whole text once it does, and no byte written past `size`.
TEST_F(OutputFormat, NeverWritesPastTheBufferAndFailsWhenTooSmall) {
    const Bytes payload = MagicCopies(16, Counting(6));
    const Sighting s = Sight(SightingKind::kUdp4, payload, kUdp4, {k20260307At200503Utc, 7}, "we\"ird\xff");
    for (auto format : {FormatSightingLine, FormatSightingJson}) {
        const std::string whole = format == FormatSightingLine ? Line(s) : Json(s);
        for (int size = 0; size <= static_cast<int>(whole.size()) + 1; ++size) {
            std::vector<char> text(static_cast<std::size_t>(size) + 8, '#');
            const int length = format(s, text.data(), size);
            if (size > static_cast<int>(whole.size())) {
                EXPECT_EQ(length, static_cast<int>(whole.size()));
                EXPECT_EQ(std::string(text.data()), whole);
            } else {
                EXPECT_EQ(length, -1) << size;
                if (size > 0) EXPECT_EQ(text[0], '\0') << size;
            }
            EXPECT_EQ(std::string(text.begin() + size, text.end()), "########") << size;
        }
    }
}

std::string HexOf(const unsigned char* bytes, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += packet::Hex(bytes[i]);
    return out.empty() ? "-" : out;
}

const char* const kRunInterfaces[] = {"eth0", "we\"ird\\if\xff", "br-\xc3\xa9x", "tab\tname", "wlan0"};

// One tab-separated line per sighting with what its json object must hold.
std::string Expectation(const Sighting& s) {
    const bool udp = s.kind != SightingKind::kEther;
    const char* kinds[] = {"udp4", "udp6", "ether"};
    std::string row = HexOf(reinterpret_cast<const unsigned char*>(s.interfaceName),
                            static_cast<int>(std::string(s.interfaceName).size()));
    row += std::string("\t") + kinds[static_cast<int>(s.kind)] + "\t" + s.source + "\t" + s.destination;
    for (int value : {s.sourcePort, s.destinationPort, s.udpLength, s.udpChecksum})
        row += "\t" + (udp ? std::to_string(value) : std::string("-"));
    char mac[kMacTextSize];
    FormatMacAddress(s.targetMac, s.targetMacBytes, mac);
    row += std::string("\t") + mac + "\t" + std::to_string(s.verdict.repetitions);
    row += "\t" + (s.password == nullptr ? std::string("-") : HexOf(s.password, s.verdict.passwordLength));
    row += std::string("\t") + (s.verdict.wellFormed ? "1" : "0") + "\t" + HexOf(s.payload, s.payloadLength);
    row += std::string("\t") + (s.truncated ? "1" : "0") + "\t" + std::to_string(s.time.seconds) + "\t" +
           std::to_string(s.time.microseconds);
    return row + "\n";
}

// Varied packets: all three kinds, every interface name, broken copies,
// passwords of 0 to 7 bytes, cut payloads, and times either side of summer time.
Bytes RunPayload(int i) {
    const int copies = i % 5 == 0 ? i % 17 : 16;
    Bytes payload = MagicCopies(copies, copies < 16 ? kGarbage : Counting(i % 8));
    if (i % 11 == 0) payload.resize(payload.size() / 2);
    return payload;
}

TEST_F(OutputFormat, EveryJsonLineOfARunReadsBackInPython) {
    constexpr int kRunLength = 300;
    const Endpoints endpoints[] = {kUdp4, kUdp6, kEther};
    const std::string base = ::testing::TempDir() + "lumora_json_" + std::to_string(getpid());
    std::ofstream lines(base + ".jsonl", std::ios::binary);
    std::ofstream expected(base + ".tsv", std::ios::binary);
    for (int i = 0; i < kRunLength; ++i) {
        const Bytes payload = RunPayload(i);
        const SightingKind kind = static_cast<SightingKind>(i % 3);
        Sighting s = Sight(kind, payload, endpoints[i % 3],
                           {k20260307At200503Utc + i * 86400LL + i, (i * 7919) % 1000000},
                           kRunInterfaces[i % 5]);
        s.udpChecksum = (i * 331) % 65536;
        s.truncated = i % 11 == 0;
        lines << Json(s);
        expected << Expectation(s);
    }
    lines.close();
    expected.close();
    const std::string command = std::string("python3 ") + LUMORA_JSON_CHECK + " " + base + ".jsonl " + base + ".tsv";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::remove((base + ".jsonl").c_str());
    std::remove((base + ".tsv").c_str());
}

}  // namespace
