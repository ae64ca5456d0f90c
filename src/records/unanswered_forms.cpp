// The unanswered record's line and json.
#include "records/unanswered_forms.h"

#include "analysis/frame_magic.h"
#include "records/record_writer.h"

namespace {

using namespace record_writer;

constexpr int kTimeTextSize = 64;
constexpr int kFamilyIpv4 = 4;

CaptureTime CaptureTimeOf(NeighbourTime time) {
    return CaptureTime{time / kMicrosecondsPerSecond, static_cast<int>(time % kMicrosecondsPerSecond)};
}

const char* Question(const UnansweredRecord& r) {
    return r.family == kFamilyIpv4 ? "ARP" : "neighbour solicitation";
}

}  // namespace

// "09:00:01.000000 eth0 unanswered ARP for 10.0.2.5 (00:1A:2B:3C:4D:5E) from
// 10.0.2.1 (02:4C:55:00:00:01), 3 requests: a router or host looking for the
// sleeping target"
int FormatUnansweredLine(const UnansweredRecord& r, const char* interfaceName, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    const CaptureTime time = CaptureTimeOf(r.first);
    char clock[kTimeTextSize];
    char target[kEndpointTextSize];
    char asker[kEndpointTextSize];
    char targetMac[kMacTextSize];
    char askerMac[kMacTextSize];
    if (!FormatLocalTime(time, "%H:%M:%S", clock, sizeof clock)) out.full = true;
    FormatIpAddress(r.family, r.target, target);
    FormatIpAddress(r.family, r.asker, asker);
    FormatMac(r.targetMac, 0, targetMac);
    FormatMac(r.askerMac, 0, askerMac);
    PutFormat(out, "%s.%06d ", clock, time.microseconds);
    PutLineName(out, interfaceName);
    PutFormat(out, " unanswered %s for %s (%s) from %s (%s), %d requests: a router or host looking for the sleeping "
                   "target\n",
              Question(r), target, targetMac, asker, askerMac, r.count);
    return Finish(out);
}

int FormatUnansweredJson(const UnansweredRecord& r, const char* host, const char* interfaceName, char* text,
                         int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    char time[kTimeTextSize];
    char target[kEndpointTextSize];
    char asker[kEndpointTextSize];
    char targetMac[kMacTextSize];
    char askerMac[kMacTextSize];
    if (!Rfc3339Time(CaptureTimeOf(r.first), time, sizeof time)) out.full = true;
    FormatIpAddress(r.family, r.target, target);
    FormatIpAddress(r.family, r.asker, asker);
    FormatMac(r.targetMac, 0, targetMac);
    FormatMac(r.askerMac, 0, askerMac);
    PutText(out, "{\"record\":\"unanswered\",\"time\":");
    PutJsonString(out, time);
    PutJsonOptionalKey(out, "host", host);
    PutJsonOptionalKey(out, "interface", interfaceName);
    PutJsonStringKey(out, "target_ip", target);
    PutJsonStringKey(out, "target_mac", targetMac);
    PutJsonStringKey(out, "asked_by_mac", askerMac);
    PutJsonStringKey(out, "asked_by_ip", asker);
    PutJsonNumberKey(out, "count", r.count);
    PutText(out, "}\n");
    return Finish(out);
}
