#include "capture/capture_worker.h"

#include <winsock2.h>

#include <cstdlib>

#include "analysis/magic_packet.h"

std::uint8_t CaptureWorker(WorkerContext* ctx) {
    const SOCKET capture = *static_cast<const SOCKET*>(ctx->GetUserData());
    // Taken once per run: nothing is allocated per datagram.
    char* datagram = static_cast<char*>(std::malloc(kReportBufferSize));
    char* report = static_cast<char*>(std::malloc(kReportBufferSize));
    if (datagram == nullptr || report == nullptr) {
        std::free(datagram);
        std::free(report);
        return 0;
    }
    int received = 0;
    do {
        received = recvfrom(capture, datagram, kReportBufferSize, 0, nullptr, nullptr);
        if (received > 0 &&
            FormatMagicPacketReport(report, reinterpret_cast<const unsigned char*>(datagram), received))
            ctx->PostText(report);
    } while (received > 0);
    std::free(datagram);
    std::free(report);
    return 1;
}
