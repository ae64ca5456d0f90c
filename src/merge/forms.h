// A closed wake attempt in lumora's two one-line forms, and the closing
// count.
//
// line, in the manner of lumora's line form:
//   09:24:03.544228 woke target 00:0D:56:4C:55:77 (Dell Inc.), 3 packets over 2.0 s, sent by pc-a eth0 > 10.2.0.255, seen by lab-1 eth1, hints not-this-subnet: lab-1 saw it wake 14.2 s after the first packet (dhcp from 10.2.0.77)
//   the first packet's time of day (this machine's local time, microseconds),
//   the verdict, the target and its vendor when known, the packets and the
//   seconds from first to last, each sender (host, interface > destination)
//   and monitor (host, interface), the first three then "and N more", the
//   hint codes of all of them, then why. A host or interface that is not
//   known is "-"; bytes that would break the line are written as \xNN.
//
// json, one object per line, every key always there, in this order:
//   target_mac, target_vendor (string or null), first, last (the times as
//   the records write them), packets, sent_by [{host, interface,
//   destination, hints [codes]}], seen_by [{host, interface, would_wake,
//   hints}], outcome ("woke", "already_awake", "no_sign" or null),
//   outcome_host, seconds, evidence, evidence_source (null when no awake
//   record came), verdict ("woke", "already_awake", "no_wake", "lost",
//   "unknown"), why.
#pragma once

#include "merge/verdict.h"

// Enough for either form of an attempt with every sender, monitor and hint
// code kept.
constexpr int kMergeAttemptTextSize = 512 * 1024;

// Each writes one line ending in '\n' into text[0, size), terminated, and
// returns its length, or -1 (text then holds "") when it does not fit.
int FormatMergeAttemptLine(const MergeAttempt& attempt, const MergeHintNames& names, MergeVerdict verdict,
                           const char* why, char* text, int size);
int FormatMergeAttemptJson(const MergeAttempt& attempt, const MergeHintNames& names, MergeVerdict verdict,
                           const char* why, char* text, int size);

// "3 wake attempts: 1 woke, 1 no_wake, 1 lost": the verdicts that came, in
// the order of MergeVerdict; no line end.
int FormatMergeSummary(const long counts[kMergeVerdictCount], char* text, int size);
