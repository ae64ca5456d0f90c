// libpcap capture handles: live on one interface or on every one, or a
// capture file; their filter, the file of reported frames, and -D.
#pragma once

#include <pcap/pcap.h>

#include <string>

#include "linux/capture/direction.h"
#include "linux/capture/output.h"

// Opens and activates a live handle on `interface` (nullptr: every
// interface): memory-mapped ring, 100 ms buffer timeout, the frames of
// `direction`. On failure prints one line and returns nullptr.
pcap_t* OpenLiveCapture(const char* device, bool promiscuous, Direction direction);

// Opens a pcap or pcapng file, "-" for standard input. On failure prints one
// line and returns nullptr.
pcap_t* OpenCaptureFile(const char* path);

// False, after one line naming the link type, for a link lumora cannot read.
bool CheckLinkType(pcap_t* handle, const char* source);

enum class FilterStatus { kInstalled, kBadExpression, kFailed };

struct FilterChoice {
    std::string expression;  // the user's, may be empty
    bool live;
    const unsigned char* watchedMac;  // --mac's six bytes, or nullptr
};

// Compiles the user's expression into `user` (empty when none; the caller
// frees it with pcap_freecode) and, live, installs lumora's kernel filter.
// The expression is held to the magic packets only (MatchesUserFilter), not
// to the frames by which their target shows that it woke. A file needs no
// filter of lumora's own: the frame dispatch picks the candidates faster
// than libpcap's filter interpreter would. A bad expression prints
// libpcap's message and gives kBadExpression.
FilterStatus InstallFilter(pcap_t* handle, const FilterChoice& choice, bpf_program* user);

// Whether a frame matches the user's expression; true when there is none.
bool MatchesUserFilter(const bpf_program& user, const pcap_pkthdr* header, const unsigned char* bytes);

// Opens the pcap file that receives every reported frame. On failure prints
// one line and returns nullptr.
pcap_dumper_t* OpenFrameFile(pcap_t* handle, const char* path);

// Appends one frame and flushes it, so an interrupted run leaves a valid
// file. False (after printing why) when writing failed.
bool WriteFrame(pcap_dumper_t* file, const pcap_pkthdr* header, const unsigned char* bytes);

// Prints the interfaces lumora can watch, numbered, as tcpdump -D does.
Written ListInterfaces();

// Frames the kernel dropped because the ring was full.
unsigned KernelDrops(pcap_t* handle);
