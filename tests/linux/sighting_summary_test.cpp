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
#include <utility>
#include <vector>

namespace {

using packet::Bytes;

constexpr long long k20260307At200503Utc = 1772913903;
constexpr int kLineSize = 1024;

// Sixteen copies of a MAC ending in `last`.
Bytes WakeFor(unsigned char last) {
    const unsigned char mac[kMacAddressLength] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last};
    return packet::MagicPayload({}, {}, mac);
}

class Summary : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }

    void Add(const Bytes& payload, const std::string& source, long long seconds = k20260307At200503Utc) {
        Sighting s{};
        s.time = {seconds, 0};
        std::snprintf(s.source, sizeof s.source, "%s", source.c_str());
        const int length = static_cast<int>(payload.size());
        DescribeMagicPacket(payload.data(), FindSyncStream(payload.data(), 0, length), length, &s);
        CountSighting(summary.get(), s);
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        char text[kLineSize];
        for (int i = 0; i < SummaryLineCount(*summary); ++i)
            lines.push_back(FormatSummaryLine(*summary, i, text, sizeof text) < 0 ? "<failed>" : text);
        return lines;
    }

    std::unique_ptr<SightingSummary> summary = std::make_unique<SightingSummary>();
};

TEST_F(Summary, OneLinePerTargetInFirstSeenOrder) {
    Add(WakeFor(0x5E), "10.77.0.1");
    Add(WakeFor(0x01), "02:4C:55:0A:B0:01", k20260307At200503Utc + 5);
    Add(packet::MagicCopies(15), "10.77.0.2", k20260307At200503Utc + 60);
    Add(WakeFor(0x5E), "10.77.0.1", k20260307At200503Utc + 3600);
    Add(packet::MagicCopies(0, {0x00, 0x1A}), "fe80::1", k20260307At200503Utc + 7);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "00:1A:2B:3C:4D:5E: 3 magic packets, 2 well formed, first 2026-03-07 21:05:03, "
                           "last 2026-03-07 22:05:03, from 10.77.0.1, 10.77.0.2",
                           "00:1A:2B:3C:4D:01: 1 magic packet, 1 well formed, first 2026-03-07 21:05:08, "
                           "last 2026-03-07 21:05:08, from 02:4C:55:0A:B0:01",
                           "00:1A:--:--:--:--: 1 magic packet, 0 well formed, first 2026-03-07 21:05:10, "
                           "last 2026-03-07 21:05:10, from fe80::1",
                       }));
}

// Each distinct source sends twice; repeats never count as another source.
TEST_F(Summary, NamesTheFirstSourcesAndCountsTheRest) {
    const std::pair<int, std::string> cases[] = {
        {3, "from 10.0.0.0, 10.0.0.1, 10.0.0.2"},
        {4, "from 10.0.0.0, 10.0.0.1, 10.0.0.2 and 1 more"},
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
    EXPECT_EQ(summary->otherTargets, 1);
}

TEST_F(Summary, TooSmallBuffersFailWithoutOverrun) {
    Add(WakeFor(0x5E), "10.77.0.1");
    const int whole = static_cast<int>(Lines().at(0).size());
    std::vector<char> text(static_cast<std::size_t>(whole) + 4, '#');
    EXPECT_EQ(FormatSummaryLine(*summary, 0, text.data(), whole), -1);
    EXPECT_EQ(std::string(text.data()) + std::string(text.begin() + whole, text.end()), "####");
    EXPECT_EQ(FormatSummaryLine(*summary, 0, text.data(), whole + 1), whole);
    EXPECT_EQ(FormatSummaryLine(*summary, 1, text.data(), whole + 1), -1);  // no such line
}

}  // namespace
