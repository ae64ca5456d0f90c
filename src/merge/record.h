// One record that `lumora --merge` reads: a line of lumora's json output, or
// a `journalctl -o json` entry whose MESSAGE holds one. Every text is copied
// into fixed room (cut on a character boundary when longer), so a record
// outlives the line it came from. An empty text stands for null.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/mac_text.h"
#include "base/tristate.h"
#include "base/wake_outcome.h"

constexpr int kMergeTimeSize = 48;        // RFC 3339 with up to nine fraction digits
constexpr int kMergeHostSize = 64 + 1;    // HOST_NAME_MAX and the terminator
constexpr int kMergeInterfaceSize = 16;   // IFNAMSIZ
constexpr int kMergeAddressSize = 46;     // an IPv6 address in text, or a MAC
constexpr int kMergeVendorSize = 64;
constexpr int kMergeEvidenceSize = 32;
constexpr int kMergeHintCodeSize = 32;
constexpr int kMergeRecordHints = 16;     // hint codes kept from one record
constexpr int kMergeEventSize = 32;       // "suspend-then-hibernate"
constexpr int kMergeWakeOnSize = 12;      // ethtool's letters, "pumbagsf"

// The longest line read whole; a longer one is named and skipped. lumora's
// longest record, a 64 KiB payload in hex, fits with room to spare.
constexpr std::size_t kMergeMaxLine = 512 * 1024;
// Readable bytes that must follow every line handed to ParseMergeLine: the
// parser reads ahead in blocks.
constexpr std::size_t kMergeLinePadding = 64;

enum class MergeRecordKind { kMagic, kAwake, kReadiness, kUnanswered };

struct MergeRecord {
    MergeRecordKind kind;
    long long instant;           // microseconds since the Epoch
    char time[kMergeTimeSize];   // as the record writes it
    char host[kMergeHostSize];   // the record's host, else the journal's _HOSTNAME
    char interface[kMergeInterfaceSize];
    std::uint64_t target;        // the target MAC (a readiness record's card) as a key: see ParseMergeMac
    // A magic packet's.
    bool outgoing;
    char destination[kMergeAddressSize];
    char vendor[kMergeVendorSize];
    Tristate wouldWake;          // also a readiness record's
    char hints[kMergeRecordHints][kMergeHintCodeSize];
    int hintCount;
    // An awake record's.
    WakeOutcome outcome;
    bool hasSeconds;
    double seconds;
    char evidence[kMergeEvidenceSize];
    char evidenceSource[kMergeAddressSize];
    bool hasMagicTime;
    long long magicInstant;
    char magicTime[kMergeTimeSize];
    // A readiness record's: the card's state as the machine went to sleep or shut down.
    char event[kMergeEventSize];
    char wakeOn[kMergeWakeOnSize];
    // An unanswered record's: who asked for the target's address, how often.
    char targetIp[kMergeAddressSize];
    char askedByMac[kMergeAddressSize];
    char askedByIp[kMergeAddressSize];
    long count;
};

enum class MergeLineKind {
    kRecord,   // the record was read
    kBlank,    // spaces only
    kForeign,  // holds no lumora record: lumora's own messages, other units' entries, other JSON
    kBinary,   // a journal entry whose MESSAGE is bytes, not text
    kWithheld, // a journal entry whose MESSAGE journalctl printed as null: longer than it prints without --all
    kDamaged,  // not JSON, or a lumora record that lacks what a merge needs: see the problem
};

// Why a line was damaged: static texts, `detail` the parser's words or "".
struct MergeProblem {
    const char* what;
    const char* detail;
};

// simdjson's two parsers (the line's, and its MESSAGE's own JSON) and the
// room for that MESSAGE: one per merge, made once.
struct MergeParser;
MergeParser* NewMergeParser();
void FreeMergeParser(MergeParser* parser);

// Reads line[0, length), which kMergeLinePadding readable bytes must follow.
// `record` is filled for kRecord only, `problem` for kDamaged only.
MergeLineKind ParseMergeLine(MergeParser* parser, const char* line, std::size_t length, MergeRecord* record,
                             MergeProblem* problem);

// "2026-12-07T09:24:03.544228+01:00" (also 'Z', any fraction digits, none)
// to microseconds since the Epoch; false for anything else.
bool ParseMergeTime(const char* text, std::size_t length, long long* instant);

// "00:1A:2B:3C:4D:5E", either case, "--" for a byte never received, into one
// key: the six bytes, and above them a bit for each "--".
bool ParseMergeMac(const char* text, std::size_t length, std::uint64_t* key);
void FormatMergeMac(std::uint64_t key, char text[kMacTextSize]);
