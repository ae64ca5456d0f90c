// The signal handlers that end a capture, and --timeout's alarm.
#include "linux/capture/stop_signals.h"

#include "linux/capture/diagnostics.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t timeRanOut = 0;
pcap_t* volatile capture = nullptr;

// pcap_breakloop() may be called from a signal handler: it wakes libpcap's
// wait even when the signal came just before it.
void OnStopSignal(int) {
    stopRequested = 1;
    pcap_t* handle = capture;
    if (handle != nullptr) pcap_breakloop(handle);
}

void OnAlarm(int signalNumber) {
    timeRanOut = 1;
    OnStopSignal(signalNumber);
}

bool Install(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    if (sigaction(signalNumber, &action, nullptr) == 0) return true;
    PrintMessage("cannot catch signal %d: %s", signalNumber, std::strerror(errno));
    return false;
}

}  // namespace

// No SA_RESTART: a signal interrupts write() at once, and the loop sees the
// request before it waits again.
bool CatchStopSignals() {
    for (const int signalNumber : kStopSignals)
        if (!Install(signalNumber, OnStopSignal)) return false;
    return Install(SIGPIPE, SIG_IGN);
}

void StopCaptureOnSignal(pcap_t* handle) { capture = handle; }

bool StopRequested() { return stopRequested != 0; }

bool StopAfter(long seconds) {
    if (!Install(SIGALRM, OnAlarm)) return false;
    alarm(static_cast<unsigned>(seconds));
    return true;
}

bool TimeRanOut() { return timeRanOut != 0; }
