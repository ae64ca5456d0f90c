// The command line, in the manner of tcpdump: options, then an optional
// filter expression.
#pragma once

#include "analysis/awake_watch.h"
#include "linux/capture/capture.h"
#include "base/mac_text.h"
#include "merge/attempts.h"
#include "records/sighting_forms.h"

#include <string>

struct Options {
    const char* device = nullptr;  // -i; nullptr: every interface
    const char* readFile = nullptr;   // -r: a capture file, "-" standard input
    const char* writeFile = nullptr;  // -w: the pcap file of reported frames
    const char* user = nullptr;       // -Z: whom to run as after start-up
    bool promiscuous = false;
    bool filterMac = false;  // --mac: only magic packets for `mac`
    MacAddress mac{};
    OutputFormat format = OutputFormat::kReport;
    Direction direction = Direction::kIn;
    bool listInterfaces = false;  // -D
    long count = 0;  // reports before exiting; 0: until stopped
    long timeout = 0;  // --timeout: seconds of live capture; 0: no limit
    long awakeWindow = kDefaultAwakeWindow / kMicrosecondsPerSecond;  // --awake-window, seconds
    bool untilAwake = false;  // --until-awake: end at the --mac target's outcome
    bool merge = false;      // --merge: answer per wake attempt from records
    long gap = kMergeDefaultGapSeconds;  // --gap: seconds between an attempt's packets
    bool check = false;      // --check: print the cards' readiness and exit
    bool listHints = false;  // --list-hints
    std::string expression;  // the filter expression, words joined by spaces
    char** files = nullptr;  // --merge's files, from the words after the options
    int fileCount = 0;
};

enum class OptionsOutcome {
    kRun,        // capture (or list the interfaces) with the options
    kDone,       // help or version printed: exit with success
    kBadUsage,   // a one-line error printed: exit with kExitUsage
};

// Every option is checked before any is acted on, so their order never
// changes the outcome.
OptionsOutcome ParseOptions(int argc, char** argv, Options* options);
