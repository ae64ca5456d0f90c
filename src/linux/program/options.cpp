// Parsing and checking lumora's command line.
#include "linux/program/options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "linux/capture/diagnostics.h"
#include "linux/program/merge_command.h"
#include "version.h"

namespace {

constexpr int kDecimal = 10;
constexpr char kEveryInterface[] = "any";
constexpr char kStandardStream[] = "-";
constexpr int kMessageSize = 256;
constexpr int kNameSize = 32;
constexpr int kFirstLongOnly = 256;  // getopt codes of long-only options: past every char value

// How an option's value is read.
enum class Take : std::uint8_t { kFlag, kNumber, kText, kMac, kFormat, kDirection, kEvent, kMode, kHelp, kVersion };

constexpr unsigned Of(Mode mode) { return 1u << static_cast<int>(mode); }
constexpr unsigned kCapture = Of(Mode::kCapture);
constexpr unsigned kPrinting = Of(Mode::kCheck) | Of(Mode::kMerge);
constexpr unsigned kAnyMode = ~0u;

struct OptionSpec {
    char letter;  // '\0': long only
    const char* longName;
    Take take;
    unsigned modes;  // the commands that take it
    Mode selects;    // kMode: the command it asks for
    long fallback;   // kNumber: the value when not given
    long low;        // kNumber: its limits
    long high;
    const char* what;  // kNumber: "bad count '5x'"
    const char* unit;  // kNumber: "give a whole number from 1 up"
};

// The one table: each option, the commands that take it, its limits and its
// default. Its order is the order "takes only" names them in.
const OptionSpec kSpecs[] = {
    {'i', "interface", Take::kText, kCapture | Of(Mode::kCheck), Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'\0', "format", Take::kFormat, kCapture | kPrinting, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'\0', "gap", Take::kNumber, Of(Mode::kMerge), Mode::kCapture, kMergeDefaultGapSeconds, 1, kMergeMaxGapSeconds,
     "gap", "whole seconds"},
    {'\0', "event", Take::kEvent, Of(Mode::kCheck), Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'\0', "promisc", Take::kFlag, kCapture, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'Q', "direction", Take::kDirection, kCapture, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'r', "read", Take::kText, kCapture, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'w', "write", Take::kText, kCapture, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'c', "count", Take::kNumber, kCapture, Mode::kCapture, 0, 1, INT_MAX, "count", "a whole number"},
    {'Z', "user", Take::kText, kCapture, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'\0', "mac", Take::kMac, kCapture, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'\0', "timeout", Take::kNumber, kCapture, Mode::kCapture, 0, 1, INT_MAX, "timeout", "whole seconds"},
    {'\0', "awake-window", Take::kNumber, kCapture, Mode::kCapture, kDefaultAwakeWindow / kMicrosecondsPerSecond, 1,
     INT_MAX, "awake window", "whole seconds"},
    {'\0', "until-awake", Take::kFlag, kCapture, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'\0', "check", Take::kMode, Of(Mode::kCheck), Mode::kCheck, 0, 0, 0, nullptr, nullptr},
    {'\0', "merge", Take::kMode, Of(Mode::kMerge), Mode::kMerge, 0, 0, 0, nullptr, nullptr},
    {'D', "list-interfaces", Take::kMode, Of(Mode::kListInterfaces), Mode::kListInterfaces, 0, 0, 0, nullptr,
     nullptr},
    {'\0', "list-hints", Take::kMode, Of(Mode::kListHints), Mode::kListHints, 0, 0, 0, nullptr, nullptr},
    {'h', "help", Take::kHelp, kAnyMode, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
    {'\0', "version", Take::kVersion, kAnyMode, Mode::kCapture, 0, 0, 0, nullptr, nullptr},
};
constexpr int kSpecCount = static_cast<int>(sizeof kSpecs / sizeof kSpecs[0]);

// Every command but capture prints its own way: line or json, or fixed text.
struct ModeSpec {
    Mode mode;
    bool formats;       // takes --format line or json, and prints line when none is given
    const char* words;  // what the words after the options are; nullptr: it takes none
};

constexpr ModeSpec kModes[] = {
    {Mode::kCheck, true, nullptr},
    {Mode::kMerge, true, "files"},
    {Mode::kListInterfaces, false, nullptr},
    {Mode::kListHints, false, nullptr},
};

// A word an option takes, and what it means.
template <typename Value>
struct Named {
    const char* name;
    Value value;
};

constexpr Named<Direction> kDirections[] = {
    {"in", Direction::kIn},
    {"out", Direction::kOut},
    {"inout", Direction::kInOut},
};

// What the machine is about to do when --check --event records its cards:
// systemd-sleep's words, and the shutdowns.
constexpr Named<const char*> kEvents[] = {
    {"suspend", "suspend"}, {"hibernate", "hibernate"}, {"hybrid-sleep", "hybrid-sleep"},
    {"suspend-then-hibernate", "suspend-then-hibernate"}, {"poweroff", "poweroff"}, {"reboot", "reboot"},
    {"halt", "halt"}, {"kexec", "kexec"}, {"shutdown", "shutdown"},
};

constexpr Named<OutputFormat> kFormats[] = {
    {"report", OutputFormat::kReport},
    {"line", OutputFormat::kLine},
    {"json", OutputFormat::kJson},
};

constexpr char kHelp[] =
    "Usage: lumora [-i IFACE | -r FILE] [--promisc] [-Q in|out|inout] [-c COUNT]\n"
    "              [-w FILE] [-Z USER]\n"
    "              [--mac MAC] [--format report|line|json] [--timeout SECONDS]\n"
    "              [--awake-window SECONDS] [--until-awake] [EXPRESSION]\n"
    "       lumora --check [-i IFACE] [--format line|json] [--event EVENT]\n"
    "       lumora --merge [--format line|json] [--gap SECONDS] [FILE...]\n"
    "       lumora -D | --list-hints\n"
    "Prints a report for every Wake-on-LAN magic packet this machine receives:\n"
    "UDP datagrams over IPv4 and IPv6 on any port and raw Ethernet frames of\n"
    "EtherType 0x0842, and whether it would wake this machine.\n"
    "\n"
    "  -i, --interface IFACE  watch only IFACE (default, or 'any': every interface)\n"
    "      --promisc          put IFACE in promiscuous mode, to also see unicast\n"
    "                         frames for other hosts (on a mirrored port)\n"
    "  -Q, --direction DIR    in (the default: what this machine receives), out\n"
    "                         (what it sends) or inout\n"
    "  -r, --read FILE        read a pcap or pcapng file ('-': standard input)\n"
    "  -w, --write FILE       also write every reported frame to a pcap file\n"
    "  -c, --count COUNT      exit after COUNT reports\n"
    "  -Z, --user USER        run as USER once capture is open (default as root:\n"
    "                         nobody)\n"
    "  -D, --list-interfaces  list the interfaces and exit\n"
    "      --mac MAC          report only magic packets for MAC (00:1A:2B:3C:4D:5E,\n"
    "                         00-1a-2b-3c-4d-5e or 001a2b3c4d5e)\n"
    "      --format FORMAT    report (the default), line (one line per magic packet)\n"
    "                         or json (one JSON object per line)\n"
    "      --timeout SECONDS  end live capture after SECONDS; exit 3 when fewer\n"
    "                         than COUNT (default 1) magic packets came\n"
    "      --awake-window SECONDS  how long after a magic packet its target's first\n"
    "                         sign of a running system counts as waking, and before\n"
    "                         it as already awake (default 300)\n"
    "      --until-awake      with --mac: end at the target's outcome; exit 0 when\n"
    "                         it is awake, 4 when it gave no sign, 3 when no magic\n"
    "                         packet came within --timeout\n"
    "      --check            say whether each card would wake this machine, exit\n"
    "                         0 when one would\n"
    "      --event EVENT      with --check: one json readiness record per card, for\n"
    "                         the journal as the machine goes to EVENT (suspend,\n"
    "                         hibernate, hybrid-sleep, suspend-then-hibernate,\n"
    "                         poweroff, reboot, halt, kexec, shutdown)\n"
    "      --merge            read lumora's json records (or journalctl -o json\n"
    "                         entries holding them) from FILEs or standard input,\n"
    "                         and say for every wake attempt where it went and\n"
    "                         whether it woke\n"
    "      --gap SECONDS      with --merge: a target's packets this far apart are\n"
    "                         two attempts (default 60)\n"
    "      --list-hints       list the hint codes and what to do for each\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "  EXPRESSION             a libpcap filter, as tcpdump takes it, that every\n"
    "                         reported frame must also match\n"
    "\n"
    "Live capture needs root or CAP_NET_RAW; reading the cards' Wake-on-LAN\n"
    "state needs root or CAP_NET_ADMIN. Ctrl-C stops it. After each magic packet\n"
    "lumora watches its target for signs of a running system and says whether it\n"
    "woke. At the end a summary on standard error gives, for each target MAC, its\n"
    "magic packets and its last outcome.\n";

// What the command line said, option by option (indexed like kSpecs).
struct Given {
    bool given[kSpecCount];
    const char* value[kSpecCount];
    bool failed;
};

int CodeOf(int index) { return kSpecs[index].letter != '\0' ? kSpecs[index].letter : kFirstLongOnly + index; }

int IndexOf(const char* longName) {
    for (int i = 0; i < kSpecCount; ++i)
        if (std::strcmp(kSpecs[i].longName, longName) == 0) return i;
    return -1;
}

int IndexOfCode(int code) {
    for (int i = 0; i < kSpecCount; ++i)
        if (CodeOf(i) == code) return i;
    return -1;
}

// "-c", or "--mac" for an option without a letter.
const char* NameOf(int index, char* name) {
    if (kSpecs[index].letter != '\0')
        std::snprintf(name, kNameSize, "-%c", kSpecs[index].letter);
    else
        std::snprintf(name, kNameSize, "--%s", kSpecs[index].longName);
    return name;
}

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
bool Usage(const char* format, ...) {
    char message[kMessageSize];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    PrintMessage("%s (see lumora --help)", message);
    return false;
}

// The getopt tables, made from kSpecs.
// '+': stop at the first non-option, where the filter expression begins.
// ':': a missing value is told apart from a bad option.
struct GetoptTables {
    char shortOptions[2 * kSpecCount + 3];
    option longOptions[kSpecCount + 1];
};

bool TakesValue(Take take) {
    return take == Take::kNumber || take == Take::kText || take == Take::kMac || take == Take::kFormat ||
           take == Take::kDirection || take == Take::kEvent;
}

GetoptTables MakeTables() {
    GetoptTables tables{};
    int at = 0;
    tables.shortOptions[at++] = '+';
    tables.shortOptions[at++] = ':';
    for (int i = 0; i < kSpecCount; ++i) {
        const bool value = TakesValue(kSpecs[i].take);
        tables.longOptions[i] = option{kSpecs[i].longName, value ? required_argument : no_argument, nullptr, CodeOf(i)};
        if (kSpecs[i].letter == '\0') continue;
        tables.shortOptions[at++] = kSpecs[i].letter;
        if (value) tables.shortOptions[at++] = ':';
    }
    return tables;
}

// getopt_long's own messages are off, so each error is exactly one line.
// A long option is named as given; a short one by its letter, since it may
// sit inside a cluster such as -xc5.
bool BadOption(const char* argument, int code) {
    const bool isLong = argument[0] == '-' && argument[1] == '-';
    const char shortName[] = {'-', static_cast<char>(optopt), '\0'};
    const char* name = isLong ? argument : shortName;
    return Usage(code == ':' ? "option '%s' needs a value" : "bad option '%s'", name);
}

// The argument getopt_long reads next; optind 0 means the first.
const char* CurrentArgument(int argc, char** argv) {
    const int at = optind == 0 ? 1 : optind;
    return at < argc ? argv[at] : "";
}

bool Note(int code, const char* argument, Given* given) {
    const int index = IndexOfCode(code);
    if (index < 0) return BadOption(argument, code);
    const Take take = kSpecs[index].take;
    char name[kNameSize];
    if (given->given[index] && take != Take::kHelp && take != Take::kVersion)
        return Usage("option '%s' given twice", NameOf(index, name));
    given->given[index] = true;
    given->value[index] = optarg;
    return true;
}

// --- reading the values ---

// Digits only: no sign, no spaces, no base prefix.
bool ReadNumber(const char* text, long low, long high, long* number) {
    if (text[0] == '\0' || std::strspn(text, "0123456789") != std::strlen(text)) return false;
    errno = 0;
    const long value = std::strtol(text, nullptr, kDecimal);
    if (errno != 0 || value < low || value > high) return false;
    *number = value;
    return true;
}

bool TakeNumber(int index, const char* text, long* number) {
    const OptionSpec& spec = kSpecs[index];
    if (ReadNumber(text, spec.low, spec.high, number)) return true;
    if (spec.high == INT_MAX) return Usage("bad %s '%s': give %s from %ld up", spec.what, text, spec.unit, spec.low);
    return Usage("bad %s '%s': give %s from %ld to %ld", spec.what, text, spec.unit, spec.low, spec.high);
}

template <typename Value, std::size_t Count>
bool TakeNamed(const char* text, const Named<Value> (&known)[Count], const char* bad, Value* value) {
    for (const Named<Value>& word : known) {
        if (std::strcmp(text, word.name) != 0) continue;
        *value = word.value;
        return true;
    }
    return Usage(bad, text);
}

bool TakeMac(const char* text, Options* options) {
    options->filterMac = true;
    if (ParseMac(text, std::strlen(text), &options->mac)) return true;
    return Usage("bad MAC '%s': give it as 00:1A:2B:3C:4D:5E, 00-1a-2b-3c-4d-5e or 001a2b3c4d5e", text);
}

long* NumberOf(const OptionSpec& spec, Options* options) {
    switch (spec.letter) {
        case 'c': return &options->count;
        default: break;
    }
    if (std::strcmp(spec.longName, "timeout") == 0) return &options->timeout;
    if (std::strcmp(spec.longName, "awake-window") == 0) return &options->awakeWindow;
    return &options->gap;
}

const char** TextOf(const OptionSpec& spec, Options* options) {
    switch (spec.letter) {
        case 'i': return &options->device;
        case 'r': return &options->readFile;
        case 'w': return &options->writeFile;
        default: return &options->user;
    }
}

bool TakeValue(int index, const char* text, Options* options) {
    const OptionSpec& spec = kSpecs[index];
    switch (spec.take) {
        case Take::kNumber: return TakeNumber(index, text, NumberOf(spec, options));
        case Take::kText: *TextOf(spec, options) = text; return true;
        case Take::kMac: return TakeMac(text, options);
        case Take::kFormat:
            return TakeNamed(text, kFormats, "bad format '%s': give report, line or json", &options->format);
        case Take::kDirection:
            return TakeNamed(text, kDirections, "bad direction '%s': give in, out or inout", &options->direction);
        case Take::kEvent:
            return TakeNamed(text, kEvents,
                             "bad event '%s': give suspend, hibernate, hybrid-sleep, suspend-then-hibernate, "
                             "poweroff, reboot, halt, kexec or shutdown",
                             &options->event);
        case Take::kFlag:
            if (std::strcmp(spec.longName, "promisc") == 0) options->promiscuous = true;
            if (std::strcmp(spec.longName, "until-awake") == 0) options->untilAwake = true;
            return true;
        case Take::kMode: options->mode = spec.selects; return true;
        case Take::kHelp:
        case Take::kVersion: return true;
    }
    return true;
}

// Fallbacks first, then every given value, so that each bad one is said.
bool TakeValues(const Given& given, Options* options) {
    for (const OptionSpec& spec : kSpecs)
        if (spec.take == Take::kNumber) *NumberOf(spec, options) = spec.fallback;
    bool taken = true;
    for (int i = 0; i < kSpecCount; ++i)
        if (given.given[i] && !TakeValue(i, given.value[i], options)) taken = false;
    return taken;
}

// --- the command and what it takes ---

// At most one command a run: "--check and -D are two commands".
bool PickMode(const Given& given) {
    int first = -1;
    for (int i = 0; i < kSpecCount; ++i) {
        if (!given.given[i] || kSpecs[i].take != Take::kMode) continue;
        char one[kNameSize];
        char other[kNameSize];
        if (first >= 0) return Usage("%s and %s are two commands: give one", NameOf(first, one), NameOf(i, other));
        first = i;
    }
    return true;
}

const ModeSpec* ModeSpecOf(Mode mode) {
    for (const ModeSpec& spec : kModes)
        if (spec.mode == mode) return &spec;
    return nullptr;
}

int ModeOption(Mode mode) {
    for (int i = 0; i < kSpecCount; ++i)
        if (kSpecs[i].take == Take::kMode && kSpecs[i].selects == mode) return i;
    return -1;
}

// "--check takes only -i and --format", "--merge takes only --format, --gap
// and files", "-D takes nothing more": from the table.
bool TakesOnly(const ModeSpec& mode) {
    const int own = ModeOption(mode.mode);
    char list[kMessageSize] = "";
    const char* names[kSpecCount + 1];
    char storage[kSpecCount][kNameSize];
    int count = 0;
    for (int i = 0; i < kSpecCount; ++i)
        if (i != own && (kSpecs[i].modes & Of(mode.mode)) != 0 && kSpecs[i].modes != kAnyMode)
            names[count++] = NameOf(i, storage[i]);
    if (mode.words != nullptr) names[count++] = mode.words;
    char self[kNameSize];
    if (count == 0) return Usage("%s takes nothing more", NameOf(own, self));
    for (int i = 0; i < count; ++i) {
        const char* joint = i == 0 ? "" : i + 1 == count ? " and " : ", ";
        std::strncat(list, joint, sizeof list - std::strlen(list) - 1);
        std::strncat(list, names[i], sizeof list - std::strlen(list) - 1);
    }
    return Usage("%s takes only %s", NameOf(own, self), list);
}

bool CheckMode(const Given& given, Options* options) {
    const ModeSpec* mode = ModeSpecOf(options->mode);
    for (int i = 0; i < kSpecCount; ++i) {
        if (!given.given[i] || (kSpecs[i].modes & Of(options->mode)) != 0) continue;
        if (mode != nullptr) return TakesOnly(*mode);
        char name[kNameSize];
        return Usage("%s goes with --merge", NameOf(i, name));  // the one option no capture takes
    }
    if (mode == nullptr) return true;
    char name[kNameSize];
    if (mode->words == nullptr && options->fileCount + static_cast<int>(!options->expression.empty()) > 0)
        return TakesOnly(*mode);
    if (!mode->formats) return true;
    if (given.given[IndexOf("format")] && options->format == OutputFormat::kReport)
        return Usage("%s prints line or json: give --format line or --format json", NameOf(ModeOption(mode->mode), name));
    // The records a sleep hook leaves in the journal are json.
    if (options->event != nullptr && options->format == OutputFormat::kLine)
        return Usage("%s writes json records: give --format json or none", "--event");
    if (options->format == OutputFormat::kReport)
        options->format = options->event != nullptr ? OutputFormat::kJson : OutputFormat::kLine;
    return true;
}

// --- capture's own combinations ---

// A timeout ends a live capture; with it, one magic packet is what is awaited,
// or with --until-awake the target's outcome.
bool CheckTimeout(const Given& given, Options* options) {
    if (options->readFile != nullptr) return Usage("%s is for live capture: -r takes none", "--timeout");
    if (!given.given[IndexOf("count")] && !options->untilAwake) options->count = 1;
    return true;
}

// --until-awake waits for one target's outcome, and ends there, not at a
// count. It watches both ways unless told otherwise, so that the packet this
// machine sends opens the attempt ("lumora --until-awake & wakeonlan").
bool CheckUntilAwake(const Given& given, Options* options) {
    if (!options->filterMac) return Usage("%s needs the target: add --mac MAC", "--until-awake");
    if (given.given[IndexOf("count")]) return Usage("%s ends at the target's outcome: it takes no -c", "--until-awake");
    if (options->direction == Direction::kOut)
        return Usage("%s watches the target's own frames, which -Q out leaves out: give -Q inout", "--until-awake");
    if (!given.given[IndexOf("direction")]) options->direction = Direction::kInOut;
    return true;
}

bool CheckCapture(const Given& given, Options* options) {
    if (options->untilAwake && !CheckUntilAwake(given, options)) return false;
    if (options->timeout > 0 && !CheckTimeout(given, options)) return false;
    if (options->readFile != nullptr && (options->device != nullptr || options->promiscuous))
        return Usage("%s reads a file: -r takes no -i or --promisc", "lumora -r");
    // Promiscuous mode belongs to one interface; -i says which.
    if (options->promiscuous && options->readFile == nullptr && options->device == nullptr)
        return Usage("%s needs an interface: add -i IFACE", "--promisc");
    if (options->writeFile != nullptr && std::strcmp(options->writeFile, kStandardStream) == 0)
        return Usage("%s: standard output carries the reports, name a file", "-w -");
    return true;
}

// --merge reads each file once, and standard input ("-") at most once.
bool CheckFiles(const Options& options) {
    if (options.fileCount > kMergeMaxFiles) return Usage("--merge reads at most %d files at once", kMergeMaxFiles);
    int standardInputs = 0;
    for (int i = 0; i < options.fileCount; ++i)
        standardInputs += std::strcmp(options.files[i], kStandardStream) == 0 ? 1 : 0;
    if (standardInputs > 1) return Usage("--merge reads standard input once");
    return true;
}

void TakeWords(int argc, char** argv, Options* options) {
    // --merge's words are files, not a filter expression.
    if (options->mode == Mode::kMerge) {
        options->files = argv + optind;
        options->fileCount = argc - optind;
        return;
    }
    for (int i = optind; i < argc; ++i) {
        if (!options->expression.empty()) options->expression += ' ';
        options->expression += argv[i];
    }
}

bool CheckOptions(const Given& given, Options* options) {
    if (!PickMode(given) || !TakeValues(given, options) || !CheckMode(given, options)) return false;
    if (options->device != nullptr && std::strcmp(options->device, kEveryInterface) == 0) options->device = nullptr;
    if (options->mode == Mode::kMerge) return CheckFiles(*options);
    return options->mode != Mode::kCapture || CheckCapture(given, options);
}

}  // namespace

OptionsOutcome ParseOptions(int argc, char** argv, Options* options) {
    opterr = 0;
    optind = 0;  // glibc: a full restart, so the parser can run more than once
    static const GetoptTables tables = MakeTables();
    Given given{};
    for (;;) {
        const char* argument = CurrentArgument(argc, argv);
        const int code = getopt_long(argc, argv, tables.shortOptions, tables.longOptions, nullptr);
        if (code == -1) break;
        if (!given.failed && !Note(code, argument, &given)) given.failed = true;
    }
    if (given.failed) return OptionsOutcome::kBadUsage;
    options->mode = Mode::kCapture;
    for (int i = 0; i < kSpecCount; ++i)
        if (given.given[i] && kSpecs[i].take == Take::kMode) options->mode = kSpecs[i].selects;
    TakeWords(argc, argv, options);
    if (!CheckOptions(given, options)) return OptionsOutcome::kBadUsage;
    const bool help = given.given[IndexOf("help")];
    const bool version = given.given[IndexOf("version")];
    if (help) std::fputs(kHelp, stdout);
    if (version && !help) std::puts("lumora " LUMORA_VERSION_DOTTED);
    return help || version ? OptionsOutcome::kDone : OptionsOutcome::kRun;
}
