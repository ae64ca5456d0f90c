// lumora --merge [--format line|json] [--gap SECONDS] [FILE...]: the records
// of many lumoras (their json lines, or `journalctl -o json` on a collector)
// read in one pass and answered per wake attempt: woke, already_awake,
// no_wake, lost or unknown, and why.
//
// Files are read side by side, the record with the earliest time first, so
// one file per host merges as one journal does. Each attempt is printed as
// it closes; then, in the line form, one closing count ("lumora: 3 wake
// attempts: 1 woke, 1 no_wake, 1 lost"), which the json form writes to
// standard error so that `out` stays JSON Lines. Lines that hold no lumora
// record are skipped and counted on standard error; a damaged one is named
// there by file and number, and skipped. A stop signal ends the reading as
// the end of the input would.
#pragma once

#include "merge/attempts.h"

constexpr int kMergeMaxFiles = 64;

struct MergeOptions {
    bool json = false;
    long gapSeconds = kMergeDefaultGapSeconds;  // 1 to kMergeMaxGapSeconds, as the options check
    const char* const* files = nullptr;  // "-" is standard input, at most once; none: standard input
    int fileCount = 0;                   // at most kMergeMaxFiles
};

// The attempts go to descriptor `out` (standard output for lumora). 0, or
// 1 when a file could not be read or `out` not written.
int RunMerge(const MergeOptions& options, int out);
