// lumora -D and lumora --list-hints.
#include <cstdio>

#include "analysis/hints.h"
#include "linux/capture/capture.h"
#include "linux/program/commands.h"

namespace {

constexpr int kHintLineSize = 1024;  // the longest advice, its subjects named

}  // namespace

int RunListInterfaces() {
    const Written written = ListInterfaces();
    return written == Written::kFailed ? kExitFailure : kExitOk;
}

// Each code and what to do, the subjects named as in the manual.
int RunListHints() {
    Written written = Written::kWhole;
    for (int i = 0; i < kHintCount && written == Written::kWhole; ++i) {
        const HintInfo& info = kHints[i];
        Hint hint{info.code, {}, {}};
        std::snprintf(hint.first, sizeof hint.first, "%s", info.first);
        std::snprintf(hint.second, sizeof hint.second, "%s", info.second);
        char advice[kHintLineSize];
        ExpandHintText(info.advice, hint, advice, sizeof advice);
        char line[kHintLineSize + kHintSubjectSize];
        const int length = std::snprintf(line, sizeof line, "%s\t%s\n", info.name, advice);
        written = PrintOut(line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1);
    }
    return ExitStatusOf(written);
}
