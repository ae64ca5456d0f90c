#pragma once

#include <cstdint>

#include "ui/worker_context.h"

// The receive loop, run as the dialog's worker: every datagram read from the
// socket that ctx->GetUserData() points to is analysed, and each magic
// packet's report is handed to the log. Returns 1 when the receive ends
// (the socket was closed or failed), 0 when its buffers could not be had.
std::uint8_t CaptureWorker(WorkerContext* ctx);
