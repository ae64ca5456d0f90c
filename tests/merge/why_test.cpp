// Why an attempt did not wake: the target's card as its machine went to
// sleep, and the questions for its address no one answered, joined to the
// attempt from the records of every host.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "merge/verdict.h"

namespace {

const bool kUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

constexpr char kTarget[] = "00:1A:2B:3C:4D:5E";
constexpr char kOtherCard[] = "00:1A:2B:3C:4D:5F";

std::string T(const char* clock) { return std::string("2026-12-07T") + clock + "+00:00"; }

std::string Magic(const char* host, const char* direction, const char* clock, const char* destination) {
    return std::string("{\"record\":\"magic\",\"host\":\"") + host + "\",\"time\":\"" + T(clock) +
           "\",\"interface\":\"eth0\",\"direction\":\"" + direction + "\",\"destination\":\"" + destination +
           "\",\"target_mac\":\"" + kTarget + "\",\"would_wake\":null,\"hints\":[]}";
}

std::string NoSign(const char* clock) {
    return std::string("{\"record\":\"awake\",\"time\":\"") + T(clock) + "\",\"host\":\"lab-1\",\"target_mac\":\"" +
           kTarget + "\",\"outcome\":\"no_sign\",\"seconds\":300,\"magic_time\":\"" + T("09:10:00.000000") + "\"}";
}

std::string Readiness(const char* clock, const char* mac, const char* wakeOn, const char* wouldWake) {
    return std::string("{\"record\":\"readiness\",\"time\":\"") + T(clock) +
           "\",\"host\":\"vm\",\"event\":\"suspend\",\"interface\":\"eth0\",\"mac\":\"" + mac + "\",\"wake_on\":\"" +
           wakeOn + "\",\"would_wake\":" + wouldWake + ",\"hints\":[]}";
}

std::string Unanswered(const char* clock) {
    return std::string("{\"record\":\"unanswered\",\"time\":\"") + T(clock) +
           "\",\"host\":\"lab-1\",\"interface\":\"eth0\",\"target_ip\":\"10.2.0.5\",\"target_mac\":\"" + kTarget +
           "\",\"asked_by_mac\":\"02:4C:55:00:00:01\",\"asked_by_ip\":\"10.2.0.1\",\"count\":3}";
}

struct Why {
    MergeVerdict verdict;
    std::string why;
};

void Judge(void* context, const MergeAttempt& attempt) {
    auto* whys = static_cast<std::vector<Why>*>(context);
    char why[kMergeWhySize];
    MergeHintNames names{};
    whys->push_back({JudgeMergeAttempt(attempt, names, why, sizeof why), why});
}

std::vector<Why> Merge(const std::vector<std::string>& lines) {
    std::unique_ptr<MergeBook> book(new MergeBook{});
    std::unique_ptr<MergeParser, void (*)(MergeParser*)> parser(NewMergeParser(), FreeMergeParser);
    std::vector<Why> whys;
    StartMergeBook(book.get(), kMergeDefaultGapSeconds, Judge, &whys);
    for (std::string line : lines) {
        const std::size_t length = line.size();
        line.resize(length + kMergeLinePadding, ' ');
        MergeRecord record{};
        MergeProblem problem{"", ""};
        EXPECT_EQ(ParseMergeLine(parser.get(), line.data(), length, &record, &problem), MergeLineKind::kRecord)
            << problem.what << ": " << line;
        AddMergeRecord(book.get(), record);
    }
    CloseMergeBook(book.get());
    return whys;
}

const std::string kSeenNoSign = "seen by lab-1, but lab-1 saw no sign of waking within 300.0 s";
const std::string kNotArmed = "vm went to sleep (suspend) at 08:50:00 with eth0 Wake-on d: its card was not armed";

struct Case {
    const char* what;
    std::vector<std::string> lines;
    MergeVerdict verdict;
    std::string why;
};

const Case kCases[] = {
    {"no readiness record", {Magic("pc-a", "out", "09:10:00.000000", "10.2.0.255"),
      Magic("lab-1", "in", "09:10:00.001000", "10.2.0.255"), NoSign("09:15:00.000000")},
     MergeVerdict::kNoWake, kSeenNoSign},
    {"the card not armed as it went to sleep, before the attempt",
     {Readiness("08:50:00.000000", kTarget, "d", "false"), Magic("pc-a", "out", "09:10:00.000000", "10.2.0.255"),
      Magic("lab-1", "in", "09:10:00.001000", "10.2.0.255"), NoSign("09:15:00.000000")},
     MergeVerdict::kNoWake, kNotArmed + "; " + kSeenNoSign},
    {"armed: the cause lies past the card",
     {Readiness("08:50:00.000000", kTarget, "g", "true"), Magic("pc-a", "out", "09:10:00.000000", "10.2.0.255"),
      Magic("lab-1", "in", "09:10:00.001000", "10.2.0.255"), NoSign("09:15:00.000000")},
     MergeVerdict::kNoWake,
     kSeenNoSign + "; vm went to sleep (suspend) at 08:50:00 with eth0 Wake-on g: its card was armed, so look at "
                   "the firmware"},
    {"a readiness record after the attempt began is not its",
     {Magic("pc-a", "out", "09:10:00.000000", "10.2.0.255"), Magic("lab-1", "in", "09:10:00.001000", "10.2.0.255"),
      Readiness("09:11:00.000000", kTarget, "d", "false"), NoSign("09:15:00.000000")},
     MergeVerdict::kNoWake, kSeenNoSign},
    {"the no_sign five minutes on, other records between",
     {Magic("pc-a", "out", "09:10:00.000000", "10.2.0.255"), Magic("lab-1", "in", "09:10:00.001000", "10.2.0.255"),
      Readiness("09:12:00.000000", kOtherCard, "d", "false"), NoSign("09:15:00.000000")},
     MergeVerdict::kNoWake, kSeenNoSign},
    {"another card's readiness",
     {Readiness("08:50:00.000000", kOtherCard, "d", "false"), Magic("pc-a", "out", "09:10:00.000000", "10.2.0.255"),
      Magic("lab-1", "in", "09:10:00.001000", "10.2.0.255"), NoSign("09:15:00.000000")},
     MergeVerdict::kNoWake, kSeenNoSign},
    {"sent to its own address, the router's questions unanswered",
     {Magic("pc-a", "out", "09:10:00.000000", "10.2.0.5"), Unanswered("09:10:00.200000")},
     MergeVerdict::kLost,
     "lost at the router: its ARP requests for 10.2.0.5 went unanswered (the target asleep); wake by the segment's "
     "broadcast address or give the router a static ARP entry; left pc-a by eth0 for 10.2.0.5; no monitor saw it"},
    {"the questions' record stamped a moment before the packet's, by another clock",
     {Unanswered("09:09:58.000000"), Magic("pc-a", "out", "09:10:00.000000", "10.2.0.5")},
     MergeVerdict::kLost,
     "lost at the router: its ARP requests for 10.2.0.5 went unanswered (the target asleep); wake by the segment's "
     "broadcast address or give the router a static ARP entry; left pc-a by eth0 for 10.2.0.5; no monitor saw it"},
    {"no questions: lost on the way", {Magic("pc-a", "out", "09:10:00.000000", "10.2.0.5")}, MergeVerdict::kLost,
     "left pc-a by eth0 for 10.2.0.5; no monitor saw it"},
};

TEST(MergeWhy, TheCardAsItWentToSleepAndTheUnansweredQuestions) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::vector<Why> whys = Merge(c.lines);
        ASSERT_EQ(whys.size(), 1u);
        EXPECT_EQ(MergeVerdictName(whys[0].verdict), std::string(MergeVerdictName(c.verdict)));
        EXPECT_EQ(whys[0].why, c.why);
    }
}

}  // namespace
