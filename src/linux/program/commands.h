// lumora's commands, one file each, in the manner of ethtool: main picks the
// one the command line asks for and returns what it returns.
#pragma once

#include "analysis/machine_facts.h"
#include "linux/capture/output.h"
#include "linux/program/options.h"

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitTimedOut = 3;  // no magic packet came in time
inline constexpr int kExitNoSign = 4;    // --until-awake: a magic packet came, no sign of waking

// Reports magic packets, live or from a file (capture_command.cpp).
int RunCapture(const Options& options);

// Says whether each card would wake this machine; 0 when one would
// (check_command.cpp).
int RunCheck(const Options& options);

// Answers per wake attempt from lumora's records (merge_command.cpp).
int RunMergeCommand(const Options& options);

// -D and --list-hints (list_commands.cpp).
int RunListInterfaces();
int RunListHints();

struct ReadinessPrinted {
    int wakes;       // interfaces that would wake the machine
    Written written;
};

// The readiness of the interfaces `device` names (nullptr: each one that is
// up and not loopback), in `format` (line or json) on standard output, or as
// lumora's own lines on standard error; interfaces with no device behind
// them share one line, unless named. --check, and the lines a live capture
// starts with (check_command.cpp).
ReadinessPrinted PrintReadiness(const LocalInterfaces& interfaces, const char* device, OutputFormat format,
                                bool toStandardError);
