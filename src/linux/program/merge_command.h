// lumora --merge [--format line|json] [--gap SECONDS] [FILE...]: the records
// of many lumoras (their json lines, or `journalctl -o json` on a collector)
// read in one pass and answered per wake attempt: woke, already_awake,
// no_wake, lost or unknown, and why.
//
// Files are read side by side, the record with the earliest time first, so
// one file per host merges as one journal does. Each attempt is printed as
// it closes; then, in the line form, one closing count ("lumora: 3 wake
// attempts: 1 woke, 1 no_wake, 1 lost"), which the json form writes to
// `err` so that `out` stays JSON Lines. Lines that hold no lumora record
// are skipped and counted on `err`; a damaged one is named there by file
// and number, and skipped.
#pragma once

#include "merge/attempts.h"

#include <cstdio>

enum class MergeFormat { kLine, kJson };

constexpr int kMergeMaxFiles = 64;

struct MergeOptions {
    MergeFormat format = MergeFormat::kLine;
    long gapSeconds = kMergeDefaultGapSeconds;  // 1 to kMergeMaxGapSeconds
    const char* const* files = nullptr;  // "-" is standard input; none: standard input
    int fileCount = 0;                   // at most kMergeMaxFiles
};

constexpr int kMergeExitOk = 0;
constexpr int kMergeExitFailure = 1;  // a file could not be read, or `out` not written
constexpr int kMergeExitUsage = 2;    // options out of range, said on `err`

int RunMerge(const MergeOptions& options, std::FILE* out, std::FILE* err);
