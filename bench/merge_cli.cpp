// A stand-in for `lumora --merge` until lumora's options take it: the same
// engine, for the benchmark and for trying it by hand.
//   merge_cli [--format line|json] [--gap SECONDS] [FILE...]
#include "records/merge.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kDecimal = 10;

bool ParseArguments(int argc, char** argv, MergeOptions* options) {
    int i = 1;
    for (; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--format") == 0 && std::strcmp(argv[i + 1], "json") == 0)
            options->format = MergeFormat::kJson;
        else if (std::strcmp(argv[i], "--format") == 0 && std::strcmp(argv[i + 1], "line") == 0)
            options->format = MergeFormat::kLine;
        else if (std::strcmp(argv[i], "--gap") == 0)
            options->gapSeconds = std::strtol(argv[i + 1], nullptr, kDecimal);
        else
            break;
    }
    if (i < argc && std::strncmp(argv[i], "--", 2) == 0 && argv[i][2] != '\0') return false;
    options->files = argv + i;
    options->fileCount = argc - i;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    MergeOptions options;
    if (!ParseArguments(argc, argv, &options)) {
        std::fprintf(stderr, "usage: merge_cli [--format line|json] [--gap SECONDS] [FILE...]\n");
        return kMergeExitUsage;
    }
    return RunMerge(options, stdout, stderr);
}
