// Lines to records with simdjson's DOM parser: its kernels are picked at run
// time for the machine (the On-Demand front end is compiled for the build's
// baseline only, and measured slower here), and it checks every byte of a
// line, so a damaged line is always found, wherever the damage lies.
#include "merge/record.h"

#include "base/mac_text.h"
#include "base/time_units.h"

#include <simdjson.h>

#include <cstring>
#include <new>
#include <string_view>

static_assert(kMergeLinePadding >= simdjson::SIMDJSON_PADDING, "the padding simdjson reads ahead into");

namespace dom = simdjson::dom;

struct MergeParser {
    dom::parser line{kMergeMaxLine};
    dom::parser message{kMergeMaxLine};
    char messageText[kMergeMaxLine + kMergeLinePadding];
};

namespace {

constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kContinuation = 0x80;

// Copies `text` into dst[0, size), terminated; cut before a character that
// does not fit whole.
void CopyText(std::string_view text, char* dst, std::size_t size) {
    std::size_t count = text.size() < size ? text.size() : size - 1;
    if (count < text.size())
        while (count > 0 && (static_cast<unsigned char>(text[count]) & kContinuationMask) == kContinuation) --count;
    if (count > 0) std::memcpy(dst, text.data(), count);
    dst[count] = '\0';
}

template <std::size_t N>
void CopyString(dom::element value, char (&dst)[N]) {
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS) text = {};  // null or another type: not known
    CopyText(text, dst, N);
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t\r");
    return start == std::string_view::npos ? std::string_view{} : text.substr(start);
}

// --- the fields of a record ---

// What a record said about the keys a merge cannot do without.
struct RecordKeys {
    bool hasTarget;
    bool targetRead;
    bool timeRead;
    bool hasDirection;
    bool knownKind;
    std::string_view kind;
    std::string_view outcome;
    std::string_view mac;  // a readiness record's card, its target
};

void ReadTime(dom::element value, MergeRecord* r, RecordKeys* keys) {
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS) return;
    keys->timeRead = ParseMergeTime(text.data(), text.size(), &r->instant);
    CopyText(text, r->time, sizeof r->time);
}

void ReadTarget(dom::element value, MergeRecord* r, RecordKeys* keys) {
    std::string_view text;
    keys->hasTarget = true;
    if (value.get_string().get(text) != simdjson::SUCCESS) return;
    keys->targetRead = ParseMergeMac(text.data(), text.size(), &r->target);
}

void ReadDirection(dom::element value, MergeRecord* r, RecordKeys* keys) {
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS) return;
    keys->hasDirection = text == "in" || text == "out";
    r->outgoing = text == "out";
}

void ReadWouldWake(dom::element value, MergeRecord* r) {
    bool wakes = false;
    if (value.get_bool().get(wakes) != simdjson::SUCCESS) return;  // null: not the target's own view
    r->wouldWake = wakes ? Tristate::kYes : Tristate::kNo;
}

void ReadHints(dom::element value, MergeRecord* r) {
    dom::array hints;
    if (value.get_array().get(hints) != simdjson::SUCCESS) return;
    for (dom::element hint : hints) {
        std::string_view code;
        if (hint["code"].get_string().get(code) != simdjson::SUCCESS || code.empty()) continue;
        if (r->hintCount == kMergeRecordHints) return;
        CopyText(code, r->hints[r->hintCount++], kMergeHintCodeSize);
    }
}

void ReadMagicTime(dom::element value, MergeRecord* r) {
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS) return;
    r->hasMagicTime = ParseMergeTime(text.data(), text.size(), &r->magicInstant);
    CopyText(text, r->magicTime, sizeof r->magicTime);
}

void ReadSeconds(dom::element value, MergeRecord* r) {
    r->hasSeconds = value.get_double().get(r->seconds) == simdjson::SUCCESS;
}

// One key of a record. Keys lumora writes that a merge does not use, and
// keys of later versions, pass unread.
void ReadField(std::string_view key, dom::element value, MergeRecord* r, RecordKeys* keys) {
    if (key == "time") return ReadTime(value, r, keys);
    if (key == "target_mac") return ReadTarget(value, r, keys);
    if (key == "direction") return ReadDirection(value, r, keys);
    if (key == "hints") return ReadHints(value, r);
    if (key == "host") return CopyString(value, r->host);
    if (key == "interface") return CopyString(value, r->interface);
    if (key == "destination") return CopyString(value, r->destination);
    if (key == "target_vendor") return CopyString(value, r->vendor);
    if (key == "would_wake") return ReadWouldWake(value, r);
    if (key == "record") {
        keys->knownKind = value.get_string().get(keys->kind) == simdjson::SUCCESS;
        return;
    }
    if (key == "outcome") {
        if (value.get_string().get(keys->outcome) != simdjson::SUCCESS) keys->outcome = {};
        return;
    }
    if (key == "seconds") return ReadSeconds(value, r);
    if (key == "evidence") return CopyString(value, r->evidence);
    if (key == "evidence_source") return CopyString(value, r->evidenceSource);
    if (key == "magic_time") return ReadMagicTime(value, r);
    if (key == "mac") {
        if (value.get_string().get(keys->mac) != simdjson::SUCCESS) keys->mac = {};
        return;
    }
    if (key == "event") return CopyString(value, r->event);
    if (key == "wake_on") return CopyString(value, r->wakeOn);
    if (key == "target_ip") return CopyString(value, r->targetIp);
    if (key == "asked_by_mac") return CopyString(value, r->askedByMac);
    if (key == "asked_by_ip") return CopyString(value, r->askedByIp);
    if (key == "count") {
        std::int64_t count = 0;
        r->count = value.get_int64().get(count) == simdjson::SUCCESS ? static_cast<long>(count) : 0;
    }
}


MergeLineKind Damaged(MergeProblem* problem, const char* what, const char* detail = "") {
    *problem = MergeProblem{what, detail};
    return MergeLineKind::kDamaged;
}

// A record without `record` is a magic packet's, as lumora wrote before
// awake records came.
MergeLineKind CheckKind(const RecordKeys& keys, MergeRecord* r, MergeProblem* problem) {
    if (!keys.knownKind || keys.kind == "magic") {
        r->kind = MergeRecordKind::kMagic;
        if (!keys.hasDirection) return Damaged(problem, "a magic packet's record without direction \"in\" or \"out\"");
        return MergeLineKind::kRecord;
    }
    if (keys.kind == "readiness") {
        r->kind = MergeRecordKind::kReadiness;
        if (r->event[0] == '\0') return Damaged(problem, "a readiness record without its event");
        return MergeLineKind::kRecord;
    }
    if (keys.kind == "unanswered") {
        r->kind = MergeRecordKind::kUnanswered;
        if (r->targetIp[0] == '\0') return Damaged(problem, "an unanswered record without its target_ip");
        return MergeLineKind::kRecord;
    }
    if (keys.kind != "awake") return MergeLineKind::kForeign;  // a kind of record a merge does not read
    r->kind = MergeRecordKind::kAwake;
    r->outcome = WakeOutcomeOfWord(keys.outcome.data(), keys.outcome.size());
    if (r->outcome == WakeOutcome::kNone) return Damaged(problem, "an awake record without a known outcome");
    return MergeLineKind::kRecord;
}

// A lumora record is an object with target_mac; any other object is some
// other program's JSON.
MergeLineKind ReadRecord(dom::object object, std::string_view journalHost, MergeRecord* r, MergeProblem* problem) {
    *r = MergeRecord{};
    RecordKeys keys{};
    for (dom::key_value_pair field : object) ReadField(field.key, field.value, r, &keys);
    // A readiness record names its card's MAC, --check's objects too, which carry no record kind.
    if (keys.knownKind && keys.kind == "readiness" && !keys.hasTarget) {
        keys.hasTarget = true;
        keys.targetRead = ParseMergeMac(keys.mac.data(), keys.mac.size(), &r->target);
    }
    if (!keys.hasTarget) return MergeLineKind::kForeign;
    if (!keys.targetRead) return Damaged(problem, "a lumora record whose target_mac is not a MAC");
    if (!keys.timeRead) return Damaged(problem, "a lumora record without a readable time");
    if (r->host[0] == '\0') CopyText(journalHost, r->host, sizeof r->host);
    return CheckKind(keys, r, problem);
}

// journalctl -o json prints MESSAGE as a string holding the record's own
// JSON text, as an array of byte values when it is not UTF-8, and as null
// when it is longer than 4096 bytes and --all was not given.
MergeLineKind ReadJournalEntry(MergeParser* parser, dom::object entry, dom::element message, MergeRecord* r,
                               MergeProblem* problem) {
    if (message.is_array()) return MergeLineKind::kBinary;
    if (message.is_null()) return MergeLineKind::kWithheld;
    std::string_view text;
    if (message.get_string().get(text) != simdjson::SUCCESS) return MergeLineKind::kForeign;
    if (Trimmed(text).substr(0, 1) != "{") return MergeLineKind::kForeign;  // a line of text, lumora's own or not
    // Unescaping never lengthens a text: the MESSAGE fits the room of a line.
    std::memcpy(parser->messageText, text.data(), text.size());
    dom::element record;
    const simdjson::error_code error = parser->message.parse(parser->messageText, text.size(), false).get(record);
    if (error != simdjson::SUCCESS) return Damaged(problem, "its MESSAGE is not valid JSON", simdjson::error_message(error));
    dom::object object;
    if (record.get_object().get(object) != simdjson::SUCCESS) return MergeLineKind::kForeign;
    std::string_view host;
    if (entry["_HOSTNAME"].get_string().get(host) != simdjson::SUCCESS) host = {};
    return ReadRecord(object, host, r, problem);
}

}  // namespace

MergeParser* NewMergeParser() { return new (std::nothrow) MergeParser; }

void FreeMergeParser(MergeParser* parser) { delete parser; }

MergeLineKind ParseMergeLine(MergeParser* parser, const char* line, std::size_t length, MergeRecord* record,
                             MergeProblem* problem) {
    const std::string_view text = Trimmed(std::string_view(line, length));
    if (text.empty()) return MergeLineKind::kBlank;
    if (length > kMergeMaxLine) return Damaged(problem, "a line too long to read");
    if (text[0] != '{') return MergeLineKind::kForeign;  // plain text, such as lumora's own messages
    dom::element root;
    const simdjson::error_code error = parser->line.parse(line, length, false).get(root);
    if (error != simdjson::SUCCESS) return Damaged(problem, "not valid JSON", simdjson::error_message(error));
    dom::object object;
    if (root.get_object().get(object) != simdjson::SUCCESS) return MergeLineKind::kForeign;
    dom::element message;
    if (object["MESSAGE"].get(message) == simdjson::SUCCESS)
        return ReadJournalEntry(parser, object, message, record, problem);
    return ReadRecord(object, {}, record, problem);
}

// --- times and MACs ---

namespace {

constexpr int kEpochYear = 1970;
constexpr int kDaysPerYear = 365;
constexpr int kFebruary = 2;
constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int kMonthsPerYear = static_cast<int>(sizeof kDaysInMonth / sizeof kDaysInMonth[0]);
constexpr int kLeapEvery = 4;
constexpr int kCentury = 100;
constexpr int kLeapCentury = 400;
constexpr int kHoursPerDay = 24;
constexpr int kMinutesPerHour = 60;
constexpr int kSecondsPerMinute = 60;
constexpr int kLeapSecond = 60;
constexpr int kYearDigits = 4;
constexpr int kFieldDigits = 2;
constexpr int kFractionDigits = 6;  // microseconds; further digits are dropped
constexpr int kDecimal = 10;
constexpr int kMissingBitsShift = 48;
constexpr int kByteBits = 8;

struct Cursor {
    const char* at;
    const char* end;
    bool ok;
};

bool AtDigit(const Cursor& c) { return c.at < c.end && *c.at >= '0' && *c.at <= '9'; }

int Digits(Cursor* c, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (!AtDigit(*c)) {
            c->ok = false;
            return 0;
        }
        value = value * kDecimal + (*c->at++ - '0');
    }
    return value;
}

bool Take(Cursor* c, const char* choices) {
    if (c->at == c->end || std::strchr(choices, *c->at) == nullptr) return false;
    ++c->at;
    return true;
}

void Expect(Cursor* c, const char* choices) {
    if (!Take(c, choices)) c->ok = false;
}

// Microseconds from at least one fraction digit.
int Fraction(Cursor* c) {
    if (!AtDigit(*c)) c->ok = false;
    int micro = 0;
    int digits = 0;
    for (; AtDigit(*c); ++c->at, ++digits)
        if (digits < kFractionDigits) micro = micro * kDecimal + (*c->at - '0');
    for (; digits < kFractionDigits; ++digits) micro *= kDecimal;
    return micro;
}

// Seconds east of UTC: "Z", or "+01:00".
int Offset(Cursor* c) {
    if (Take(c, "Zz")) return 0;
    const bool west = c->at < c->end && *c->at == '-';
    Expect(c, "+-");
    const int hours = Digits(c, kFieldDigits);
    Expect(c, ":");
    const int minutes = Digits(c, kFieldDigits);
    if (hours >= kHoursPerDay || minutes >= kMinutesPerHour) c->ok = false;
    const int seconds = (hours * kMinutesPerHour + minutes) * kSecondsPerMinute;
    return west ? -seconds : seconds;
}

bool IsLeapYear(int year) { return (year % kLeapEvery == 0 && year % kCentury != 0) || year % kLeapCentury == 0; }

// Leap years in [1, year).
long long LeapYearsBefore(int year) {
    const int past = year - 1;
    return past / kLeapEvery - past / kCentury + past / kLeapCentury;
}

int DaysInMonth(int year, int month) {
    return kDaysInMonth[month - 1] + (month == kFebruary && IsLeapYear(year) ? 1 : 0);
}

long long DaysSinceEpoch(int year, int month, int day) {
    long long days = static_cast<long long>(kDaysPerYear) * (year - kEpochYear) + LeapYearsBefore(year) -
                     LeapYearsBefore(kEpochYear);
    for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
    return days + day - 1;
}

bool CivilDateValid(int year, int month, int day) {
    return year > 0 && month >= 1 && month <= kMonthsPerYear && day >= 1 && day <= DaysInMonth(year, month);
}


}  // namespace

bool ParseMergeTime(const char* text, std::size_t length, long long* instant) {
    Cursor c{text, text + length, true};
    const int year = Digits(&c, kYearDigits);
    Expect(&c, "-");
    const int month = Digits(&c, kFieldDigits);
    Expect(&c, "-");
    const int day = Digits(&c, kFieldDigits);
    Expect(&c, "Tt ");
    const int hour = Digits(&c, kFieldDigits);
    Expect(&c, ":");
    const int minute = Digits(&c, kFieldDigits);
    Expect(&c, ":");
    const int second = Digits(&c, kFieldDigits);
    const int micro = Take(&c, ".") ? Fraction(&c) : 0;
    const int offset = Offset(&c);
    if (!c.ok || c.at != c.end || !CivilDateValid(year, month, day)) return false;
    if (hour >= kHoursPerDay || minute >= kMinutesPerHour || second > kLeapSecond) return false;
    const long long seconds =
        ((DaysSinceEpoch(year, month, day) * kHoursPerDay + hour) * kMinutesPerHour + minute) * kSecondsPerMinute +
        second - offset;
    *instant = seconds * kMicrosecondsPerSecond + micro;
    return true;
}

bool ParseMergeMac(const char* text, std::size_t length, std::uint64_t* key) {
    MacAddress mac{};
    unsigned missing = 0;
    if (!ParseMac(text, length, &mac, &missing) || length != kMacTextSize - 1) return false;
    std::uint64_t bytes = 0;
    for (const unsigned char byte : mac.bytes) bytes = bytes << kByteBits | byte;
    *key = bytes | static_cast<std::uint64_t>(missing) << kMissingBitsShift;
    return true;
}

void FormatMergeMac(std::uint64_t key, char text[kMacTextSize]) {
    unsigned char bytes[kMacLength];
    for (int i = kMacLength - 1; i >= 0; --i, key >>= kByteBits) bytes[i] = static_cast<unsigned char>(key);
    FormatMac(bytes, static_cast<unsigned>(key), text);  // what is left of the key: the missing bits
}
