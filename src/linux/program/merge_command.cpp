#include "linux/program/merge_command.h"

#include "base/text_writer.h"
#include "linux/capture/diagnostics.h"
#include "linux/capture/output.h"
#include "linux/capture/stop_signals.h"
#include "linux/program/commands.h"
#include "merge/forms.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
constexpr int kSummarySize = 256;  // every verdict with a count
// Attempts go out in blocks, as the input is read in them: a write a line
// would cost a 100,000-attempt journal a tenth of its time.
constexpr int kPendingSize = 256 * 1024;

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
    bool json;
    int out;
    Written written;  // once not whole, nothing more is printed and the reading ends
    int pendingLength;  // attempts printed but not yet written out
    char pending[kPendingSize];
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

void Flush(Run* run) {
    if (run->pendingLength > 0 && run->written == Written::kWhole)
        run->written = WriteOut(run->out, run->pending, run->pendingLength);
    run->pendingLength = 0;
}

void Print(Run* run, const char* text, int length) {
    if (length > kPendingSize - run->pendingLength) Flush(run);
    if (length > kPendingSize) {
        if (run->written == Written::kWhole) run->written = WriteOut(run->out, text, length);
        return;
    }
    std::memcpy(run->pending + run->pendingLength, text, static_cast<std::size_t>(length));
    run->pendingLength += length;
}

void EmitAttempt(void* context, const MergeAttempt& attempt) {
    Run* run = static_cast<Run*>(context);
    const MergeHintNames& names = run->book.hintNames;
    const MergeVerdict verdict = JudgeMergeAttempt(attempt, names, run->why, sizeof run->why);
    ++run->verdicts[static_cast<int>(verdict)];
    if (run->written != Written::kWhole) return;
    const int length = run->json
        ? FormatMergeAttemptJson(attempt, names, verdict, run->why, run->text, sizeof run->text)
        : FormatMergeAttemptLine(attempt, names, verdict, run->why, run->text, sizeof run->text);
    if (length < 0) {
        PrintMessage("a wake attempt too long to print");
        return;
    }
    Print(run, run->text, length);
}

// --- reading lines ---

void Report(Run* run, const Input& input, const char* what, const char* detail) {
    if (++run->damaged > kDamagedNamed) return;
    PrintMessage("%s, line %ld: %s%s%s%s; skipped", Label(input), input.line, what, detail[0] != '\0' ? " (" : "",
                 detail, detail[0] != '\0' ? ")" : "");
}

void StopInput(Input* input) {
    if (input->fd >= 0 && std::strcmp(input->name, kStandardInput) != 0) close(input->fd);
    input->fd = -1;
    input->atEnd = true;
}

// More bytes after what is held, moved to the front first. A stop signal
// (Ctrl-C behind `journalctl -f`) ends the input as its end would, and so
// does a reader of the output that went away.
void Fill(Run* run, Input* input) {
    std::memmove(input->buffer, input->buffer + input->start, input->end - input->start);
    input->end -= input->start;
    input->start = 0;
    Flush(run);  // what is printed goes out before a read that may wait (journalctl -f)
    ssize_t count = 0;
    do {
        if (StopRequested() || run->written != Written::kWhole) return StopInput(input);
        count = read(input->fd, input->buffer + input->end, kReadBufferSize - input->end);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        PrintMessage("cannot read %s: %s", Label(*input), std::strerror(errno));
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
        PrintMessage("cannot read %s: %s", name, std::strerror(errno));
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

using text_writer::Plural;

void ReportSkips(const Run& run) {
    if (run.foreign > 0)
        PrintMessage("skipped %ld %s no lumora record", run.foreign,
                     Plural(run.foreign, "line that holds", "lines that hold"));
    if (run.binary > 0)
        PrintMessage("skipped %ld journal %s MESSAGE is not text", run.binary,
                     Plural(run.binary, "entry whose", "entries whose"));
    if (run.withheld > 0)
        PrintMessage("skipped %ld journal %s MESSAGE journalctl left out as too long: journalctl -o json --all "
                     "prints it whole",
                     run.withheld, Plural(run.withheld, "entry whose", "entries whose"));
    if (run.damaged == 0) return;
    if (run.damaged > kDamagedNamed)
        PrintMessage("skipped %ld damaged %s, the first %ld named above", run.damaged,
                     Plural(run.damaged, "line", "lines"), kDamagedNamed);
    else
        PrintMessage("skipped %ld damaged %s", run.damaged, Plural(run.damaged, "line", "lines"));
}

void ReportLimits(const Run& run) {
    const MergeBook& book = run.book;
    if (book.closedEarly > 0)
        PrintMessage("%ld wake %s closed early: more than %d were open at once", book.closedEarly,
                     Plural(book.closedEarly, "attempt", "attempts"), kMergeMaxOpen);
    if (book.crowdedAttempts > 0)
        PrintMessage("%ld wake %s had more than %d senders or %d monitors: the rest count as packets only",
                     book.crowdedAttempts, Plural(book.crowdedAttempts, "attempt", "attempts"), kMergeMaxSenders,
                     kMergeMaxMonitors);
    if (book.hintsDropped > 0)
        PrintMessage("%ld hint %s left out: more than %d different ones", book.hintsDropped,
                     Plural(book.hintsDropped, "code", "codes"), kMergeHintNames);
}

// The closing count: on standard output after the lines, beside json on
// standard error, so that standard output stays JSON Lines.
int Finish(Run* run) {
    CloseMergeBook(&run->book);
    Flush(run);
    char summary[kSummarySize];
    if (FormatMergeSummary(run->verdicts, summary, sizeof summary) > 0 && run->written == Written::kWhole) {
        if (run->json) {
            PrintMessage("%s", summary);
        } else {
            const int length = std::snprintf(run->text, sizeof run->text, "lumora: %s\n", summary);
            run->written = WriteOut(run->out, run->text, length);
        }
    }
    ReportSkips(*run);
    ReportLimits(*run);
    if (run->written == Written::kReaderGone) return kExitOk;
    return run->failed || run->written == Written::kFailed ? kExitFailure : kExitOk;
}

}  // namespace

int RunMerge(const MergeOptions& options, int out) {
    Run* run = static_cast<Run*>(std::calloc(1, sizeof(Run)));
    MergeParser* parser = NewMergeParser();
    if (run == nullptr || parser == nullptr) {
        std::free(run);
        FreeMergeParser(parser);
        PrintMessage("not enough memory to merge");
        return kExitFailure;
    }
    run->parser = parser;
    run->json = options.json;
    run->out = out;
    run->written = Written::kWhole;
    StartMergeBook(&run->book, options.gapSeconds, EmitAttempt, run);
    if (!OpenInputs(run, options)) {
        PrintMessage("not enough memory to merge");
        FreeRun(run);
        return kExitFailure;
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

int RunMergeCommand(const Options& options) {
    MergeOptions merge;
    merge.json = options.format == OutputFormat::kJson;
    merge.gapSeconds = options.gap;
    merge.files = options.files;
    merge.fileCount = options.fileCount;
    return RunMerge(merge, STDOUT_FILENO);
}
