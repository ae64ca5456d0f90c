#include "linux/stop_signals.h"

#include "linux/diagnostics.h"

#include <signal.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM};

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

}  // namespace

// No SA_RESTART: a signal interrupts poll() and write() at once, and the
// loop sees the request before it waits again.
bool CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signalNumber : kStopSignals) {
        if (sigaction(signalNumber, &action, nullptr) != 0) {
            PrintMessage("cannot catch signal %d: %s", signalNumber, std::strerror(errno));
            return false;
        }
    }
    return true;
}

bool StopRequested() { return stopRequested != 0; }
