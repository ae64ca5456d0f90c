// The readiness of a card in both forms: the line lumora --check prints for
// people and the json object (docs/lumora-check.schema.json) for scripts.
#include "records/readiness_forms.h"

#include "base/mac_text.h"
#include "records/record_writer.h"

#include <cstdint>

namespace {

using namespace record_writer;

constexpr int kDevicelessNamesShown = 8;  // then "and N more"
constexpr int kRecordTimeSize = 64;

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

void PutInterfaceMac(TextWriter& out, const LocalInterface& interface, bool json) {
    char mac[kMacTextSize] = "-";
    if (interface.hasMac) FormatMac(interface.mac, 0, mac);
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

void PutJsonModes(TextWriter& out, const char* key, const CardState& card, std::uint32_t modes) {
    char letters[sizeof kWakeLetters + 1];
    FormatWakeModes(modes, letters, sizeof letters);
    PutJsonOptionalKey(out, key, ModesRead(card) ? letters : nullptr);
}

void PutLineCard(TextWriter& out, const CardState& card, WakeOnLan state) {
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

void PutLineAdvice(TextWriter& out, const Hints& hints) {
    for (int i = 0; i < hints.count; ++i) {
        const HintInfo& info = HintInfoOf(hints.items[i].code);
        PutFormat(out, "; %s: ", info.name);
        PutHintText(out, info.advice, hints.items[i]);
    }
}

}  // namespace

int FormatReadinessLine(const LocalInterface& interface, const CardReadiness& readiness, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    PutLineName(out, interface.name);
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
    TextWriter out = WriterOn(text, size);
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

int FormatReadinessRecord(const LocalInterface& interface, const CardReadiness& readiness, const CaptureTime& time,
                          const char* host, const char* event, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    char when[kRecordTimeSize];
    if (!Rfc3339Time(time, when, sizeof when)) out.full = true;
    PutText(out, "{\"record\":\"readiness\",\"time\":");
    PutJsonString(out, when);
    PutJsonOptionalKey(out, "host", host);
    PutJsonStringKey(out, "event", event);
    PutJsonStringKey(out, "interface", interface.name);
    PutInterfaceMac(out, interface, true);
    PutJsonModes(out, "wake_on", interface.card, interface.card.enabled);
    PutFormat(out, ",\"would_wake\":%s", TristateJson(readiness.wakesOnMagicPacket));
    PutJsonHints(out, readiness.hints);
    PutText(out, "}\n");
    return Finish(out);
}

int FormatDevicelessLine(const char* const* names, int count, char* text, int size) {
    if (text == nullptr || size <= 0) return -1;
    TextWriter out = WriterOn(text, size);
    const int shown = count < kDevicelessNamesShown ? count : kDevicelessNamesShown;
    PutFormat(out, "%d interface%s with no device behind %s (", count, count == 1 ? "" : "s",
              count == 1 ? "it" : "them");
    for (int i = 0; i < shown; ++i) {
        if (i > 0) PutText(out, ", ");
        PutLineName(out, names[i]);
    }
    if (shown < count) PutFormat(out, " and %d more", count - shown);
    PutText(out, "): virtual, no card to wake this machine\n");
    return Finish(out);
}
