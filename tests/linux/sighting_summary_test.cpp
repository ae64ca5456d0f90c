// The end-of-run summary: a line per target in first-seen order, counts,
// times and sources, and what happens past its caps.
#include "linux/sighting_summary.h"

#include "analysis/magic_packet.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

using packet::Bytes;
using packet::MagicCopies;

constexpr long long k20260307At200503Utc = 1772913903;
constexpr int kLineSize = 1024;

// Payloads for a few targets, kept alive for the sightings that point into them.
struct Traffic {
    std::vector<Bytes> payloads;
    std::unique_ptr<SightingSummary> summary = std::make_unique<SightingSummary>();

    void Add(const Bytes& payload, const char* source, long long seconds) {
        payloads.push_back(payload);
        const Bytes& kept = payloads.back();
        Sighting s{};
        s.time = {seconds, 0};
        s.interfaceName = "eth0";
        std::snprintf(s.source, sizeof s.source, "%s", source);
        const int length = static_cast<int>(kept.size());
        DescribeMagicPacket(kept.data(), FindSyncStream(kept.data(), 0, length), length, &s);
        CountSighting(summary.get(), s);
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        char text[kLineSize];
        for (int i = 0; i < SummaryLineCount(*summary); ++i)
            lines.push_back(FormatSummaryLine(*summary, i, text, sizeof text) < 0 ? "<failed>" : text);
        return lines;
    }
};

// Sixteen copies of a MAC ending in `last`.
Bytes WakeFor(unsigned char last, int copies = 16) {
    Bytes p(6, 0xFF);
    const unsigned char mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last};
    for (int i = 0; i < copies; ++i) p.insert(p.end(), mac, mac + 6);
    return p;
}

class Summary : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    // Reserve the vector so the sightings' pointers stay valid.
    void SetUpTraffic(int packets) { traffic.payloads.reserve(static_cast<std::size_t>(packets)); }
    Traffic traffic;
};

TEST_F(Summary, OneLinePerTargetInFirstSeenOrder) {
    SetUpTraffic(8);
    traffic.Add(WakeFor(0x5E), "10.77.0.1", k20260307At200503Utc);
    traffic.Add(WakeFor(0x01), "02:4C:55:0A:B0:01", k20260307At200503Utc + 5);
    traffic.Add(WakeFor(0x5E, 15), "10.77.0.2", k20260307At200503Utc + 60);
    traffic.Add(WakeFor(0x5E), "10.77.0.1", k20260307At200503Utc + 3600);
    traffic.Add(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x1A}, "fe80::1", k20260307At200503Utc + 7);
    EXPECT_EQ(traffic.Lines(),
              (std::vector<std::string>{
                  "00:1A:2B:3C:4D:5E: 3 magic packets, 2 well formed, first 2026-03-07 21:05:03, last 2026-03-07 "
                  "22:05:03, from 10.77.0.1, 10.77.0.2",
                  "00:1A:2B:3C:4D:01: 1 magic packet, 1 well formed, first 2026-03-07 21:05:08, last 2026-03-07 "
                  "21:05:08, from 02:4C:55:0A:B0:01",
                  "00:1A:--:--:--:--: 1 magic packet, 0 well formed, first 2026-03-07 21:05:10, last 2026-03-07 "
                  "21:05:10, from fe80::1",
              }));
}

struct SourcesCase {
    int distinct;
    const char* ending;
};

// Distinct sources against what the line names; repeats never count twice.
const SourcesCase kSources[] = {
    {1, "from 10.0.0.0"},
    {3, "from 10.0.0.0, 10.0.0.1, 10.0.0.2"},
    {4, "from 10.0.0.0, 10.0.0.1, 10.0.0.2 and 1 more"},
    {kSummarySourcesKept, "from 10.0.0.0, 10.0.0.1, 10.0.0.2 and 13 more"},
    {kSummarySourcesKept + 5, "from 10.0.0.0, 10.0.0.1, 10.0.0.2 and at least 14 more"},
};

TEST_F(Summary, NamesTheFirstSourcesAndCountsTheRest) {
    for (const SourcesCase& c : kSources) {
        Traffic run;
        run.payloads.reserve(static_cast<std::size_t>(c.distinct) * 2);
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < c.distinct; ++i) {
                const std::string source = "10.0.0." + std::to_string(i);
                run.Add(WakeFor(0x5E), source.c_str(), k20260307At200503Utc);
            }
        }
        const std::vector<std::string> lines = run.Lines();
        ASSERT_EQ(lines.size(), 1u);
        const std::string ending = c.ending;
        EXPECT_EQ(lines[0].substr(lines[0].size() - std::min(ending.size(), lines[0].size())), ending) << c.distinct;
        EXPECT_NE(lines[0].find(std::to_string(c.distinct * 2) + " magic packets"), std::string::npos) << lines[0];
    }
}

TEST_F(Summary, TargetsPastTheCapShareOneLine) {
    SetUpTraffic(kSummaryMaxTargets + 3);
    for (int i = 0; i < kSummaryMaxTargets + 3; ++i)
        traffic.Add(WakeFor(static_cast<unsigned char>(i)), "10.0.0.1", k20260307At200503Utc);
    const std::vector<std::string> lines = traffic.Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kSummaryMaxTargets + 1));
    EXPECT_EQ(lines[kSummaryMaxTargets - 1].substr(0, 18), "00:1A:2B:3C:4D:3F:");
    EXPECT_EQ(lines.back(), "3 magic packets for further targets, past the 64 listed");
}

TEST_F(Summary, FailsRatherThanOverrunsAShortBuffer) {
    SetUpTraffic(1);
    traffic.Add(WakeFor(0x5E), "10.77.0.1", k20260307At200503Utc);
    char text[kLineSize];
    const int whole = FormatSummaryLine(*traffic.summary, 0, text, sizeof text);
    ASSERT_GT(whole, 0);
    std::vector<char> small(static_cast<std::size_t>(whole) + 4, '#');
    EXPECT_EQ(FormatSummaryLine(*traffic.summary, 0, small.data(), whole), -1);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(std::string(small.begin() + whole, small.end()), "####");
    EXPECT_EQ(FormatSummaryLine(*traffic.summary, 0, small.data(), whole + 1), whole);
    EXPECT_EQ(FormatSummaryLine(*traffic.summary, 1, text, sizeof text), -1);
}

}  // namespace
