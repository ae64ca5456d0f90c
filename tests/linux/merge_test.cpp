// lumora --merge as a user runs it: files of records in, wake attempts and
// their verdicts out, the skipped lines counted on standard error; and why an
// attempt did not wake, from the target's card as its machine went to sleep
// and the questions for its address no one answered.
#include "linux/program/commands.h"
#include "linux/program/merge_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

// The line form prints this machine's local time.
const bool kUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

constexpr char kMac[] = "00:1A:2B:3C:4D:5E";
constexpr char kOtherMac[] = "00:1A:2B:3C:4D:5F";
constexpr char kThirdMac[] = "00:1A:2B:3C:4D:60";
constexpr int kWaitMilliseconds = 10000;

std::string T(const char* clock) { return std::string("2026-12-07T") + clock + "+00:00"; }

std::string Magic(const std::string& host, const char* interface, const char* direction, const std::string& time,
                  const char* mac, const char* wouldWake = "null", const char* hints = "[]",
                  const char* destination = "10.2.0.255") {
    const std::string hostKey = host.empty() ? "" : "\"host\":\"" + host + "\",";
    return "{\"record\":\"magic\"," + hostKey + "\"time\":\"" + time + "\",\"interface\":\"" + interface +
           "\",\"direction\":\"" + direction + "\",\"kind\":\"udp4\",\"source\":\"10.1.0.5\",\"destination\":\"" +
           destination + "\",\"target_mac\":\"" + mac + "\",\"would_wake\":" + wouldWake + ",\"hints\":" + hints + "}";
}

std::string Awake(const char* host, const std::string& time, const char* mac, const char* outcome,
                  const std::string& magicTime, const char* seconds, const char* evidence = "null",
                  const char* source = "null") {
    return "{\"record\":\"awake\",\"time\":\"" + time + "\",\"host\":\"" + host + "\",\"interface\":\"eth1\","
           "\"target_mac\":\"" + mac + "\",\"outcome\":\"" + outcome + "\",\"seconds\":" + seconds +
           ",\"evidence\":" + evidence + ",\"evidence_source\":" + source + ",\"magic_time\":\"" + magicTime + "\"}";
}

// The sleep hook's record of the card `mac` on the target, vm.
std::string Readiness(const char* clock, const char* mac, const char* wakeOn, const char* wouldWake) {
    return "{\"record\":\"readiness\",\"time\":\"" + T(clock) + "\",\"host\":\"vm\",\"event\":\"suspend\","
           "\"interface\":\"eth0\",\"mac\":\"" + mac + "\",\"wake_on\":\"" + wakeOn + "\",\"would_wake\":" + wouldWake +
           ",\"hints\":[]}";
}

// A router asking three times for the target's address, 10.2.0.5.
std::string Unanswered(const char* clock) {
    return "{\"record\":\"unanswered\",\"time\":\"" + T(clock) + "\",\"host\":\"lab-1\",\"interface\":\"eth0\","
           "\"target_ip\":\"10.2.0.5\",\"target_mac\":\"" + kMac + "\",\"asked_by_mac\":\"02:4C:55:00:00:01\","
           "\"asked_by_ip\":\"10.2.0.1\",\"count\":3}";
}

// As `journalctl -o json` prints it: the record's text as a JSON string.
std::string Journal(const char* hostname, const std::string& message) {
    std::string quoted = "\"";
    for (const char c : message) quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    return "{\"__REALTIME_TIMESTAMP\":\"1796634000000000\",\"_HOSTNAME\":\"" + std::string(hostname) +
           "\",\"_SYSTEMD_UNIT\":\"lumora@eth1.service\",\"MESSAGE\":" + quoted + "\"}";
}

struct Result {
    int status;
    std::vector<std::string> out;  // its lines
    std::string err;
};

std::string WriteFile(const std::vector<std::string>& lines) {
    char name[] = "/tmp/merge_test_XXXXXX";
    close(mkstemp(name));
    std::ofstream file(name);
    for (const std::string& line : lines) file << line << '\n';
    return name;
}

std::vector<std::string> Lines(std::FILE* file) {
    std::rewind(file);
    std::vector<std::string> lines;
    for (char line[4096]; std::fgets(line, sizeof line, file) != nullptr;) lines.emplace_back(line, std::strcspn(line, "\n"));
    return lines;
}

// lumora --merge of the files, after the file `unreadable` if given, its
// standard output and standard error kept.
Result Merge(const std::vector<std::vector<std::string>>& files, long gap = kMergeDefaultGapSeconds,
             bool json = false, const char* unreadable = nullptr) {
    std::vector<std::string> names;
    for (const auto& lines : files) names.push_back(WriteFile(lines));
    std::vector<const char*> paths;
    if (unreadable != nullptr) paths.push_back(unreadable);
    for (const std::string& name : names) paths.push_back(name.c_str());
    MergeOptions options;
    options.json = json;
    options.gapSeconds = gap;
    options.files = paths.data();
    options.fileCount = static_cast<int>(paths.size());
    std::FILE* out = std::tmpfile();
    testing::internal::CaptureStderr();
    const int status = RunMerge(options, fileno(out));
    const std::string err = testing::internal::GetCapturedStderr();
    Result result{status, Lines(out), err};
    std::fclose(out);
    for (const std::string& name : names) unlink(name.c_str());
    return result;
}

struct Case {
    const char* name;
    std::vector<std::vector<std::string>> files;
    // Per attempt line, in order: what it must say; a text from ": " on is
    // the why, which ends the line.
    std::vector<std::vector<std::string>> attempts;
    std::string summary;
    std::vector<std::string> err = {};  // what standard error must say
    long gap = 60;
};

// One packet sent and seen at 09:10, lab-1's no_sign five minutes on; sent
// to the target's own address instead.
const std::string kSent = Magic("pc-a", "eth0", "out", T("09:10:00.000000"), kMac);
const std::string kSeen = Magic("lab-1", "eth0", "in", T("09:10:00.001000"), kMac);
const std::string kNoSign = Awake("lab-1", T("09:15:00.000000"), kMac, "no_sign", T("09:10:00.000000"), "300");
const std::string kSentToItsOwn =
    Magic("pc-a", "eth0", "out", T("09:10:00.000000"), kMac, "null", "[]", "10.2.0.5");
const std::string kSeenNoSign = ": seen by lab-1, but lab-1 saw no sign of waking within 300.0 s";
const std::string kNotArmed = "vm went to sleep (suspend) at 08:50:00 with eth0 Wake-on d: its card was not armed";
const std::string kLostAtRouter = ": lost at the router: its ARP requests for 10.2.0.5 went unanswered (the target "
                                  "asleep); wake by the segment's broadcast address or give the router a static ARP "
                                  "entry; left pc-a by eth0 for 10.2.0.5; no monitor saw it";

// One file whose one attempt gets `verdict`, for `why` (from ": ").
Case Why(const char* name, const std::vector<std::string>& lines, const std::string& verdict, const std::string& why) {
    return {name, {lines}, {{verdict + " target", why}}, "lumora: 1 wake attempt: 1 " + verdict};
}

// Two hosts that see one packet wake, the outcome's evidence and why: the
// json test's, in the other form.
const Case kCases[] = {
    {"the watcher's clock runs 3 s behind the sender's, in another zone: its awake record still answers",
     {{Magic("pc-a", "eth0", "out", "2026-12-07T10:00:03.000000+01:00", kMac),
       Awake("lab-1", T("09:00:30.000000"), kMac, "woke", T("09:00:00.100000"), "29.9")}},
     {{"09:00:03.000000 woke target 00:1A:2B:3C:4D:5E, 1 packet, sent by pc-a eth0 > 10.2.0.255",
       ": lab-1 saw it wake 29.9 s after the first packet"}},
     "lumora: 1 wake attempt: 1 woke"},
    {"one file per host merges as one journal",
     {{Magic("pc-a", "eth0", "out", T("09:00:00.000000"), kMac), Magic("pc-a", "eth0", "out", T("09:10:00.000000"), kMac)},
      {Magic("lab-1", "eth1", "in", T("09:00:01.000000"), kMac)}},
     {{"09:00:00.000000 unknown", "seen by lab-1 eth1"}, {"09:10:00.000000 lost", "no monitor saw it"}},
     "lumora: 2 wake attempts: 1 lost, 1 unknown"},
    {"a longer --gap keeps them one",
     {{Magic("pc-a", "eth0", "out", T("09:00:00.000000"), kMac), Magic("pc-a", "eth0", "out", T("09:05:00.000000"), kMac)}},
     {{"09:00:00.000000 lost", "2 packets over 300.0 s"}},
     "lumora: 1 wake attempt: 1 lost", {}, 600},
    {"many targets interleaved, printed as each closes",
     {{Magic("pc-a", "eth0", "out", T("09:00:00.000000"), kMac), Magic("pc-b", "eth0", "out", T("09:00:01.000000"), kOtherMac),
       Magic("lab-1", "eth1", "in", T("09:00:01.500000"), kMac), Magic("pc-a", "eth0", "out", T("09:00:30.000000"), kThirdMac),
       Magic("lab-2", "eth0", "in", T("09:00:30.100000"), kThirdMac), Magic("pc-a", "eth0", "out", T("09:00:40.000000"), kMac),
       Awake("lab-2", T("09:00:50.000000"), kThirdMac, "already_awake", T("09:00:30.100000"), "19.9", "\"arp\"")}},
     {{"lost target 00:1A:2B:3C:4D:5F", "left pc-b by eth0"},
      {"already_awake target 00:1A:2B:3C:4D:60", ": lab-2 found it already awake (arp)"},
      {"unknown target 00:1A:2B:3C:4D:5E, 2 packets over 40.0 s", "seen by lab-1 eth1"}},
     "lumora: 3 wake attempts: 1 already_awake, 1 lost, 1 unknown"},
    {"a damaged line is named and skipped",
     {{Magic("pc-a", "eth0", "out", T("09:00:00.000000"), kMac), "{\"record\":\"magic\",\"time\":\"2026-12-07T09:0",
       Magic("lab-1", "eth1", "in", T("09:00:00.300000"), kMac), Magic("lab-1", "eth1", "in", "yesterday", kMac)}},
     {{"unknown", "seen by lab-1 eth1"}},
     "lumora: 1 wake attempt: 1 unknown",
     {", line 2: not valid JSON", ", line 4: a lumora record without a readable time", "skipped 2 damaged lines"}},
    {"journal entries that are not lumora records are counted",
     {{Journal("pc-a", Magic("", "eth0", "out", T("09:00:00.000000"), kMac)),
       "{\"_HOSTNAME\":\"lab-1\",\"_SYSTEMD_UNIT\":\"ssh.service\",\"MESSAGE\":\"Accepted publickey for backup\"}",
       Journal("lab-1", "lumora: listening on eth1 (Ethernet), in only"),
       "{\"_HOSTNAME\":\"lab-1\",\"MESSAGE\":[108,117,109,255]}", "lumora: listening on eth0",
       "{\"_HOSTNAME\":\"lab-1\",\"_SYSTEMD_UNIT\":\"lumora@eth1.service\",\"MESSAGE\":null}"}},
     {{"lost", "sent by pc-a eth0"}},
     "lumora: 1 wake attempt: 1 lost",
     {"skipped 3 lines that hold no lumora record", "skipped 1 journal entry whose MESSAGE is not text",
      "skipped 1 journal entry whose MESSAGE journalctl left out as too long: journalctl -o json --all"}},
    {"seen only by the sender's own capture: lost",
     {{Magic("pc-a", "eth0", "out", T("09:00:00.000000"), kMac), Magic("pc-a", "eth1", "in", T("09:00:00.000100"), kMac)}},
     {{"lost", ": left pc-a by eth0 for 10.2.0.255; no monitor saw it"}},
     "lumora: 1 wake attempt: 1 lost"},
    {"the target itself says it would not wake",
     {{Magic("lab-7", "eth0", "in", T("09:00:00.000000"), kMac, "false",
             "[{\"code\":\"wol-disabled\",\"text\":\"Run 'ethtool -s eth0 wol g'\",\"guide\":\"g\"}]")}},
     {{"no_wake", "hints wol-disabled", ": lab-7 eth0 received it and would not wake (wol-disabled)"}},
     "lumora: 1 wake attempt: 1 no_wake"},
    {"one packet it would wake on is enough: not no_wake",
     {{Magic("lab-7", "eth0", "in", T("09:00:00.000000"), kMac, "false"),
       Magic("lab-7", "eth0", "in", T("09:00:01.000000"), kMac, "true")}},
     {{"unknown", ": seen by lab-7 but no awake record came"}},
     "lumora: 1 wake attempt: 1 unknown"},
    {"of two watchers, the one that saw it wake answers",
     {{Magic("lab-1", "eth1", "in", T("09:00:00.000000"), kMac),
       Awake("lab-1", T("09:00:20.000000"), kMac, "woke", T("09:00:00.000000"), "20"),
       Awake("lab-2", T("09:02:00.000000"), kMac, "no_sign", T("09:00:00.000000"), "120")}},
     {{"woke", ": lab-1 saw it wake 20.0 s after the first packet"}},
     "lumora: 1 wake attempt: 1 woke"},
    // Why it did not wake: one attempt, its verdict and its why.
    Why("no readiness record", {kSent, kSeen, kNoSign}, "no_wake", kSeenNoSign),
    Why("the card not armed as it went to sleep, before the attempt",
        {Readiness("08:50:00.000000", kMac, "d", "false"), kSent, kSeen, kNoSign}, "no_wake",
        ": " + kNotArmed + "; " + kSeenNoSign.substr(2)),
    Why("armed: the cause lies past the card", {Readiness("08:50:00.000000", kMac, "g", "true"), kSent, kSeen, kNoSign},
        "no_wake", kSeenNoSign + "; vm went to sleep (suspend) at 08:50:00 with eth0 Wake-on g: its card was armed, so "
                   "look at the firmware"),
    Why("another card's readiness, its own after the attempt began, the no_sign five minutes on past both",
        {Readiness("08:50:00.000000", kOtherMac, "d", "false"), kSent, kSeen,
         Readiness("09:11:00.000000", kMac, "d", "false"), Readiness("09:12:00.000000", kOtherMac, "d", "false"), kNoSign},
        "no_wake", kSeenNoSign),
    Why("sent to its own address, the router's questions unanswered", {kSentToItsOwn, Unanswered("09:10:00.200000")},
        "lost", kLostAtRouter),
    Why("the questions' record stamped a moment before the packet's, by another clock",
        {Unanswered("09:09:58.000000"), kSentToItsOwn}, "lost", kLostAtRouter),
    Why("no questions: lost on the way", {kSentToItsOwn}, "lost",
        ": left pc-a by eth0 for 10.2.0.5; no monitor saw it"),
};

bool Says(const std::string& line, const std::string& text) {
    if (text.rfind(": ", 0) != 0) return line.find(text) != std::string::npos;
    return line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0;
}

class MergeCases : public testing::TestWithParam<Case> {};

TEST_P(MergeCases, SaysWhatBecameOfEachAttempt) {
    const Case& c = GetParam();
    const Result result = Merge(c.files, c.gap);
    EXPECT_EQ(result.status, kExitOk);
    ASSERT_EQ(result.out.size(), c.attempts.size() + 1) << result.err;
    for (std::size_t i = 0; i < c.attempts.size(); ++i)
        for (const std::string& text : c.attempts[i])
            EXPECT_TRUE(Says(result.out[i], text)) << "attempt " << i << ": " << result.out[i] << "\n" << text;
    EXPECT_EQ(result.out.back(), c.summary);
    for (const std::string& text : c.err) EXPECT_NE(result.err.find(text), std::string::npos) << result.err;
    if (c.err.empty()) EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(Merge, MergeCases, testing::ValuesIn(kCases));

// The json form is JSON Lines a script can read, the records' own times in
// it; the closing count goes to standard error.
TEST(MergeJson, ObjectsCarryWhoSentAndSawItAndTheOutcome) {
    const Result result = Merge({{Magic("pc-a", "eth0", "out", "2026-12-07T10:00:00.000000+01:00", kMac, "null",
                                        "[{\"code\":\"not-this-subnet\",\"text\":\"t\",\"guide\":\"g\"}]"),
                                  Magic("lab-1", "eth1", "in", T("09:00:00.300000"), kMac),
                                  Awake("lab-1", T("09:00:12.000000"), kMac, "woke", T("09:00:00.300000"), "11.7",
                                        "\"dhcp\"", "\"10.2.0.77\"")}},
                                kMergeDefaultGapSeconds, true);
    ASSERT_EQ(result.out.size(), 1u) << result.err;
    EXPECT_NE(result.err.find("lumora: 1 wake attempt: 1 woke"), std::string::npos);
    // One packet, seen by its sender and a monitor.
    EXPECT_EQ(result.out[0],
              "{\"target_mac\":\"00:1A:2B:3C:4D:5E\",\"target_vendor\":null,\"first\":\"2026-12-07T10:00:00.000000+01:00\","
              "\"last\":\"2026-12-07T09:00:00.300000+00:00\",\"packets\":1,\"sent_by\":[{\"host\":\"pc-a\",\"interface\":"
              "\"eth0\",\"destination\":\"10.2.0.255\",\"hints\":[\"not-this-subnet\"]}],\"seen_by\":[{\"host\":\"lab-1\","
              "\"interface\":\"eth1\",\"would_wake\":null,\"hints\":[]}],\"outcome\":\"woke\",\"outcome_host\":\"lab-1\","
              "\"seconds\":11.7,\"evidence\":\"dhcp\",\"evidence_source\":\"10.2.0.77\",\"target_readiness\":null,\"unanswered\":[],\"verdict\":\"woke\",\"why\":"
              "\"lab-1 saw it wake 11.7 s after the first packet (dhcp from 10.2.0.77)\"}");
}

TEST(MergeInput, AFileThatCannotBeReadFailsTheRunButNotTheOthers) {
    const Result result = Merge({{Magic("pc-a", "eth0", "out", T("09:00:00.000000"), kMac)}}, kMergeDefaultGapSeconds,
                                false, "/nonexistent/lumora.json");
    EXPECT_EQ(result.status, kExitFailure);
    EXPECT_NE(result.err.find("cannot read /nonexistent/lumora.json"), std::string::npos);
    EXPECT_EQ(result.out.back(), "lumora: 1 wake attempt: 1 lost");
}

// As behind `journalctl -f`: an attempt is printed once a later record
// closes it, while the input is still open.
TEST(MergeInput, PrintsEachAttemptAsItClosesWhileTheInputStaysOpen) {
    int journal[2], printed[2];
    ASSERT_EQ(pipe(journal), 0);
    ASSERT_EQ(pipe(printed), 0);
    const std::string path = "/dev/fd/" + std::to_string(journal[0]);  // opened by name, as a FIFO is
    const char* paths[] = {path.c_str()};
    MergeOptions options;
    options.files = paths;
    options.fileCount = 1;
    int status = -1;
    std::thread merge([&] {
        status = RunMerge(options, printed[1]);
        close(printed[1]);
    });
    const std::string lines = Magic("pc-a", "eth0", "out", T("09:00:00.000000"), kMac) + "\n" +
                              Magic("pc-a", "eth0", "out", T("09:05:00.000000"), kOtherMac) + "\n";
    EXPECT_EQ(write(journal[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    pollfd ready{printed[0], POLLIN, 0};
    EXPECT_EQ(poll(&ready, 1, kWaitMilliseconds), 1) << "nothing printed while the input stays open";
    char text[512] = "";
    if (ready.revents & POLLIN) EXPECT_GT(read(printed[0], text, sizeof text - 1), 0);
    EXPECT_EQ(std::string(text).find("09:00:00.000000 lost target 00:1A:2B:3C:4D:5E"), 0u) << text;
    close(journal[1]);
    merge.join();
    EXPECT_EQ(status, kExitOk);
    for (const int end : {journal[0], printed[0]}) close(end);
}

}  // namespace
