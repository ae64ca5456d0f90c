// lumora: prints a report for every Wake-on-LAN magic packet this Linux
// machine receives, the same report the Windows program shows.
#include "analysis/ethernet_wake.h"
#include "analysis/magic_packet.h"
#include "linux/capture_socket.h"
#include "linux/diagnostics.h"
#include "linux/frame_report.h"
#include "linux/options.h"
#include "linux/report_output.h"
#include "linux/stop_signals.h"

#include <unistd.h>

#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A signal that lands just before poll() is seen at the latest this late.
constexpr int kStopCheckMilliseconds = 200;

// The largest IPv4 datagram behind an Ethernet header fits whole.
constexpr int kFrameBufferSize = kEthernetHeaderLength + kReportBufferSize;

// One of each per run: nothing is allocated per packet.
unsigned char frameBuffer[kFrameBufferSize];
char reportBuffer[kReportBufferSize];

struct CaptureTotals {
    long frames = 0;
    long reports = 0;
};

void AnnounceStart(const Options& options) {
    if (options.interface == nullptr) {
        PrintMessage("listening on every interface");
        return;
    }
    PrintMessage("listening on %s%s", options.interface, options.promiscuous ? " (promiscuous)" : "");
}

// Returns when the count is reached, a stop is requested or capture failed.
bool Capture(int socket, long count, CaptureTotals* totals) {
    while (!StopRequested()) {
        FrameInfo info{};
        const ReceiveStatus status = ReceiveFrame(socket, frameBuffer, kFrameBufferSize, &info);
        if (status == ReceiveStatus::kError) return false;
        if (status == ReceiveStatus::kNothing) {
            if (!WaitForFrames(socket, kStopCheckMilliseconds)) return false;
            continue;
        }
        ++totals->frames;
        if (!FormatFrameReport(reportBuffer, frameBuffer, info)) continue;
        if (!PrintReport(reportBuffer)) return false;
        if (++totals->reports == count) return true;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const OptionsOutcome outcome = ParseOptions(argc, argv, &options);
    if (outcome == OptionsOutcome::kDone) return kExitOk;
    if (outcome == OptionsOutcome::kBadUsage) return kExitUsage;

    if (!CatchStopSignals()) return kExitFailure;
    const int socket = OpenCaptureSocket(options.interface, options.promiscuous);
    if (socket < 0) return kExitFailure;
    AnnounceStart(options);

    CaptureTotals totals;
    const bool captured = Capture(socket, options.count, &totals);
    PrintMessage("%ld frames captured, %ld magic packets reported, %ld frames dropped by the kernel", totals.frames,
                 totals.reports, KernelDrops(socket));
    close(socket);
    return captured ? kExitOk : kExitFailure;
}
