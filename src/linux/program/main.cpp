// lumora: prints a report for every Wake-on-LAN magic packet this Linux
// machine receives, or a capture file holds, and whether it would wake this
// machine; or runs one of its other commands.
#include "linux/capture/diagnostics.h"
#include "linux/capture/standard_streams.h"
#include "linux/capture/stop_signals.h"
#include "linux/program/commands.h"
#include "linux/program/options.h"

namespace {

int RunCommand(const Options& options) {
    switch (options.mode) {
        case Mode::kCapture: return RunCapture(options);
        case Mode::kCheck: return RunCheck(options);
        case Mode::kMerge: return RunMergeCommand(options);
        case Mode::kListInterfaces: return RunListInterfaces();
        case Mode::kListHints: return RunListHints();
    }
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    const StandardStreams streams = SecureStandardStreams();
    if (streams == StandardStreams::kFailed) return kExitFailure;
    if (streams == StandardStreams::kOutputClosed) {
        PrintMessage("standard output is closed: nowhere to print the reports");
        return kExitFailure;
    }
    if (!CatchStopSignals()) return kExitFailure;
    Options options;
    const OptionsOutcome outcome = ParseOptions(argc, argv, &options);
    if (outcome == OptionsOutcome::kDone) return kExitOk;
    if (outcome == OptionsOutcome::kBadUsage) return kExitUsage;
    return RunCommand(options);
}
