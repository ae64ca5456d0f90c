// The command line: each outcome holds whatever the order of the options.
#include "linux/program/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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
    testing::internal::GetCapturedStderr();
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
        {"--check", "-r", "f"}, {"--check", "-c", "1"}, {"--check", "--format", "report"}, {"--check", "-Q", "out"},
        {"--timeout", "5", "-r", "f"}, {"--timeout", "0"}, {"--timeout", "5", "--timeout", "5"}, {"-Q", "up"},
        {"-Q", "in", "-Q", "out"}, {"--until-awake"}, {"--until-awake", "--mac", "001a2b3c4d5e", "-c", "2"},
        {"--mac", "001a2b3c4d5e", "-Q", "out", "--until-awake"}, {"--awake-window", "0"},
        {"--awake-window", "5", "--awake-window", "5"}, {"--check", "--awake-window", "5"},
        {"--gap", "5"}, {"--merge", "--gap", "0"}, {"--merge", "--gap", "86401"}, {"--merge", "-i", "eth0"},
        {"--merge", "--format", "report"}, {"--merge", "--mac", "001a2b3c4d5e"}, {"-r", "f", "--merge"},
    };
    for (const auto& words : bad) {
        std::string line;
        for (const auto& word : words) line += "[" + word + "]";
        EXPECT_EQ(Parse(words), OptionsOutcome::kBadUsage) << line;
    }
}

TEST(Options, HelpAndVersionEndAtOnceWhenAllElseIsRight) {
    EXPECT_EQ(Parse({"-c", "5", "-h"}), OptionsOutcome::kDone);
    EXPECT_EQ(Parse({"-h", "-c", "5"}), OptionsOutcome::kDone);
    EXPECT_EQ(Parse({"--version"}), OptionsOutcome::kDone);
}

TEST(Options, ValuesAndTheFilterExpressionAreTaken) {
    Options options;
    std::vector<std::string> words = {"-c", "007", "-r", "-", "-w", "out.pcap", "-Z", "lumora", "--mac",
                                      "00-1a-2b-3c-4d-5e", "--format", "json", "not", "host", "10.77.0.1"};
    ASSERT_EQ(Parse(words, &options), OptionsOutcome::kRun);
    EXPECT_EQ(options.count, 7);
    EXPECT_STREQ(options.readFile, "-");
    EXPECT_STREQ(options.writeFile, "out.pcap");
    EXPECT_STREQ(options.user, "lumora");
    EXPECT_EQ(options.expression, "not host 10.77.0.1");
    EXPECT_TRUE(options.filterMac);
    EXPECT_EQ(options.mac.bytes[0], 0x00);
    EXPECT_EQ(options.mac.bytes[5], 0x5E);
    EXPECT_EQ(options.format, OutputFormat::kJson);

    Options every;
    std::vector<std::string> any = {"-i", "any", "-D"};
    ASSERT_EQ(Parse(any, &every), OptionsOutcome::kRun);
    EXPECT_EQ(every.device, nullptr);
    EXPECT_TRUE(every.listInterfaces);
    EXPECT_EQ(every.expression, "");
    EXPECT_FALSE(every.filterMac);
    EXPECT_EQ(every.format, OutputFormat::kReport);

    // A timeout awaits one packet unless told more; --check prints lines unless told json.
    Options timed, check;
    std::vector<std::string> wait = {"--timeout", "60", "-Q", "inout"}, ask = {"--check", "-i", "eth0"};
    ASSERT_EQ(Parse(wait, &timed), OptionsOutcome::kRun);
    EXPECT_EQ(timed.count, 1);
    EXPECT_EQ(timed.timeout, 60);
    EXPECT_EQ(timed.direction, Direction::kInOut);
    ASSERT_EQ(Parse(ask, &check), OptionsOutcome::kRun);
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
    EXPECT_EQ(merge.fileCount, 2);  // files points into the parser's argv, gone by now
    EXPECT_EQ(merge.gap, 90);
    EXPECT_EQ(merge.expression, "");
    EXPECT_EQ(merge.format, OutputFormat::kLine);
}

}  // namespace
