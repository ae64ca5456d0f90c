// The two one-line forms of a sighting, each written in one pass into the
// caller's buffer.
//
// line, one per magic packet, fields separated as tcpdump does:
//   21:05:03.123456 eth0 in udp4 10.77.0.1.50000 > 10.77.0.255.9: target 00:1A:2B:3C:4D:5E, 16/16 copies, password A1:A2:A3:A4
//   time of day (local, microseconds), interface, direction (in, out), kind,
//   source > destination (address.port for UDP, IPv6 too, as tcpdump writes
//   it; MAC for ether), target MAC, intact copies, then the password if any
//   (at most 16 bytes, then "..."), "malformed: <reasons>" when the packet is
//   not well formed, "would (not) wake this machine" when the target is one
//   of its interfaces, the target's name and address when known, and the
//   hint codes. Interface bytes that would break the line (controls, space,
//   DEL, backslash) are written as \xNN.
//
// json, one object per line, every key always there, in this order (the
// schema is docs/lumora-record.schema.json):
//   time             string, RFC 3339 local time with microseconds and offset,
//                    "2026-03-07T21:05:03.123456+01:00"
//   interface        string, null when read from a capture file
//   direction        "in" or "out"
//   kind             "udp4", "udp6" or "ether"
//   source           string, address (UDP) or MAC (ether)
//   destination      likewise
//   source_port      integer, null for ether
//   destination_port integer, null for ether
//   udp_length       integer, null for ether
//   udp_checksum     integer, null for ether
//   target_mac       "00:1A:2B:3C:4D:5E", "--" for bytes never received
//   repetitions      integer 0-16
//   password         upper-case hex string, null when there is none
//   well_formed      true or false
//   payload          upper-case hex string, the payload whole as captured
//   truncated        true or false
//   target_interface, target_name, target_ip   strings or null
//   delivery         "broadcast", "target_unicast", "other_unicast",
//                    "multicast" or null
//   ip_destination   "limited_broadcast", "subnet_broadcast", "other_subnet",
//                    "unicast", "multicast" or null
//   vlan             integer or null
//   would_wake       true, false or null
//   hints            [{"code": ..., "text": ..., "guide": ...}, ...]
// No spaces between tokens. Strings escape '"' and '\' with a backslash and
// every byte below 0x20 as \u00xx. Valid UTF-8 passes through; a byte that
// is not part of a valid UTF-8 sequence is written as \u00xx, its Latin-1
// reading, so the line is always valid JSON whatever bytes a name holds.
#include "records/sighting_forms.h"

#include "analysis/magic_packet.h"
#include "records/record_writer.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

using namespace record_writer;

constexpr int kLinePasswordBytes = 16;
constexpr int kTimeTextSize = 64;

const char* KindName(SightingKind kind) {
    switch (kind) {
        case SightingKind::kUdp4: return "udp4";
        case SightingKind::kUdp6: return "udp6";
        case SightingKind::kEther: return "ether";
    }
    return "?";
}

bool IsUdp(const Sighting& s) { return s.kind != SightingKind::kEther; }

const char* DirectionName(const Sighting& s) { return s.outgoing ? "out" : "in"; }

void PutTargetMac(TextWriter& out, const Sighting& s) {
    char mac[kMacTextSize];
    FormatMac(s.targetMac, MissingPast(s.targetMacBytes), mac);
    PutText(out, mac);
}

// --- line ---

void PutEndpoint(TextWriter& out, const Sighting& s, const char* address, int port) {
    PutText(out, address);
    if (IsUdp(s)) PutFormat(out, ".%d", port);
}

void PutLinePassword(TextWriter& out, const WakeVerdict& v, const unsigned char* password) {
    if (v.password == PasswordKind::kNone || password == nullptr) return;
    const int shown = v.passwordLength < kLinePasswordBytes ? v.passwordLength : kLinePasswordBytes;
    PutText(out, ", password ");
    PutHex(out, password, shown, ":");
    if (shown < v.passwordLength) PutText(out, "...");
}

// The first copy that breaks the run, then an unusable password.
void PutMalformedReasons(TextWriter& out, const WakeVerdict& v) {
    if (v.wellFormed) return;
    PutText(out, ", malformed: ");
    const bool brokenCopy = v.repetitions < kMacRepetitions;
    if (brokenCopy && v.repetitions < v.copiesReceived) PutFormat(out, "copy %d differs", v.repetitions + 1);
    if (brokenCopy && v.repetitions == v.copiesReceived) PutFormat(out, "data ends in copy %d", v.repetitions + 1);
    if (brokenCopy && v.password == PasswordKind::kUnusual) PutText(out, "; ");
    if (v.password == PasswordKind::kUnusual) PutFormat(out, "%d-byte password", v.passwordLength);
}

// --- json ---

void PutJsonUdpFields(TextWriter& out, const Sighting& s) {
    if (!IsUdp(s)) {
        PutText(out, ",\"source_port\":null,\"destination_port\":null,\"udp_length\":null,\"udp_checksum\":null");
        return;
    }
    PutJsonNumberKey(out, "source_port", s.sourcePort);
    PutJsonNumberKey(out, "destination_port", s.destinationPort);
    PutJsonNumberKey(out, "udp_length", s.udpLength);
    PutJsonNumberKey(out, "udp_checksum", s.udpChecksum);
}

void PutJsonPassword(TextWriter& out, const Sighting& s) {
    if (s.verdict.password == PasswordKind::kNone || s.password == nullptr) {
        PutText(out, ",\"password\":null");
        return;
    }
    PutJsonHexKey(out, "password", s.password, s.verdict.passwordLength);
}

// --- the diagnosis, in both forms ---

const char* DeliveryName(Delivery delivery) {
    switch (delivery) {
        case Delivery::kBroadcast: return "broadcast";
        case Delivery::kTargetUnicast: return "target_unicast";
        case Delivery::kOtherUnicast: return "other_unicast";
        case Delivery::kMulticast: return "multicast";
        case Delivery::kUnknown: break;
    }
    return nullptr;
}

const char* IpDestinationName(IpDestination destination) {
    switch (destination) {
        case IpDestination::kLimitedBroadcast: return "limited_broadcast";
        case IpDestination::kSubnetBroadcast: return "subnet_broadcast";
        case IpDestination::kOtherSubnet: return "other_subnet";
        case IpDestination::kUnicast: return "unicast";
        case IpDestination::kMulticast: return "multicast";
        case IpDestination::kNotIp:
        case IpDestination::kUnknown: break;
    }
    return nullptr;
}

// ", would wake this machine (eth0)" or ", would not wake this machine: why".
void PutLineWouldWake(TextWriter& out, const Sighting& s) {
    const WakeDiagnosis& d = s.diagnosis;
    if (d.wouldWake == Tristate::kYes) PutFormat(out, ", would wake this machine (%s)", s.targetInterface);
    if (d.wouldWake != Tristate::kNo || d.reason < 0) return;
    PutText(out, ", would not wake this machine: ");
    PutHintText(out, HintInfoOf(d.hints.items[d.reason].code).reason, d.hints.items[d.reason]);
}

void PutLineTarget(TextWriter& out, const Sighting& s) {
    if (s.targetName[0] != '\0') PutFormat(out, ", known as %s", s.targetName);
    if (s.targetIp[0] != '\0') PutFormat(out, ", at %s", s.targetIp);
}

void PutLineHintCodes(TextWriter& out, const Hints& hints) {
    for (int i = 0; i < hints.count; ++i)
        PutFormat(out, "%s%s", i == 0 ? ", hints " : " ", HintInfoOf(hints.items[i].code).name);
}

void PutJsonDiagnosis(TextWriter& out, const Sighting& s) {
    const WakeDiagnosis& d = s.diagnosis;
    PutJsonOptionalKey(out, "target_interface", s.targetInterface);
    PutJsonOptionalKey(out, "target_name", s.targetName);
    PutJsonOptionalKey(out, "target_ip", s.targetIp);
    PutJsonOptionalKey(out, "delivery", DeliveryName(d.delivery));
    PutJsonOptionalKey(out, "ip_destination", IpDestinationName(d.ipDestination));
    if (d.vlan == kNoVlan)
        PutText(out, ",\"vlan\":null");
    else
        PutJsonNumberKey(out, "vlan", d.vlan);
    PutFormat(out, ",\"would_wake\":%s", TristateJson(d.wouldWake));
    PutJsonHints(out, d.hints);
}

}  // namespace

int FormatSightingLine(const Sighting& s, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    char clock[kTimeTextSize];
    if (!FormatLocalTime(s.time, "%H:%M:%S", clock, sizeof clock)) out.full = true;
    PutFormat(out, "%s.%06d ", clock, s.time.microseconds);
    PutLineName(out, s.interfaceName);
    PutFormat(out, " %s %s ", DirectionName(s), KindName(s.kind));
    PutEndpoint(out, s, s.source, s.sourcePort);
    PutText(out, " > ");
    PutEndpoint(out, s, s.destination, s.destinationPort);
    PutText(out, ": target ");
    PutTargetMac(out, s);
    if (s.targetVendor[0] != '\0') PutFormat(out, " (%s)", s.targetVendor);
    PutFormat(out, ", %d/%d copies", s.verdict.repetitions, kMacRepetitions);
    PutLinePassword(out, s.verdict, s.password);
    PutMalformedReasons(out, s.verdict);
    PutLineWouldWake(out, s);
    PutLineTarget(out, s);
    PutLineHintCodes(out, s.diagnosis.hints);
    PutChar(out, '\n');
    return Finish(out);
}

int FormatSightingJson(const Sighting& s, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    char time[kTimeTextSize];
    if (!Rfc3339Time(s.time, time, sizeof time)) out.full = true;
    PutText(out, "{\"record\":\"magic\",\"time\":");
    PutJsonString(out, time);
    PutJsonOptionalKey(out, "host", s.host);
    if (s.interfaceName == nullptr)
        PutText(out, ",\"interface\":null");  // read from a file: not recorded
    else
        PutJsonStringKey(out, "interface", s.interfaceName);
    PutJsonStringKey(out, "direction", DirectionName(s));
    PutJsonStringKey(out, "kind", KindName(s.kind));
    PutJsonStringKey(out, "source", s.source);
    PutJsonStringKey(out, "destination", s.destination);
    PutJsonUdpFields(out, s);
    PutText(out, ",\"target_mac\":\"");
    PutTargetMac(out, s);
    PutChar(out, '"');
    PutJsonOptionalKey(out, "target_vendor", s.targetVendor);
    PutJsonNumberKey(out, "repetitions", s.verdict.repetitions);
    PutJsonPassword(out, s);
    PutFormat(out, ",\"well_formed\":%s", s.verdict.wellFormed ? "true" : "false");
    PutJsonHexKey(out, "payload", s.payload, s.payloadLength);
    PutFormat(out, ",\"truncated\":%s", s.truncated ? "true" : "false");
    PutJsonDiagnosis(out, s);
    PutText(out, "}\n");
    return Finish(out);
}
