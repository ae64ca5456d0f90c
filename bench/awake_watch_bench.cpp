// What "did it wake?" costs each captured frame: classifying it and noting
// its sender, for one sender (the flood's), for a LAN's worth and for more
// senders than the table holds, with and without attempts waiting.
#include "analysis/awake_watch.h"
#include "analysis/wake_signs.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kEtherTypeIpv4 = 0x0800;
constexpr int kFloodPayload = 64;    // bench/flood_sender's filler datagrams
constexpr int kEthernetPayload = 1472;
constexpr int kIpAndUdpHeaders = 28;
constexpr int kOpenAttempts = 4;
constexpr int kMacLength = 6;
constexpr WatchTime kFrameGap = 2;  // microseconds: the flood's rate

// A UDP datagram with a true total length and a random payload with no sync
// stream in it, from port 50000 to port 9.
std::vector<unsigned char> Datagram(int payload) {
    std::mt19937 random(20261206);
    std::vector<unsigned char> d(static_cast<std::size_t>(kIpAndUdpHeaders + payload));
    for (auto& b : d) b = static_cast<unsigned char>(random() & 0x7F);
    const std::vector<unsigned char> headers = {0x45, 0, static_cast<unsigned char>(d.size() >> 8),
                                                static_cast<unsigned char>(d.size()), 0, 0, 0x40, 0, 64, 17, 0, 0,
                                                10, 99, 0, 1, 10, 99, 0, 2, 0xC3, 0x50, 0, 9};
    std::copy(headers.begin(), headers.end(), d.begin());
    return d;
}

std::vector<unsigned char> Senders(int count) {
    std::mt19937 random(7);
    std::vector<unsigned char> macs(static_cast<std::size_t>(count) * kMacLength);
    for (auto& b : macs) b = static_cast<unsigned char>(random());
    return macs;
}

void Ignore(const WakeOutcomeRecord&, void*) {}

// The per-frame path: classify a frame the dispatch found no magic packet
// in, and note its sender. range(0): distinct senders; range(1): attempts
// waiting for other MACs.
void BM_NoteFrame(benchmark::State& state) {
    const auto frame = Datagram(kFloodPayload);
    const auto senders = Senders(static_cast<int>(state.range(0)));
    const auto watch = std::make_unique<AwakeWatch>();
    StartAwakeWatch(watch.get(), kDefaultAwakeWindow, Ignore, nullptr);
    const auto targets = Senders(static_cast<int>(state.range(1)) + 1);
    for (int i = 1; i <= state.range(1); ++i) NoteMagicPacket(watch.get(), &targets[i * kMacLength], 0, "eth0");
    WatchTime now = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        WakeSignSource source;
        const WakeSign sign =
            ClassifyNonMagicFrame(kEtherTypeIpv4, frame.data(), static_cast<int>(frame.size()), &source);
        NoteWakeSign(watch.get(), &senders[next], now += kFrameGap, sign, source);
        next = next + kMacLength < senders.size() ? next + kMacLength : 0;
    }
}

// The classification alone, with the sync-stream search a caller without
// the dispatch's answer needs.
void BM_ClassifyWithSearch(benchmark::State& state) {
    const auto frame = Datagram(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        WakeSignSource source;
        benchmark::DoNotOptimize(
            ClassifyWakeSign(kEtherTypeIpv4, frame.data(), static_cast<int>(frame.size()), &source));
    }
}

}  // namespace

BENCHMARK(BM_NoteFrame)->Args({1, 0})->Args({1, kOpenAttempts})->Args({1000, 0})->Args({1000, kOpenAttempts})
    ->Args({100000, 0});
BENCHMARK(BM_ClassifyWithSearch)->Arg(kFloodPayload)->Arg(kEthernetPayload);

BENCHMARK_MAIN();
