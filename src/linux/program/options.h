// The command line, in the manner of tcpdump: options, then an optional
// filter expression (or --merge's files). One table says which options each
// command takes, their limits and defaults.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/awake_watch.h"
#include "base/mac_text.h"
#include "linux/capture/direction.h"
#include "records/sighting_forms.h"

// What lumora is asked to do: one command a run.
enum class Mode : std::uint8_t {
    kCapture,         // the default: report magic packets, live or from -r
    kCheck,           // --check
    kMerge,           // --merge
    kListInterfaces,  // -D
    kListHints,       // --list-hints
};

struct Options {
    Mode mode = Mode::kCapture;
    const char* device = nullptr;     // -i; nullptr: every interface
    const char* readFile = nullptr;   // -r: a capture file, "-" standard input
    const char* writeFile = nullptr;  // -w: the pcap file of reported frames
    const char* user = nullptr;       // -Z: whom to run as after start-up
    bool promiscuous = false;
    bool filterMac = false;  // --mac: only magic packets for `mac`
    MacAddress mac{};
    OutputFormat format = OutputFormat::kReport;
    Direction direction = Direction::kIn;
    long count = 0;    // reports before exiting; 0: until stopped
    long timeout = 0;  // --timeout: seconds of live capture; 0: no limit
    long awakeWindow = kDefaultAwakeWindow / kMicrosecondsPerSecond;  // --awake-window, seconds
    bool untilAwake = false;  // --until-awake: end at the --mac target's outcome
    long gap = 0;             // --gap: seconds between an attempt's packets
    const char* event = nullptr;  // --event: --check writes readiness records for this sleep or shutdown
    std::string expression;   // the filter expression, words joined by spaces
    char** files = nullptr;   // --merge's files, from the words after the options
    int fileCount = 0;
};

enum class OptionsOutcome {
    kRun,       // run options.mode
    kDone,      // help or version printed: exit with success
    kBadUsage,  // a one-line error printed: exit with 2
};

// Every option is checked before any is acted on, so their order never
// changes the outcome.
OptionsOutcome ParseOptions(int argc, char** argv, Options* options);
