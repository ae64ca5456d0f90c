// Feeds arbitrary bytes to --merge as lines: each is parsed, its record
// grouped, and every attempt that closes judged and written in both forms,
// which must fit their buffers whole and leave them terminated.
#include "merge/forms.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr long kGapSeconds = 60;

MergeBook* book = static_cast<MergeBook*>(std::calloc(1, sizeof(MergeBook)));
MergeParser* parser = NewMergeParser();
std::vector<char> text(kMergeAttemptTextSize);

void Check(void*, const MergeAttempt& attempt) {
    char why[kMergeWhySize];
    const MergeVerdict verdict = JudgeMergeAttempt(attempt, book->hintNames, why, sizeof why);
    if (std::strlen(why) == 0) std::abort();  // every verdict says why
    const int line = FormatMergeAttemptLine(attempt, book->hintNames, verdict, why, text.data(), kMergeAttemptTextSize);
    if (line <= 0 || text[static_cast<std::size_t>(line)] != '\0') std::abort();
    const int json = FormatMergeAttemptJson(attempt, book->hintNames, verdict, why, text.data(), kMergeAttemptTextSize);
    if (json <= 0 || text[static_cast<std::size_t>(json)] != '\0') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::memset(book, 0, sizeof *book);
    StartMergeBook(book, kGapSeconds, Check, nullptr);
    const char* at = reinterpret_cast<const char*>(data);
    const char* end = at + size;
    MergeRecord record{};
    while (at < end) {
        const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
        const std::size_t length = static_cast<std::size_t>((newline != nullptr ? newline : end) - at);
        // Exact size and the padding the parser may read: nothing past it.
        std::vector<char> line(at, at + length);
        line.resize(length + kMergeLinePadding);
        MergeProblem problem{"", ""};
        if (ParseMergeLine(parser, line.data(), length, &record, &problem) == MergeLineKind::kRecord)
            AddMergeRecord(book, record);
        at += length + 1;
    }
    CloseMergeBook(book);
    return 0;
}
