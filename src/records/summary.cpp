// The end-of-run tally per target MAC and its lines.
#include "records/summary.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kTimeTextSize = 32;
constexpr int kSentTextSize = 48;
constexpr char kSummaryTimeFormat[] = "%Y-%m-%d %H:%M:%S";
// "from", the sources shown with their commas, then " and at least N more".
constexpr int kSourcesTextSize = 256;
static_assert(kSourcesTextSize > kSummarySourcesShown * (kEndpointTextSize + sizeof ", "), "room for the sources");

bool SameTarget(const TargetTally& tally, const Sighting& s) {
    if (tally.macBytes != s.targetMacBytes) return false;
    return s.targetMacBytes == 0 || std::memcmp(tally.mac, s.targetMac, static_cast<std::size_t>(s.targetMacBytes)) == 0;
}

// The tally for the sighting's target, a new one when there is room, or
// nullptr when the list is full.
TargetTally* TallyFor(SightingSummary* summary, const Sighting& s) {
    for (int i = 0; i < summary->targetCount; ++i)
        if (SameTarget(summary->targets[i], s)) return &summary->targets[i];
    if (summary->targetCount == kSummaryMaxTargets) return nullptr;
    TargetTally* tally = &summary->targets[summary->targetCount++];
    *tally = TargetTally{};
    if (s.targetMacBytes > 0) std::memcpy(tally->mac, s.targetMac, static_cast<std::size_t>(s.targetMacBytes));
    tally->macBytes = s.targetMacBytes;
    tally->first = s.time;
    return tally;
}

// The first sighting that tells who the target is names it.
void LabelTarget(TargetTally* tally, const Sighting& s) {
    if (tally->label[0] != '\0') return;
    if (s.targetInterface[0] != '\0')
        std::snprintf(tally->label, sizeof tally->label, "this machine's %s", s.targetInterface);
    else
        std::snprintf(tally->label, sizeof tally->label, "%s", s.targetName[0] != '\0' ? s.targetName : s.targetIp);
}

void CountSource(TargetTally* tally, const char* source) {
    for (int i = 0; i < tally->sourceCount; ++i)
        if (std::strncmp(tally->sources[i], source, kEndpointTextSize) == 0) return;
    if (tally->sourceCount == kSummarySourcesKept) {
        tally->moreSources = true;
        return;
    }
    std::snprintf(tally->sources[tally->sourceCount++], kEndpointTextSize, "%s", source);
}

int Finish(int count, char* text, int size) {
    if (count < 0 || count >= size) {
        text[0] = '\0';
        return -1;
    }
    return count;
}

int FormatPastCapLine(const SightingSummary& summary, char* text, int size) {
    const int count = std::snprintf(text, static_cast<std::size_t>(size),
                                    "%ld magic packet%s for further targets, past the %d listed", summary.pastCap,
                                    summary.pastCap == 1 ? "" : "s", kSummaryMaxTargets);
    return Finish(count, text, size);
}

// "from A, B, C and 4 more": names the first few, counts the rest.
int FormatSources(const TargetTally& tally, char* text, int size) {
    int length = std::snprintf(text, static_cast<std::size_t>(size), "from");
    const int shown = tally.sourceCount < kSummarySourcesShown ? tally.sourceCount : kSummarySourcesShown;
    for (int i = 0; i < shown && length >= 0 && length < size; ++i)
        length += std::snprintf(text + length, static_cast<std::size_t>(size - length), "%s %s",
                                i == 0 ? "" : ",", tally.sources[i]);
    const int rest = tally.sourceCount - shown + (tally.moreSources ? 1 : 0);
    if (rest > 0 && length >= 0 && length < size)
        length += std::snprintf(text + length, static_cast<std::size_t>(size - length), " and %s%d more",
                                tally.moreSources ? "at least " : "", rest);
    return Finish(length, text, size);
}

int FormatTargetLine(const TargetTally& tally, char* text, int size) {
    char mac[kMacTextSize];
    char first[kTimeTextSize];
    char last[kTimeTextSize];
    char sources[kSourcesTextSize];
    FormatMac(tally.mac, MissingPast(tally.macBytes), mac);
    if (!FormatLocalTime(tally.first, kSummaryTimeFormat, first, sizeof first) ||
        !FormatLocalTime(tally.last, kSummaryTimeFormat, last, sizeof last) ||
        FormatSources(tally, sources, sizeof sources) < 0)
        return Finish(-1, text, size);
    const bool labelled = tally.label[0] != '\0';
    char sent[kSentTextSize] = "";
    if (tally.sent > 0) std::snprintf(sent, sizeof sent, " (%ld sent by this machine)", tally.sent);
    const bool decided = tally.outcome[0] != '\0';
    const int count = std::snprintf(text, static_cast<std::size_t>(size),
                                    "%s%s%s%s: %ld magic packet%s%s, %ld well formed, first %s, last %s, %s%s%s", mac,
                                    labelled ? " (" : "", tally.label, labelled ? ")" : "", tally.packets,
                                    tally.packets == 1 ? "" : "s", sent, tally.wellFormed, first, last, sources,
                                    decided ? ", " : "", tally.outcome);
    return Finish(count, text, size);
}

}  // namespace

void NoteOutcome(SightingSummary* summary, const WakeOutcomeRecord& record) {
    for (int i = 0; i < summary->targetCount; ++i) {
        TargetTally& tally = summary->targets[i];
        if (tally.macBytes != kMacLength || std::memcmp(tally.mac, record.target, kMacLength) != 0)
            continue;
        FormatOutcomeWords(record, tally.outcome, sizeof tally.outcome);
        return;
    }
}

void CountSighting(SightingSummary* summary, const Sighting& s) {
    TargetTally* tally = TallyFor(summary, s);
    if (tally == nullptr) {
        ++summary->pastCap;
        return;
    }
    ++tally->packets;
    if (s.outgoing) ++tally->sent;
    if (s.verdict.wellFormed) ++tally->wellFormed;
    tally->last = s.time;
    CountSource(tally, s.source);
    LabelTarget(tally, s);
}

void CountOtherTarget(SightingSummary* summary) { ++summary->otherTargets; }

int SummaryLineCount(const SightingSummary& summary) {
    return summary.targetCount + (summary.pastCap > 0 ? 1 : 0);
}

int FormatSummaryLine(const SightingSummary& summary, int line, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    if (line >= 0 && line < summary.targetCount) return FormatTargetLine(summary.targets[line], text, size);
    if (line == summary.targetCount && summary.pastCap > 0) return FormatPastCapLine(summary, text, size);
    return Finish(-1, text, size);
}
