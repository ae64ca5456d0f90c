// lumora's capture: a report for every Wake-on-LAN magic packet this Linux
// machine receives, or a capture file holds, the same report the Windows
// program shows, whether the packet would wake this machine, and whether its
// target woke.
#include <net/if.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "analysis/awake_watch.h"
#include "analysis/neighbour_watch.h"
#include "analysis/frame_magic.h"
#include "analysis/link_layer.h"
#include "analysis/magic_packet.h"
#include "base/text_writer.h"
#include "linux/capture/capture.h"
#include "linux/capture/diagnostics.h"
#include "linux/capture/privileges.h"
#include "linux/capture/stop_signals.h"
#include "linux/facts/sighting_diagnosis.h"
#include "linux/program/commands.h"
#include "records/awake_forms.h"
#include "records/sighting.h"
#include "records/summary.h"
#include "records/unanswered_forms.h"

using text_writer::Plural;

namespace {

constexpr int kFindingTextSize = 512;  // an outcome's or an unanswered question's line or record
constexpr int kWatchTickMs = 100;  // the capture's own buffer timeout too
constexpr int kEveryFrame = -1;  // pcap_dispatch: all that is waiting
constexpr int kSummaryLineSize = 512;
constexpr int kOtherTargetsSize = 64;
constexpr int kHostNameSize = 256;  // HOST_NAME_MAX is 64; room to spare
constexpr long long kFirst32BitSecond = -(1LL << 31);
constexpr long long kSecondsIn32Bits = 1LL << 32;
constexpr long long kNoSecond = -(1LL << 62);

// One per run: nothing is allocated per packet.
char reportBuffer[kReportBufferSize];
char sightingText[kSightingTextSize];
SightingSummary summary{};
char hostName[kHostNameSize] = "";  // every json record names its machine
MachineState machine{};  // large: not on the stack
AwakeWatch awakeWatch;   // likewise
NeighbourWatch neighbourWatch;
char findingText[kFindingTextSize];

struct Session {
    const Options* options = nullptr;
    pcap_t* handle = nullptr;
    pcap_dumper_t* frameFile = nullptr;
    bpf_program userFilter{};  // the user's expression, held to magic packets
    int linkType = 0;
    long count = 0;
    long frames = 0;
    long reports = 0;
    bool failed = false;
    bool stopped = false;
    bool outputEnded = false;  // standard output is gone: no closing lines either
    bool watchAwake = false;   // the frames show their senders, and the target's come in
    WakeOutcome outcome = WakeOutcome::kNoSign;  // --until-awake: the target's, once known
    long long second = kNoSecond;  // the capture second `local` holds
    std::tm local{};
    bool localValid = false;  // false for a second no calendar takes
    char interfaceName[IF_NAMESIZE] = "";  // of the last frame that named its interface
};

// A frame's second. A capture file holds unsigned 32-bit seconds, which
// libpcap hands on as signed (and a 32-bit time_t truncates pcapng's 64-bit
// ones to them): read so, a time after January 2038 would be one before
// 1970, which no capture holds. Unsigned, they reach 2106.
long long CaptureSecondOf(const timeval& time) {
    const long long seconds = time.tv_sec;
    return seconds < 0 && seconds >= kFirst32BitSecond ? seconds + kSecondsIn32Bits : seconds;
}

// Frames of one second share one conversion: a flood stays cheap.
void ConvertCaptureTime(Session* session, long long seconds) {
    if (seconds == session->second) return;
    session->second = seconds;
    session->localValid = ToLocalTime(CaptureTime{seconds, 0}, &session->local);
}

// Also outside libpcap's loop (an awake window ending on the clock), where
// pcap_breakloop alone may not be seen.
void Stop(Session* session, bool failed) {
    session->failed = session->failed || failed;
    session->stopped = true;
    pcap_breakloop(session->handle);
}

// As tcpdump and grep end when their reader does: at once, and quietly
// unless the write failed for another reason.
void EndOutput(Session* session, Written written) {
    session->outputEnded = true;
    Stop(session, written == Written::kFailed);
}

// -i names the interface; every interface's frames say theirs; a file's do not.
const char* InterfaceOf(Session* session, int interfaceIndex) {
    const Options& options = *session->options;
    if (options.readFile != nullptr) return nullptr;
    if (options.device != nullptr) return options.device;
    if (interfaceIndex <= 0) return "any";
    if (if_indextoname(static_cast<unsigned>(interfaceIndex), session->interfaceName) == nullptr) return "any";
    return session->interfaceName;
}

Sighting Describe(Session* session, const pcap_pkthdr* header, const FrameMagic& magic) {
    Sighting sighting{};
    sighting.time = CaptureTime{CaptureSecondOf(header->ts), static_cast<int>(header->ts.tv_usec)};
    sighting.host = hostName;
    sighting.interfaceName = InterfaceOf(session, magic.interfaceIndex);
    sighting.truncated = header->caplen < header->len;
    DescribeFrameMagic(magic, &sighting);
    return sighting;
}

// The magic packet in the chosen form, or nullptr when its capture time is
// one no calendar takes (a damaged file); the buffers are sized for the rest.
char* Format(Session* session, const FrameMagic& magic, const Sighting& sighting) {
    switch (session->options->format) {
        case OutputFormat::kLine:
            return FormatSightingLine(sighting, sightingText, kSightingTextSize) >= 0 ? sightingText : nullptr;
        case OutputFormat::kJson:
            return FormatSightingJson(sighting, sightingText, kSightingTextSize) >= 0 ? sightingText : nullptr;
        case OutputFormat::kReport:
            break;
    }
    if (!session->localValid) return nullptr;
    FormatFrameMagicReport(reportBuffer, magic, session->local);
    return reportBuffer;
}

WatchTime WatchTimeOf(const timeval& time) { return CaptureSecondOf(time) * kMicrosecondsPerSecond + time.tv_usec; }

WatchTime Now() {
    timeval now{};
    gettimeofday(&now, nullptr);  // the clock the kernel stamps frames with
    return WatchTimeOf(now);
}

// What the watches find, the moment it is known: a line or record on
// standard output, or beside the reports a line on standard error.
void PrintFinding(Session* session, int length) {
    if (session->outputEnded || length <= 0) return;
    if (session->options->format == OutputFormat::kReport) {
        findingText[length - 1] = '\0';  // PrintMessage ends the line
        return PrintMessage("%s", findingText);
    }
    const Written written = PrintReport(findingText);
    if (written != Written::kWhole) EndOutput(session, written);
}

const char* NameOrNone(const char* interfaceName) { return interfaceName[0] != '\0' ? interfaceName : nullptr; }

void OnOutcome(const WakeOutcomeRecord& record, void* context) {
    Session* session = static_cast<Session*>(context);
    const Options& options = *session->options;
    NoteOutcome(&summary, record);
    if (options.untilAwake && std::memcmp(record.target, options.mac.bytes, kMacLength) == 0) {
        session->outcome = record.outcome;
        Stop(session, false);
    }
    const char* interfaceName = NameOrNone(record.interfaceName);
    PrintFinding(session, options.format == OutputFormat::kJson
                              ? FormatAwakeJson(record, hostName, interfaceName, findingText, sizeof findingText)
                              : FormatAwakeLine(record, interfaceName, findingText, sizeof findingText));
}

void OnUnanswered(const UnansweredRecord& record, void* context) {
    Session* session = static_cast<Session*>(context);
    const char* interfaceName = NameOrNone(record.interfaceName);
    PrintFinding(session, session->options->format == OutputFormat::kJson
                              ? FormatUnansweredJson(record, hostName, interfaceName, findingText, sizeof findingText)
                              : FormatUnansweredLine(record, interfaceName, findingText, sizeof findingText));
}

// Every frame that holds no magic packet may show its sender awake; the one
// that shows a target woke goes to the -w file beside its magic packets.
void WatchFrame(Session* session, const pcap_pkthdr* header, const unsigned char* bytes, const LinkView& view) {
    const int length = static_cast<int>(header->caplen);
    if (view.source == nullptr) return;
    // A system that comes up says so to everyone (DHCP, ARP, solicitations,
    // listener reports); what it sends to one host matters only while an
    // attempt waits for it.
    // A reply to a question goes to its asker alone: looked at while one waits.
    if (!IsGroupAddressed(view) && !AwaitsSign(awakeWatch, view.source) && !AwaitsAnswer(neighbourWatch)) return;
    const int rest = view.offset < length ? length - view.offset : 0;
    const unsigned char* packet = rest > 0 ? bytes + view.offset : nullptr;
    WakeSignSource source{};
    const WakeSign sign = ClassifyNonMagicFrame(view.etherType, packet, rest, &source);
    const WatchTime time = WatchTimeOf(header->ts);
    const bool woke = NoteWakeSign(&awakeWatch, view.source, time, sign, source);
    if (woke && session->frameFile != nullptr && !WriteFrame(session->frameFile, header, bytes)) Stop(session, true);
    NeighbourMessage message{};
    if (ReadNeighbourMessage(view.etherType, packet, rest, &message))
        NoteNeighbourMessage(&neighbourWatch, view.source, message, time, InterfaceOf(session, view.interfaceIndex));
}

void OnFrame(unsigned char* user, const pcap_pkthdr* header, const unsigned char* bytes) {
    Session* session = reinterpret_cast<Session*>(user);
    ++session->frames;
    ConvertCaptureTime(session, CaptureSecondOf(header->ts));
    const CapturedFrame frame{bytes, static_cast<int>(header->caplen), session->linkType, session->local};
    LinkView view{};
    if (!ReadLinkLayer(bytes, frame.length, frame.linkType, &view)) return;
    FrameMagic magic{};
    if (!FindMagicBehindLink(frame, view, &magic)) {
        if (session->watchAwake) WatchFrame(session, header, bytes, view);
        return;
    }
    if (!MatchesUserFilter(session->userFilter, header, bytes)) return;
    const Options& options = *session->options;
    const bool outgoing = SentByThisMachine(magic, machine, options.direction);
    if (options.direction != Direction::kInOut && outgoing != (options.direction == Direction::kOut)) return;
    Sighting sighting = Describe(session, header, magic);
    sighting.outgoing = outgoing;
    if (options.filterMac && !MacMatches(options.mac, sighting.targetMac, sighting.targetMacBytes))
        return CountOtherTarget(&summary);
    DiagnoseSighting(magic, &machine, &sighting);
    char* text = Format(session, magic, sighting);
    if (text == nullptr)
        return PrintMessage("frame %ld: a magic packet with a capture time no calendar can show: not reported",
                            session->frames);
    if (session->frameFile != nullptr && !WriteFrame(session->frameFile, header, bytes)) return Stop(session, true);
    const Written written = PrintReport(text);
    if (written != Written::kWhole) return EndOutput(session, written);
    CountSighting(&summary, sighting);
    if (session->watchAwake && sighting.targetMacBytes == kMacLength)
        NoteMagicPacket(&awakeWatch, sighting.targetMac, WatchTimeOf(header->ts),
                        sighting.interfaceName != nullptr ? sighting.interfaceName : "");
    if (++session->reports == session->count) Stop(session, false);
}

// The capture's clock moves both watches on.
void Advance(WatchTime time) {
    AdvanceAwakeWatch(&awakeWatch, time);
    AdvanceNeighbourWatch(&neighbourWatch, time);
}

// Live and watching for signs, the loop does not block in libpcap, which
// may wait for frames forever on a silent network: it waits here, at most a
// tick, so that an awake window ends on the clock. A stop signal cuts the
// wait short.
bool TickingCapture(Session* session) {
    if (!session->watchAwake || pcap_file(session->handle) != nullptr) return false;
    char error[PCAP_ERRBUF_SIZE];
    return pcap_get_selectable_fd(session->handle) >= 0 && pcap_setnonblock(session->handle, 1, error) == 0;
}

void WaitForFrames(Session* session) {
    pollfd ready{pcap_get_selectable_fd(session->handle), POLLIN, 0};
    poll(&ready, 1, kWatchTickMs);
}

// Returns when the count is reached, a stop is requested, the file ended or
// capture failed.
void Capture(Session* session, const char* source) {
    const bool ticking = TickingCapture(session);
    while (!StopRequested() && !session->stopped) {
        if (ticking) WaitForFrames(session);
        const int status = pcap_dispatch(session->handle, kEveryFrame, OnFrame,
                                         reinterpret_cast<unsigned char*>(session));
        if (status == PCAP_ERROR_BREAK) return;
        if (status == PCAP_ERROR) {
            PrintMessage("%s: %s", source, pcap_geterr(session->handle));
            session->failed = true;
            return;
        }
        // A file hands over everything at once; 0 is its end.
        if (pcap_file(session->handle) != nullptr) {
            if (status == 0) return;
            continue;
        }
        // Live, a window ends on the clock even when nothing comes.
        if (session->watchAwake) Advance(Now());
    }
}

// Attempts still open end as no_sign, watched until now (live) or the last
// frame (a file); but a run that ended at its count stopped at the packet
// it was asked for, not to watch, and says nothing of them.
void FinishWatch(Session* session) {
    if (!session->watchAwake) return;
    if (session->count > 0 && session->reports == session->count) return;
    if (session->options->readFile == nullptr) Advance(Now());
    FinishAwakeWatch(&awakeWatch);
    FinishNeighbourWatch(&neighbourWatch);
}

// The frames tell who sent them where the link records source MACs, and the
// target's frames come in unless only what this machine sends is watched.
bool CanWatchAwake(const Options& options, int linkType) {
    const bool sources = linkType == kLinkEthernet || linkType == kLinkLinuxCooked || linkType == kLinkLinuxCooked2;
    return sources && options.direction != Direction::kOut;
}

const char* SourceName(const Options& options) {
    if (options.readFile != nullptr) return options.readFile;
    return options.device != nullptr ? options.device : "every interface";
}

// A live capture starts by saying whether this machine can wake at all.
void AnnounceStart(const Options& options, int linkType) {
    if (options.readFile != nullptr) {
        PrintMessage("reading %s, link type %s", options.readFile, pcap_datalink_val_to_name(linkType));
        return;
    }
    // The sender's side (-Q out) need not wake: its cards are no question.
    if (options.direction != Direction::kOut) PrintReadiness(machine.atStart, options.device, options.format, true);
    PrintMessage("listening on %s%s", SourceName(options), options.promiscuous ? " (promiscuous)" : "");
}

// ", 3 magic packets for other targets" when --mac left some out.
void FormatOtherTargets(const Options& options, char* text, int size) {
    text[0] = '\0';
    if (!options.filterMac) return;
    std::snprintf(text, static_cast<std::size_t>(size), ", %ld magic %s for other targets", summary.otherTargets,
                  Plural(summary.otherTargets, "packet", "packets"));
}

bool TimedOut(const Options& options, const Session& session) {
    if (options.untilAwake) return session.reports == 0;  // no magic packet for the target, in time or in the file
    return options.timeout > 0 && TimeRanOut() && session.reports < session.count;
}

void AnnounceSummary() {
    char line[kSummaryLineSize];
    for (int i = 0; i < SummaryLineCount(summary); ++i)
        if (FormatSummaryLine(summary, i, line, sizeof line) >= 0) PrintMessage("%s", line);
}

// "no magic packet for 00:1A:2B:3C:4D:5E arrived in 60 s"
void AnnounceTimeout(const Options& options, const Session& session) {
    char mac[kMacTextSize + sizeof " for "] = "";
    if (options.filterMac) {
        std::snprintf(mac, sizeof mac, " for ");
        FormatMac(options.mac.bytes, 0, mac + std::strlen(mac));
    }
    if (options.readFile != nullptr)
        PrintMessage("the file holds no magic packet%s", mac);
    else if (session.reports == 0 && options.timeout == 0)
        PrintMessage("no magic packet%s arrived", mac);
    else if (session.reports == 0)
        PrintMessage("no magic packet%s arrived in %ld s", mac, options.timeout);
    else
        PrintMessage("%ld of %ld magic packets%s arrived in %ld s", session.reports, session.count, mac,
                     options.timeout);
}

void AnnounceEnd(const Options& options, const Session& session) {
    const unsigned drops = options.readFile != nullptr ? 0 : KernelDrops(session.handle);
    char others[kOtherTargetsSize];
    FormatOtherTargets(options, others, sizeof others);
    if (options.readFile != nullptr)
        PrintMessage("%ld %s read, %ld magic %s reported%s", session.frames, Plural(session.frames, "frame", "frames"),
                     session.reports, Plural(session.reports, "packet", "packets"), others);
    else
        PrintMessage("%ld %s captured, %ld magic %s reported%s, %u %s dropped by the kernel", session.frames,
                     Plural(session.frames, "frame", "frames"), session.reports,
                     Plural(session.reports, "packet", "packets"), others, drops, Plural(drops, "frame", "frames"));
    AnnounceSummary();
    if (TimedOut(options, session)) AnnounceTimeout(options, session);
}

pcap_t* OpenSource(const Options& options) {
    if (options.readFile != nullptr) return OpenCaptureFile(options.readFile);
    return OpenLiveCapture(options.device, options.promiscuous, options.direction);
}

// Everything that needs privileges happens here, before they are dropped.
int OpenSession(const Options& options, Session* session) {
    Identity identity{};
    if (!ResolveIdentity(options.user, &identity)) return kExitFailure;
    session->handle = OpenSource(options);
    if (session->handle == nullptr) return kExitFailure;
    if (!CheckLinkType(session->handle, SourceName(options))) return kExitFailure;
    const FilterChoice choice{options.expression, options.readFile == nullptr,
                              options.filterMac ? options.mac.bytes : nullptr};
    const FilterStatus filter = InstallFilter(session->handle, choice, &session->userFilter);
    if (filter != FilterStatus::kInstalled) return filter == FilterStatus::kBadExpression ? kExitUsage : kExitFailure;
    if (options.writeFile != nullptr) {
        session->frameFile = OpenFrameFile(session->handle, options.writeFile);
        if (session->frameFile == nullptr) return kExitFailure;
    }
    StartMachineState(options.device, options.readFile == nullptr, &machine);
    if (!DropPrivileges(identity)) return kExitFailure;
    session->options = &options;
    session->linkType = pcap_datalink(session->handle);
    session->count = options.count;
    session->watchAwake = CanWatchAwake(options, session->linkType);
    StartAwakeWatch(&awakeWatch, options.awakeWindow * kMicrosecondsPerSecond, OnOutcome, session);
    StartNeighbourWatch(&neighbourWatch, OnUnanswered, session);
    return kExitOk;
}

}  // namespace

int RunCapture(const Options& options) {
    // A name too long for the buffer leaves it unterminated: then none.
    if (gethostname(hostName, sizeof hostName - 1) != 0) hostName[0] = '\0';
    Session session;
    const int opened = OpenSession(options, &session);
    if (opened != kExitOk) return opened;
    StopCaptureOnSignal(session.handle);
    AnnounceStart(options, session.linkType);
    if (options.timeout > 0 && !StopAfter(options.timeout)) return kExitFailure;
    Capture(&session, SourceName(options));
    StopCaptureOnSignal(nullptr);
    FinishWatch(&session);
    if (!session.outputEnded) AnnounceEnd(options, session);
    if (session.frameFile != nullptr) pcap_dump_close(session.frameFile);
    pcap_freecode(&session.userFilter);
    pcap_close(session.handle);
    if (session.failed) return kExitFailure;
    if (session.outputEnded) return kExitOk;
    if (TimedOut(options, session)) return kExitTimedOut;
    if (options.untilAwake && session.outcome == WakeOutcome::kNoSign) return kExitNoSign;
    return kExitOk;
}

