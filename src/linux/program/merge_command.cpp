#include "linux/program/merge_command.h"

#include "merge/forms.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// A whole line, and a chunk to read in after it. read(2), not stdio: on a
// pipe (journalctl -f) it returns what has come, so attempts print as they
// close rather than when a buffer fills.
constexpr std::size_t kReadChunk = 256 * 1024;
constexpr std::size_t kReadBufferSize = kMergeMaxLine + kReadChunk;
constexpr long kDamagedNamed = 100;  // then only counted, so a wrong file does not flood the terminal
constexpr std::size_t kBytesPerKiB = 1024;
constexpr char kStandardInput[] = "-";

struct Input {
    const char* name;
    int fd;  // -1 once read to its end, or failed
    char* buffer;  // kReadBufferSize and the parser's padding
    std::size_t start;
    std::size_t end;
    long line;
    bool atEnd;
    bool tooLong;  // inside a line longer than kMergeMaxLine
    bool pending;  // `record` holds its next record
    MergeRecord record;
};

struct Run {
    MergeBook book;
    MergeParser* parser;
    MergeFormat format;
    std::FILE* out;
    std::FILE* err;
    Input inputs[kMergeMaxFiles];
    int inputCount;
    bool failed;
    long verdicts[kMergeVerdictCount];
    long foreign;
    long binary;
    long withheld;
    long damaged;
    char why[kMergeWhySize];
    char text[kMergeAttemptTextSize];
};

const char* Label(const Input& input) {
    return std::strcmp(input.name, kStandardInput) == 0 ? "standard input" : input.name;
}

// --- the attempts, as they close ---

void EmitAttempt(void* context, const MergeAttempt& attempt) {
    Run* run = static_cast<Run*>(context);
    const MergeHintNames& names = run->book.hintNames;
    const MergeVerdict verdict = JudgeMergeAttempt(attempt, names, run->why, sizeof run->why);
    ++run->verdicts[static_cast<int>(verdict)];
    const int length = run->format == MergeFormat::kJson
        ? FormatMergeAttemptJson(attempt, names, verdict, run->why, run->text, sizeof run->text)
        : FormatMergeAttemptLine(attempt, names, verdict, run->why, run->text, sizeof run->text);
    if (length < 0) {
        std::fprintf(run->err, "lumora: a wake attempt too long to print\n");
        return;
    }
    std::fwrite(run->text, 1, static_cast<std::size_t>(length), run->out);
}

// --- reading lines ---

void Report(Run* run, const Input& input, const char* what, const char* detail) {
    if (++run->damaged > kDamagedNamed) return;
    std::fprintf(run->err, "lumora: %s, line %ld: %s%s%s%s; skipped\n", Label(input), input.line, what,
                 detail[0] != '\0' ? " (" : "", detail, detail[0] != '\0' ? ")" : "");
}

void StopInput(Input* input) {
    if (input->fd >= 0 && std::strcmp(input->name, kStandardInput) != 0) close(input->fd);
    input->fd = -1;
    input->atEnd = true;
}

// More bytes after what is held, moved to the front first. What is printed
// goes out before a read that may wait.
void Fill(Run* run, Input* input) {
    std::memmove(input->buffer, input->buffer + input->start, input->end - input->start);
    input->end -= input->start;
    input->start = 0;
    std::fflush(run->out);
    ssize_t count;
    do {
        count = read(input->fd, input->buffer + input->end, kReadBufferSize - input->end);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        std::fprintf(run->err, "lumora: cannot read %s: %s\n", Label(*input), std::strerror(errno));
        run->failed = true;
    }
    if (count <= 0) {
        StopInput(input);
        return;
    }
    input->end += static_cast<std::size_t>(count);
}

// The next whole line (the last may lack its '\n'); false at the end.
bool NextLine(Run* run, Input* input, const char** line, std::size_t* length) {
    for (;;) {
        char* held = input->buffer + input->start;
        const std::size_t count = input->end - input->start;
        char* newline = static_cast<char*>(std::memchr(held, '\n', count));
        if (newline != nullptr || (input->atEnd && count > 0)) {
            *line = held;
            *length = newline != nullptr ? static_cast<std::size_t>(newline - held) : count;
            input->start += *length + (newline != nullptr ? 1 : 0);
            ++input->line;
            return true;
        }
        if (input->atEnd) return false;
        if (count >= kMergeMaxLine) {
            input->tooLong = true;  // its bytes go; the line is named once its end comes
            input->start = input->end;
        }
        Fill(run, input);
    }
}

void Classify(Run* run, Input* input, MergeLineKind kind, const MergeProblem& problem) {
    switch (kind) {
        case MergeLineKind::kRecord: input->pending = true; return;
        case MergeLineKind::kBlank: return;
        case MergeLineKind::kForeign: ++run->foreign; return;
        case MergeLineKind::kBinary: ++run->binary; return;
        case MergeLineKind::kWithheld: ++run->withheld; return;
        case MergeLineKind::kDamaged: Report(run, *input, problem.what, problem.detail); return;
    }
}

void ReportTooLong(Run* run, Input* input) {
    char limit[sizeof "over 18446744073709551615 KiB"];
    std::snprintf(limit, sizeof limit, "over %zu KiB", kMergeMaxLine / kBytesPerKiB);
    input->tooLong = false;
    Report(run, *input, "a line too long to read", limit);
}

// Reads lines until the input holds its next record, or has none.
void Advance(Run* run, Input* input) {
    const char* line = nullptr;
    std::size_t length = 0;
    while (!input->pending && NextLine(run, input, &line, &length)) {
        if (input->tooLong || length > kMergeMaxLine) {
            ReportTooLong(run, input);  // whole, or the tail of one whose head is gone
            continue;
        }
        MergeProblem problem{"", ""};
        const MergeLineKind kind = ParseMergeLine(run->parser, line, length, &input->record, &problem);
        Classify(run, input, kind, problem);
    }
    if (!input->tooLong) return;
    ++input->line;  // the input ended inside it
    ReportTooLong(run, input);
}

// The input whose next record is earliest, or nullptr when all are done.
Input* Earliest(Run* run) {
    Input* earliest = nullptr;
    for (int i = 0; i < run->inputCount; ++i) {
        Input* input = &run->inputs[i];
        if (input->pending && (earliest == nullptr || input->record.instant < earliest->record.instant))
            earliest = input;
    }
    return earliest;
}

// --- setting up ---

bool OpenInput(Run* run, const char* name) {
    Input* input = &run->inputs[run->inputCount];
    input->name = name;
    input->fd = std::strcmp(name, kStandardInput) == 0 ? STDIN_FILENO : open(name, O_RDONLY | O_CLOEXEC);
    if (input->fd < 0) {
        std::fprintf(run->err, "lumora: cannot read %s: %s\n", name, std::strerror(errno));
        run->failed = true;
        return true;
    }
    input->buffer = static_cast<char*>(std::malloc(kReadBufferSize + kMergeLinePadding));
    if (input->buffer == nullptr) {
        close(input->fd);
        return false;
    }
    ++run->inputCount;
    return true;
}

bool CheckOptions(const MergeOptions& options, std::FILE* err) {
    if (options.gapSeconds < 1 || options.gapSeconds > kMergeMaxGapSeconds) {
        std::fprintf(err, "lumora: --gap takes 1 to %ld seconds\n", kMergeMaxGapSeconds);
        return false;
    }
    if (options.fileCount > kMergeMaxFiles) {
        std::fprintf(err, "lumora: --merge reads at most %d files at once\n", kMergeMaxFiles);
        return false;
    }
    int standardInputs = 0;
    for (int i = 0; i < options.fileCount; ++i) standardInputs += std::strcmp(options.files[i], kStandardInput) == 0;
    if (standardInputs > 1) {
        std::fprintf(err, "lumora: --merge reads standard input once\n");
        return false;
    }
    return true;
}

bool OpenInputs(Run* run, const MergeOptions& options) {
    if (options.fileCount == 0) return OpenInput(run, kStandardInput);
    for (int i = 0; i < options.fileCount; ++i)
        if (!OpenInput(run, options.files[i])) return false;
    return true;
}

void FreeRun(Run* run) {
    for (int i = 0; i < run->inputCount; ++i) {
        StopInput(&run->inputs[i]);
        std::free(run->inputs[i].buffer);
    }
    FreeMergeParser(run->parser);
    std::free(run);
}

// --- the end ---

const char* Plural(long count, const char* one, const char* more) { return count == 1 ? one : more; }

void ReportSkips(const Run& run) {
    if (run.foreign > 0)
        std::fprintf(run.err, "lumora: skipped %ld %s no lumora record\n", run.foreign,
                     Plural(run.foreign, "line that holds", "lines that hold"));
    if (run.binary > 0)
        std::fprintf(run.err, "lumora: skipped %ld journal %s MESSAGE is not text\n", run.binary,
                     Plural(run.binary, "entry whose", "entries whose"));
    if (run.withheld > 0)
        std::fprintf(run.err,
                     "lumora: skipped %ld journal %s MESSAGE journalctl left out as too long: journalctl -o json "
                     "--all prints it whole\n",
                     run.withheld, Plural(run.withheld, "entry whose", "entries whose"));
    if (run.damaged == 0) return;
    std::fprintf(run.err, "lumora: skipped %ld damaged %s", run.damaged, Plural(run.damaged, "line", "lines"));
    if (run.damaged > kDamagedNamed) std::fprintf(run.err, ", the first %ld named above", kDamagedNamed);
    std::fputc('\n', run.err);
}

void ReportLimits(const Run& run) {
    const MergeBook& book = run.book;
    if (book.closedEarly > 0)
        std::fprintf(run.err, "lumora: %ld wake attempts closed early: more than %d were open at once\n",
                     book.closedEarly, kMergeMaxOpen);
    if (book.crowdedAttempts > 0)
        std::fprintf(run.err,
                     "lumora: %ld wake attempts had more than %d senders or %d monitors: the rest count as packets "
                     "only\n",
                     book.crowdedAttempts, kMergeMaxSenders, kMergeMaxMonitors);
    if (book.hintsDropped > 0)
        std::fprintf(run.err, "lumora: %ld hint codes left out: more than %d different ones\n", book.hintsDropped,
                     kMergeHintNames);
}

int Finish(Run* run) {
    CloseMergeBook(&run->book);
    const int length = FormatMergeSummary(run->verdicts, run->text, sizeof run->text);
    if (length > 0) std::fputs(run->text, run->format == MergeFormat::kJson ? run->err : run->out);
    ReportSkips(*run);
    ReportLimits(*run);
    if (std::fflush(run->out) != 0 || std::ferror(run->out)) {
        std::fprintf(run->err, "lumora: cannot write the wake attempts: %s\n", std::strerror(errno));
        run->failed = true;
    }
    return run->failed ? kMergeExitFailure : kMergeExitOk;
}

}  // namespace

int RunMerge(const MergeOptions& options, std::FILE* out, std::FILE* err) {
    if (!CheckOptions(options, err)) return kMergeExitUsage;
    Run* run = static_cast<Run*>(std::calloc(1, sizeof(Run)));
    MergeParser* parser = NewMergeParser();
    if (run == nullptr || parser == nullptr) {
        std::free(run);
        FreeMergeParser(parser);
        std::fprintf(err, "lumora: not enough memory to merge\n");
        return kMergeExitFailure;
    }
    run->parser = parser;
    run->format = options.format;
    run->out = out;
    run->err = err;
    StartMergeBook(&run->book, options.gapSeconds, EmitAttempt, run);
    if (!OpenInputs(run, options)) {
        std::fprintf(err, "lumora: not enough memory to merge\n");
        FreeRun(run);
        return kMergeExitFailure;
    }
    for (int i = 0; i < run->inputCount; ++i) Advance(run, &run->inputs[i]);
    for (Input* input = Earliest(run); input != nullptr; input = Earliest(run)) {
        AddMergeRecord(&run->book, input->record);
        input->pending = false;
        Advance(run, input);
    }
    const int status = Finish(run);
    FreeRun(run);
    return status;
}
