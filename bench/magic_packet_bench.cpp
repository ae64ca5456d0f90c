// The sync-stream search against one memchr pass over the same bytes, and
// the cost of a whole report.
#include "analysis/magic_packet.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kIpAndUdpHeaders = 28;
constexpr int kEthernetUdpPayload = 1472;
constexpr int kLargestUdpPayload = 65507;
constexpr unsigned char kSyncByte = 0xFF;

// Uniform random bytes, like encrypted traffic; with a fixed seed so runs compare.
std::vector<unsigned char> RandomDatagram(int payload) {
    std::mt19937 random(20261206);
    std::vector<unsigned char> d(static_cast<std::size_t>(kIpAndUdpHeaders + payload));
    for (auto& b : d) b = static_cast<unsigned char>(random());
    d[0] = 0x45;
    d[9] = 17;
    return d;
}

// The floor: visiting every 0xFF of the payload with memchr.
void BM_MemchrPass(benchmark::State& state) {
    const auto d = RandomDatagram(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const unsigned char* p = d.data() + kIpAndUdpHeaders;
        const unsigned char* end = d.data() + d.size();
        int hits = 0;
        while (p < end) {
            const void* hit = std::memchr(p, kSyncByte, static_cast<std::size_t>(end - p));
            if (hit == nullptr) break;
            ++hits;
            p = static_cast<const unsigned char*>(hit) + 1;
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * state.range(0));
}

void BM_SyncSearch(benchmark::State& state) {
    const auto d = RandomDatagram(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindSyncStream(d.data(), kIpAndUdpHeaders, static_cast<int>(d.size())));
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * state.range(0));
}

void BM_RandomUdpDatagram(benchmark::State& state) {
    auto d = RandomDatagram(static_cast<int>(state.range(0)));
    // Make sure no stray run of six 0xFF turns it into a report.
    for (std::size_t i = kIpAndUdpHeaders + 5; i < d.size(); i += 6) d[i] &= 0x7F;
    std::vector<char> report(kReportBufferSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatMagicPacketReport(report.data(), d.data(), static_cast<int>(d.size())));
    }
}

void BM_NonUdpDatagram(benchmark::State& state) {
    auto d = RandomDatagram(kLargestUdpPayload);
    d[9] = 6;
    std::vector<char> report(kReportBufferSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatMagicPacketReport(report.data(), d.data(), static_cast<int>(d.size())));
    }
}

void BM_ClassicReport(benchmark::State& state) {
    std::vector<unsigned char> d(kIpAndUdpHeaders, 0);
    d[0] = 0x45;
    d[9] = 17;
    d[23] = 9;
    d[25] = 110;
    d.insert(d.end(), 6, kSyncByte);
    const unsigned char mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    for (int i = 0; i < 16; ++i) d.insert(d.end(), mac, mac + 6);
    std::vector<char> report(kReportBufferSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatMagicPacketReport(report.data(), d.data(), static_cast<int>(d.size())));
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_MemchrPass)->Arg(kEthernetUdpPayload)->Arg(kLargestUdpPayload);
BENCHMARK(BM_SyncSearch)->Arg(kEthernetUdpPayload)->Arg(kLargestUdpPayload);
BENCHMARK(BM_RandomUdpDatagram)->Arg(kEthernetUdpPayload)->Arg(kLargestUdpPayload);
BENCHMARK(BM_NonUdpDatagram);
BENCHMARK(BM_ClassicReport);

BENCHMARK_MAIN();
