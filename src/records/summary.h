// The tally printed when capture ends: for each target MAC seen, how many
// magic packets came, how many were well formed, when, from where, and
// whether it woke.
// Fixed size, so a long run on a busy network cannot grow it.
#pragma once

#include "records/awake_forms.h"
#include "records/sighting.h"

// Targets past this many are not listed; their packets are counted in
// pastCap and get one line of their own.
constexpr int kSummaryMaxTargets = 64;
// Distinct sources remembered per target; a new one past this only sets
// moreSources, so the line then says "at least".
constexpr int kSummarySourcesKept = 16;
// Sources named on a line; the rest are "and N more".
constexpr int kSummarySourcesShown = 3;

// "this machine's eth0", a name from /etc/ethers, or an address.
constexpr int kTargetLabelSize = 64;

struct TargetTally {
    unsigned char mac[kMacLength];
    int macBytes;  // fewer than six when the packet ended inside the MAC
    long packets;
    long sent;  // of them, sent by this machine
    long wellFormed;
    CaptureTime first;
    CaptureTime last;
    char sources[kSummarySourcesKept][kEndpointTextSize];  // first-seen order
    int sourceCount;
    bool moreSources;
    char label[kTargetLabelSize];  // who the target is, "" when not known
    char outcome[kOutcomeWordsSize];  // its last wake attempt's, "" when none ended
};

// Zero-initialise before use: SightingSummary summary{};
struct SightingSummary {
    TargetTally targets[kSummaryMaxTargets];  // first-seen order
    int targetCount;
    long pastCap;        // magic packets for targets that found the list full
    long otherTargets;   // magic packets that --mac left out
};

// Counts one reported magic packet under its target MAC.
void CountSighting(SightingSummary* summary, const Sighting& sighting);

// Keeps the words of a target's latest outcome for the end of its line.
void NoteOutcome(SightingSummary* summary, const WakeOutcomeRecord& record);

// Counts one magic packet that --mac left out, for the closing line.
void CountOtherTarget(SightingSummary* summary);

// Lines FormatSummaryLine writes: one per target, and one more when targets
// went past the cap.
int SummaryLineCount(const SightingSummary& summary);

// Line `line` (0 to SummaryLineCount - 1), without a line end, into
// text[0, size), terminated. Returns its length, or -1 (text then holds "")
// when it does not fit or `line` is out of range.
int FormatSummaryLine(const SightingSummary& summary, int line, char* text, int size);
