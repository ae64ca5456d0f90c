// The two formats, each written in one pass into the caller's buffer, and
// the readiness of a card (--check) in the same two.
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
#include "linux/output_format.h"

#include "analysis/magic_packet.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int kLinePasswordBytes = 16;
constexpr int kHintTextSize = 512;
// The troubleshooting guide the package installs beside the manual: each
// hint code has its section there, anchored by the code.
constexpr char kGuidePage[] = "troubleshooting.html";
constexpr int kDevicelessNamesShown = 8;  // then "and N more"  // the longest advice with both subjects
constexpr int kTimeTextSize = 64;
constexpr int kNibbleBits = 4;
constexpr int kNibbleMask = 0x0F;
constexpr int kSecondsPerMinute = 60;
constexpr int kMinutesPerHour = 60;
constexpr unsigned char kFirstPrintable = 0x21;  // space and below are escaped in lines
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kFirstNonControl = 0x20;
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

// The caller's buffer, filled front to back; once a piece does not fit,
// nothing more is written and the result is a failure.
struct Output {
    char* text;
    int size;
    int length;
    bool full;
};

void Put(Output& out, const char* piece, int count) {
    if (out.full) return;
    if (count > out.size - 1 - out.length) {
        out.full = true;
        return;
    }
    std::memcpy(out.text + out.length, piece, static_cast<std::size_t>(count));
    out.length += count;
}

void PutText(Output& out, const char* piece) { Put(out, piece, static_cast<int>(std::strlen(piece))); }

void PutChar(Output& out, char c) { Put(out, &c, 1); }

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void PutFormat(Output& out, const char* format, ...) {
    if (out.full) return;
    const int room = out.size - out.length;
    std::va_list args;
    va_start(args, format);
    const int count = std::vsnprintf(out.text + out.length, static_cast<std::size_t>(room), format, args);
    va_end(args);
    if (count < 0 || count >= room) {
        out.full = true;
        return;
    }
    out.length += count;
}

void PutHexByte(Output& out, unsigned char byte, const char* digits) {
    const char pair[] = {digits[byte >> kNibbleBits], digits[byte & kNibbleMask]};
    Put(out, pair, sizeof pair);
}

void PutHex(Output& out, const unsigned char* bytes, int count, const char* separator) {
    for (int i = 0; i < count && !out.full; ++i) {
        if (i > 0) PutText(out, separator);
        PutHexByte(out, bytes[i], kUpperHex);
    }
}

int Finish(Output& out) {
    if (out.full) {
        out.text[0] = '\0';
        return -1;
    }
    out.text[out.length] = '\0';
    return out.length;
}

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

void PutTargetMac(Output& out, const Sighting& s) {
    char mac[kMacTextSize];
    FormatMacAddress(s.targetMac, s.targetMacBytes, mac);
    PutText(out, mac);
}

// --- line ---

// A capture file does not say which interface a frame came in on: "-".
void PutLineInterface(Output& out, const char* name) {
    for (const char* c = name == nullptr ? "-" : name; *c != '\0' && !out.full; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < kFirstPrintable || byte == kDelete || byte == '\\') {
            PutText(out, "\\x");
            PutHexByte(out, byte, kLowerHex);
        } else {
            PutChar(out, *c);
        }
    }
}

void PutEndpoint(Output& out, const Sighting& s, const char* address, int port) {
    PutText(out, address);
    if (IsUdp(s)) PutFormat(out, ".%d", port);
}

void PutLinePassword(Output& out, const WakeVerdict& v, const unsigned char* password) {
    if (v.password == PasswordKind::kNone || password == nullptr) return;
    const int shown = v.passwordLength < kLinePasswordBytes ? v.passwordLength : kLinePasswordBytes;
    PutText(out, ", password ");
    PutHex(out, password, shown, ":");
    if (shown < v.passwordLength) PutText(out, "...");
}

// The first copy that breaks the run, then an unusable password.
void PutMalformedReasons(Output& out, const WakeVerdict& v) {
    if (v.wellFormed) return;
    PutText(out, ", malformed: ");
    const bool brokenCopy = v.repetitions < kMacRepetitions;
    if (brokenCopy && v.repetitions < v.copiesReceived) PutFormat(out, "copy %d differs", v.repetitions + 1);
    if (brokenCopy && v.repetitions == v.copiesReceived) PutFormat(out, "data ends in copy %d", v.repetitions + 1);
    if (brokenCopy && v.password == PasswordKind::kUnusual) PutText(out, "; ");
    if (v.password == PasswordKind::kUnusual) PutFormat(out, "%d-byte password", v.passwordLength);
}

// --- json ---

// The well-formed UTF-8 sequences by lead byte: their length and the range
// the second byte must lie in (narrower after E0, ED, F0 and F4, which rules
// out overlong forms, surrogates and code points past U+10FFFF).
struct Utf8Lead {
    unsigned char first;
    unsigned char last;
    int length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

constexpr unsigned char kContinuationLow = 0x80;
constexpr unsigned char kContinuationHigh = 0xBF;
constexpr Utf8Lead kUtf8Leads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

bool IsContinuation(unsigned char byte) { return byte >= kContinuationLow && byte <= kContinuationHigh; }

// Length of the valid UTF-8 sequence at `s` (2-4), or 0. Stops at the first
// byte that does not fit, so it never reads past the terminator.
int Utf8SequenceLength(const unsigned char* s) {
    for (const Utf8Lead& lead : kUtf8Leads) {
        if (s[0] < lead.first || s[0] > lead.last) continue;
        if (s[1] < lead.secondLow || s[1] > lead.secondHigh) return 0;
        for (int i = 2; i < lead.length; ++i)
            if (!IsContinuation(s[i])) return 0;
        return lead.length;
    }
    return 0;
}

void PutUnicodeEscape(Output& out, unsigned char byte) {
    PutText(out, "\\u00");
    PutHexByte(out, byte, kLowerHex);
}

void PutJsonString(Output& out, const char* text) {
    PutChar(out, '"');
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text == nullptr ? "" : text);
    while (*s != '\0' && !out.full) {
        if (*s == '"' || *s == '\\') {
            const char escaped[] = {'\\', static_cast<char>(*s)};
            Put(out, escaped, sizeof escaped);
            ++s;
            continue;
        }
        if (*s < kFirstNonControl) {
            PutUnicodeEscape(out, *s++);
            continue;
        }
        const int sequence = *s < kFirstNonAscii ? 1 : Utf8SequenceLength(s);
        if (sequence == 0) {
            PutUnicodeEscape(out, *s++);
            continue;
        }
        Put(out, reinterpret_cast<const char*>(s), sequence);
        s += sequence;
    }
    PutChar(out, '"');
}

void PutJsonStringKey(Output& out, const char* key, const char* value) {
    PutFormat(out, ",\"%s\":", key);
    PutJsonString(out, value);
}

void PutJsonNumberKey(Output& out, const char* key, int value) { PutFormat(out, ",\"%s\":%d", key, value); }

void PutJsonHexKey(Output& out, const char* key, const unsigned char* bytes, int count) {
    PutFormat(out, ",\"%s\":\"", key);
    PutHex(out, bytes, count, "");
    PutChar(out, '"');
}

void PutJsonUdpFields(Output& out, const Sighting& s) {
    if (!IsUdp(s)) {
        PutText(out, ",\"source_port\":null,\"destination_port\":null,\"udp_length\":null,\"udp_checksum\":null");
        return;
    }
    PutJsonNumberKey(out, "source_port", s.sourcePort);
    PutJsonNumberKey(out, "destination_port", s.destinationPort);
    PutJsonNumberKey(out, "udp_length", s.udpLength);
    PutJsonNumberKey(out, "udp_checksum", s.udpChecksum);
}

void PutJsonPassword(Output& out, const Sighting& s) {
    if (s.verdict.password == PasswordKind::kNone || s.password == nullptr) {
        PutText(out, ",\"password\":null");
        return;
    }
    PutJsonHexKey(out, "password", s.password, s.verdict.passwordLength);
}

bool ToLocalTime(const CaptureTime& time, std::tm* local) {
    const std::time_t seconds = static_cast<std::time_t>(time.seconds);
    return localtime_r(&seconds, local) != nullptr;
}

bool Rfc3339Time(const CaptureTime& time, char* text, int size) {
    std::tm local{};
    if (!ToLocalTime(time, &local)) return false;
    char clock[kTimeTextSize];
    if (std::strftime(clock, sizeof clock, "%Y-%m-%dT%H:%M:%S", &local) == 0) return false;
    const long offset = local.tm_gmtoff / kSecondsPerMinute;
    const long magnitude = offset < 0 ? -offset : offset;
    const int count = std::snprintf(text, static_cast<std::size_t>(size), "%s.%06d%c%02ld:%02ld", clock,
                                    time.microseconds, offset < 0 ? '-' : '+', magnitude / kMinutesPerHour,
                                    magnitude % kMinutesPerHour);
    return count > 0 && count < size;
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

const char* TristateJson(Tristate value) {
    if (value == Tristate::kUnknown) return "null";
    return value == Tristate::kYes ? "true" : "false";
}

void PutHintText(Output& out, const char* pattern, const Hint& hint) {
    char text[kHintTextSize];
    ExpandHintText(pattern, hint, text, sizeof text);
    PutText(out, text);
}

// ", would wake this machine (eth0)" or ", would not wake this machine: why".
void PutLineWouldWake(Output& out, const Sighting& s) {
    const WakeDiagnosis& d = s.diagnosis;
    if (d.wouldWake == Tristate::kYes) PutFormat(out, ", would wake this machine (%s)", s.targetInterface);
    if (d.wouldWake != Tristate::kNo || d.reason < 0) return;
    PutText(out, ", would not wake this machine: ");
    PutHintText(out, HintInfoOf(d.hints.items[d.reason].code).reason, d.hints.items[d.reason]);
}

void PutLineTarget(Output& out, const Sighting& s) {
    if (s.targetName[0] != '\0') PutFormat(out, ", known as %s", s.targetName);
    if (s.targetIp[0] != '\0') PutFormat(out, ", at %s", s.targetIp);
}

void PutLineHintCodes(Output& out, const Hints& hints) {
    for (int i = 0; i < hints.count; ++i)
        PutFormat(out, "%s%s", i == 0 ? ", hints " : " ", HintInfoOf(hints.items[i].code).name);
}

// "key":"text" or "key":null for an empty text.
void PutJsonOptionalKey(Output& out, const char* key, const char* value) {
    if (value == nullptr || value[0] == '\0') {
        PutFormat(out, ",\"%s\":null", key);
        return;
    }
    PutJsonStringKey(out, key, value);
}

void PutJsonHints(Output& out, const Hints& hints) {
    PutText(out, ",\"hints\":[");
    for (int i = 0; i < hints.count; ++i) {
        const HintInfo& info = HintInfoOf(hints.items[i].code);
        PutFormat(out, "%s{\"code\":\"%s\",\"text\":", i == 0 ? "" : ",", info.name);
        char text[kHintTextSize];
        ExpandHintText(info.advice, hints.items[i], text, sizeof text);
        PutJsonString(out, text);
        PutFormat(out, ",\"guide\":\"%s#%s\"}", kGuidePage, info.name);
    }
    PutChar(out, ']');
}

void PutJsonDiagnosis(Output& out, const Sighting& s) {
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

// --- a card's readiness (--check) ---

const char* WakeOnLanName(WakeOnLan state) {
    switch (state) {
        case WakeOnLan::kEnabled: return "enabled";
        case WakeOnLan::kDisabled: return "disabled";
        case WakeOnLan::kUnsupported: return "unsupported";
        case WakeOnLan::kUnknown: break;
    }
    return "unknown";
}

const char* DeviceWakeupName(DeviceWakeup wakeup) {
    if (wakeup == DeviceWakeup::kNone) return nullptr;
    return wakeup == DeviceWakeup::kEnabled ? "enabled" : "disabled";
}

const char* WakesText(Tristate wakes) {
    if (wakes == Tristate::kYes) return "wakes this machine on a magic packet";
    if (wakes == Tristate::kNo) return "would not wake this machine on a magic packet";
    return "not known whether it would wake this machine";
}

void PutInterfaceMac(Output& out, const LocalInterface& interface, bool json) {
    char mac[kMacTextSize] = "-";
    if (interface.hasMac) FormatMacAddress(interface.mac, kMacAddressLength, mac);
    if (!json) PutText(out, mac);
    if (json) PutJsonOptionalKey(out, "mac", interface.hasMac ? mac : nullptr);
}

bool ModesRead(const CardState& card) { return card.read == CardRead::kRead; }

Tristate SecureOnSet(const CardState& card) {
    if (!card.secureOnKnown) return Tristate::kUnknown;
    for (const unsigned char byte : card.secureOn)
        if (byte != 0) return Tristate::kYes;
    return Tristate::kNo;
}

void PutJsonModes(Output& out, const char* key, const CardState& card, std::uint32_t modes) {
    char letters[sizeof kWakeLetters + 1];
    FormatWakeModes(modes, letters, sizeof letters);
    PutJsonOptionalKey(out, key, ModesRead(card) ? letters : nullptr);
}

void PutLineCard(Output& out, const CardState& card, WakeOnLan state) {
    PutFormat(out, ": Wake-on-LAN %s", WakeOnLanName(state));
    if (ModesRead(card)) {
        char supported[sizeof kWakeLetters + 1];
        char enabled[sizeof kWakeLetters + 1];
        FormatWakeModes(card.supported, supported, sizeof supported);
        FormatWakeModes(card.enabled, enabled, sizeof enabled);
        PutFormat(out, " (supports %s, enabled %s)", supported, enabled);
    }
    if (SecureOnSet(card) == Tristate::kYes) PutText(out, ", SecureOn password set");
    const char* wakeup = DeviceWakeupName(card.deviceWakeup);
    PutFormat(out, ", device wakeup %s", wakeup != nullptr ? wakeup : "not present");
}

void PutLineAdvice(Output& out, const Hints& hints) {
    for (int i = 0; i < hints.count; ++i) {
        const HintInfo& info = HintInfoOf(hints.items[i].code);
        PutFormat(out, "; %s: ", info.name);
        PutHintText(out, info.advice, hints.items[i]);
    }
}

}  // namespace

int FormatReadinessLine(const LocalInterface& interface, const CardReadiness& readiness, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    Output out{text, size, 0, false};
    PutLineInterface(out, interface.name);
    PutChar(out, ' ');
    PutInterfaceMac(out, interface, false);
    PutLineCard(out, interface.card, readiness.wakeOnLan);
    PutFormat(out, ": %s", WakesText(readiness.wakesOnMagicPacket));
    PutLineAdvice(out, readiness.hints);
    PutChar(out, '\n');
    return Finish(out);
}

int FormatReadinessJson(const LocalInterface& interface, const CardReadiness& readiness, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    Output out{text, size, 0, false};
    const CardState& card = interface.card;
    PutText(out, "{\"interface\":");
    PutJsonString(out, interface.name);
    PutInterfaceMac(out, interface, true);
    PutJsonStringKey(out, "wake_on_lan", WakeOnLanName(readiness.wakeOnLan));
    PutJsonModes(out, "supported", card, card.supported);
    PutJsonModes(out, "enabled", card, card.enabled);
    PutFormat(out, ",\"secureon\":%s", TristateJson(SecureOnSet(card)));
    PutJsonOptionalKey(out, "device_wakeup", DeviceWakeupName(card.deviceWakeup));
    PutFormat(out, ",\"wakes_on_magic_packet\":%s", TristateJson(readiness.wakesOnMagicPacket));
    PutJsonHints(out, readiness.hints);
    PutText(out, "}\n");
    return Finish(out);
}

int FormatDevicelessLine(const char* const* names, int count, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    Output out{text, size, 0, false};
    const int shown = count < kDevicelessNamesShown ? count : kDevicelessNamesShown;
    PutFormat(out, "%d interface%s with no device behind %s (", count, count == 1 ? "" : "s",
              count == 1 ? "it" : "them");
    for (int i = 0; i < shown; ++i) {
        if (i > 0) PutText(out, ", ");
        PutLineInterface(out, names[i]);
    }
    if (shown < count) PutFormat(out, " and %d more", count - shown);
    PutText(out, "): virtual, no card to wake this machine\n");
    return Finish(out);
}

void DescribeMagicPacket(const unsigned char* bytes, int sync, int end, Sighting* sighting) {
    const WakeVerdict verdict = JudgeMagicPacket(bytes, sync, end);
    sighting->verdict = verdict;
    sighting->targetMac = nullptr;
    sighting->targetMacBytes = 0;
    sighting->password = nullptr;
    if (bytes == nullptr || sync < 0) return;
    const int received = end - verdict.macOffset;
    if (received <= 0) return;
    sighting->targetMac = bytes + verdict.macOffset;
    sighting->targetMacBytes = received < kMacAddressLength ? received : kMacAddressLength;
    if (verdict.password != PasswordKind::kNone) sighting->password = bytes + verdict.passwordOffset;
}

bool FormatLocalTime(const CaptureTime& time, const char* format, char* text, int size) {
    std::tm local{};
    if (text == nullptr || size <= 0 || !ToLocalTime(time, &local)) return false;
    return std::strftime(text, static_cast<std::size_t>(size), format, &local) != 0;
}

int FormatSightingLine(const Sighting& s, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    Output out{text, size, 0, false};
    char clock[kTimeTextSize];
    if (!FormatLocalTime(s.time, "%H:%M:%S", clock, sizeof clock)) out.full = true;
    PutFormat(out, "%s.%06d ", clock, s.time.microseconds);
    PutLineInterface(out, s.interfaceName);
    PutFormat(out, " %s %s ", DirectionName(s), KindName(s.kind));
    PutEndpoint(out, s, s.source, s.sourcePort);
    PutText(out, " > ");
    PutEndpoint(out, s, s.destination, s.destinationPort);
    PutText(out, ": target ");
    PutTargetMac(out, s);
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
    Output out{text, size, 0, false};
    char time[kTimeTextSize];
    if (!Rfc3339Time(s.time, time, sizeof time)) out.full = true;
    PutText(out, "{\"time\":");
    PutJsonString(out, time);
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
    PutJsonNumberKey(out, "repetitions", s.verdict.repetitions);
    PutJsonPassword(out, s);
    PutFormat(out, ",\"well_formed\":%s", s.verdict.wellFormed ? "true" : "false");
    PutJsonHexKey(out, "payload", s.payload, s.payloadLength);
    PutFormat(out, ",\"truncated\":%s", s.truncated ? "true" : "false");
    PutJsonDiagnosis(out, s);
    PutText(out, "}\n");
    return Finish(out);
}
