// The command line: each outcome holds whatever the order of the options.
#include "linux/program/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string said;  // standard error of the last Parse

// `words` must outlive `options`, which points into them.
OptionsOutcome Parse(std::vector<std::string>& words, Options* options) {
    words.insert(words.begin(), "lumora");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const OptionsOutcome outcome = ParseOptions(static_cast<int>(words.size()), argv.data(), options);
    testing::internal::GetCapturedStdout();
    said = testing::internal::GetCapturedStderr();
    return outcome;
}

OptionsOutcome Parse(std::vector<std::string> words) {
    Options options;
    return Parse(words, &options);
}

TEST(Options, BadUsageWhateverTheOrder) {
    const std::vector<std::vector<std::string>> bad = {
        {"-c", "0", "-h"}, {"-h", "-c", "0"}, {"--version", "-c", "+5"}, {"-c", " 5"}, {"-c", "5 "},
        {"-c", "+5"}, {"-c", "-5"}, {"-c", "0x10"}, {"-c", "2147483648"}, {"-i", "a", "-i", "b"},
        {"-r", "f.pcap", "-i", "eth0"}, {"-i", "eth0", "-r", "f.pcap"}, {"-r", "f", "--promisc"},
        {"--promisc"}, {"-i", "any", "--promisc"}, {"-w", "-"}, {"-c", "3", "-c", "3"}, {"-r", "a", "-r", "b"},
        {"--bogus", "-h"}, {"-h", "-x"}, {"-c"}, {"--mac", "00:1a:2b:3c:4d"}, {"--format", "xml"},
        {"--mac", "001a2b3c4d5e", "--mac", "001a2b3c4d5e"}, {"--format", "line", "--format", "json"},
        {"--check", "-r", "f"}, {"--check", "--format", "report"}, {"--check", "-Q", "out"},
        {"--timeout", "5", "-r", "f"}, {"--timeout", "0"}, {"--timeout", "5", "--timeout", "5"}, {"-Q", "up"},
        {"-Q", "in", "-Q", "out"}, {"--until-awake"}, {"--until-awake", "--mac", "001a2b3c4d5e", "-c", "2"},
        {"--mac", "001a2b3c4d5e", "-Q", "out", "--until-awake"}, {"--awake-window", "0"},
        {"--awake-window", "5", "--awake-window", "5"}, {"--check", "--awake-window", "5"}, {"--merge", "--gap", "0"},
        {"--merge", "--format", "report"}, {"--merge", "--mac", "001a2b3c4d5e"}, {"-r", "f", "--merge"},
        {"--merge", "-", "-"}, {"--check", "eth0"}, {"--list-hints", "-c", "1"},
    };
    for (const auto& words : bad) {
        std::string line;
        for (const auto& word : words) line += "[" + word + "]";
        EXPECT_EQ(Parse(words), OptionsOutcome::kBadUsage) << line;
        EXPECT_EQ(said.rfind("lumora: ", 0), 0u) << line << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << line << said;
    }
}

// What each command takes, said from the one table; two commands, or an
// option given twice, are one clear line each. Bad usage too, as above.
TEST(Options, TheTableSaysWhatEachCommandTakes) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> said_for = {
        {{"--check", "-D"}, "--check and -D are two commands: give one"},
        {{"--list-hints", "--merge"}, "--merge and --list-hints are two commands: give one"},
        {{"--promisc", "-i", "eth0", "--promisc"}, "option '--promisc' given twice"},
        {{"--until-awake", "--until-awake"}, "option '--until-awake' given twice"},
        {{"--check", "-c", "1"}, "--check takes only -i, --format and --event"},
        {{"--merge", "-i", "eth0"}, "--merge takes only --format, --gap and files"},
        {{"-D", "-i", "any"}, "-D takes nothing more"},
        {{"--gap", "5"}, "--gap goes with --merge"},
        {{"--merge", "--gap", "86401"}, "bad gap '86401': give whole seconds from 1 to 86400"},
        {{"-c", "x"}, "bad count 'x': give a whole number from 1 up"},
    };
    for (const auto& [words, message] : said_for) {
        EXPECT_EQ(Parse(words), OptionsOutcome::kBadUsage) << message;
        EXPECT_EQ(said, "lumora: " + message + " (see lumora --help)\n");
    }
}

TEST(Options, HelpAndVersionEndAtOnceWhenAllElseIsRight) {
    EXPECT_EQ(Parse({"-c", "5", "-h"}), OptionsOutcome::kDone);
    EXPECT_EQ(Parse({"-h", "-c", "5"}), OptionsOutcome::kDone);
    EXPECT_EQ(Parse({"--version"}), OptionsOutcome::kDone);
}

// The end-to-end tests run -r, -w, -Z, --mac, --format, --timeout and --check
// for what they do; these values are here alone, and the expression's words
// are joined here under the sanitizers.
TEST(Options, ValuesAndTheFilterExpressionAreTaken) {
    Options options;
    std::vector<std::string> words = {"-c", "007", "-Q", "inout", "-r", "-", "not", "host", "10.77.0.1"};
    ASSERT_EQ(Parse(words, &options), OptionsOutcome::kRun);
    EXPECT_EQ(options.mode, Mode::kCapture);
    EXPECT_EQ(options.count, 7);
    EXPECT_EQ(options.direction, Direction::kInOut);
    EXPECT_EQ(options.expression, "not host 10.77.0.1");
    Options check;
    std::vector<std::string> any = {"--check", "-i", "any"};
    ASSERT_EQ(Parse(any, &check), OptionsOutcome::kRun);
    EXPECT_EQ(check.mode, Mode::kCheck);
    EXPECT_EQ(check.device, nullptr);
    EXPECT_EQ(check.format, OutputFormat::kLine);

    // --until-awake waits for the outcome, not one packet, and sees the sender's own packet too.
    Options awake;
    std::vector<std::string> until = {"--mac", "001a2b3c4d5e", "--until-awake", "--timeout", "300"};
    ASSERT_EQ(Parse(until, &awake), OptionsOutcome::kRun);
    EXPECT_EQ(awake.count, 0);
    EXPECT_EQ(awake.direction, Direction::kInOut);
    EXPECT_EQ(awake.awakeWindow, 300);

    // --merge's words are its files, and it prints lines unless told json.
    Options merge;
    std::vector<std::string> records = {"--merge", "--gap", "90", "a.json", "-"};
    ASSERT_EQ(Parse(records, &merge), OptionsOutcome::kRun);
    EXPECT_EQ(merge.mode, Mode::kMerge);
    EXPECT_EQ(merge.fileCount, 2);  // files points into the parser's argv, gone by now
    EXPECT_EQ(merge.gap, 90);
    EXPECT_EQ(merge.expression, "");
    EXPECT_EQ(merge.format, OutputFormat::kLine);
}

}  // namespace
