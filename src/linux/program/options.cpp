// Parsing and checking lumora's command line.
#include "linux/program/options.h"

#include "linux/capture/diagnostics.h"
#include "linux/program/merge_command.h"
#include "version.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kDecimal = 10;
constexpr char kEveryInterface[] = "any";
constexpr char kStandardStream[] = "-";

// Long options without a short form.
enum LongOnly {
    kPromiscOption = 256,  // past every char value
    kVersionOption,
    kMacOption,
    kFormatOption,
    kCheckOption,
    kTimeoutOption,
    kListHintsOption,
    kAwakeWindowOption,
    kUntilAwakeOption,
    kMergeOption,
    kGapOption,
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

constexpr Named<OutputFormat> kFormats[] = {
    {"report", OutputFormat::kReport},
    {"line", OutputFormat::kLine},
    {"json", OutputFormat::kJson},
};

// '+': stop at the first non-option, where the filter expression begins.
// ':': a missing value is told apart from a bad option.
constexpr char kShortOptions[] = "+:i:c:r:w:Z:Q:Dh";

const option kLongOptions[] = {
    {"interface", required_argument, nullptr, 'i'},
    {"count", required_argument, nullptr, 'c'},
    {"read", required_argument, nullptr, 'r'},
    {"write", required_argument, nullptr, 'w'},
    {"user", required_argument, nullptr, 'Z'},
    {"direction", required_argument, nullptr, 'Q'},
    {"list-interfaces", no_argument, nullptr, 'D'},
    {"promisc", no_argument, nullptr, kPromiscOption},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersionOption},
    {"mac", required_argument, nullptr, kMacOption},
    {"format", required_argument, nullptr, kFormatOption},
    {"check", no_argument, nullptr, kCheckOption},
    {"timeout", required_argument, nullptr, kTimeoutOption},
    {"list-hints", no_argument, nullptr, kListHintsOption},
    {"awake-window", required_argument, nullptr, kAwakeWindowOption},
    {"until-awake", no_argument, nullptr, kUntilAwakeOption},
    {"merge", no_argument, nullptr, kMergeOption},
    {"gap", required_argument, nullptr, kGapOption},
    {nullptr, 0, nullptr, 0},
};

constexpr char kHelp[] =
    "Usage: lumora [-i IFACE | -r FILE] [--promisc] [-Q in|out|inout] [-c COUNT]\n"
    "              [-w FILE] [-Z USER]\n"
    "              [--mac MAC] [--format report|line|json] [--timeout SECONDS]\n"
    "              [--awake-window SECONDS] [--until-awake] [EXPRESSION]\n"
    "       lumora --check [-i IFACE] [--format line|json]\n"
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

struct Parse {
    bool macGiven = false;
    bool formatGiven = false;
    bool countGiven = false;
    bool directionGiven = false;
    bool awakeWindowGiven = false;
    bool gapGiven = false;
    bool help = false;
    bool version = false;
    bool failed = false;
};

// Digits only: no sign, no spaces, no base prefix.
bool ParseCount(const char* text, long* count) {
    if (text[0] == '\0' || std::strspn(text, "0123456789") != std::strlen(text)) return false;
    errno = 0;
    const long value = std::strtol(text, nullptr, kDecimal);
    if (errno != 0 || value <= 0 || value > INT_MAX) return false;
    *count = value;
    return true;
}

bool Usage(const char* format, const char* value) {
    char message[256];
    std::snprintf(message, sizeof message, format, value);
    PrintMessage("%s (see lumora --help)", message);
    return false;
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

bool SetOnce(const char** slot, const char* letter) {
    if (*slot != nullptr) return Usage("option '-%s' given twice", letter);
    *slot = optarg;
    return true;
}

bool TakeValue(int code, Options* options, Parse* parse) {
    switch (code) {
        case 'i': return SetOnce(&options->device, "i");
        case 'r': return SetOnce(&options->readFile, "r");
        case 'w': return SetOnce(&options->writeFile, "w");
        case 'Z': return SetOnce(&options->user, "Z");
        default: break;
    }
    if (parse->countGiven) return Usage("option '-%s' given twice", "c");
    parse->countGiven = true;
    if (ParseCount(optarg, &options->count)) return true;
    return Usage("bad count '%s': give a whole number from 1 up", optarg);
}

bool TakeTimeout(Options* options) {
    if (options->timeout != 0) return Usage("option '%s' given twice", "--timeout");
    if (ParseCount(optarg, &options->timeout)) return true;
    options->timeout = -1;  // given, and bad: a second one is still "given twice"
    return Usage("bad timeout '%s': give whole seconds from 1 up", optarg);
}

bool TakeAwakeWindow(Options* options, Parse* parse) {
    if (parse->awakeWindowGiven) return Usage("option '%s' given twice", "--awake-window");
    parse->awakeWindowGiven = true;
    if (ParseCount(optarg, &options->awakeWindow)) return true;
    return Usage("bad awake window '%s': give whole seconds from 1 up", optarg);
}

bool TakeGap(Options* options, Parse* parse) {
    if (parse->gapGiven) return Usage("option '%s' given twice", "--gap");
    parse->gapGiven = true;
    if (ParseCount(optarg, &options->gap) && options->gap <= kMergeMaxGapSeconds) return true;
    return Usage("bad gap '%s': give whole seconds from 1 to 86400", optarg);
}

bool TakeMac(Options* options, Parse* parse) {
    if (parse->macGiven) return Usage("option '%s' given twice", "--mac");
    parse->macGiven = true;
    options->filterMac = true;
    if (ParseMac(optarg, std::strlen(optarg), &options->mac)) return true;
    return Usage("bad MAC '%s': give it as 00:1A:2B:3C:4D:5E, 00-1a-2b-3c-4d-5e or 001a2b3c4d5e", optarg);
}

// The value `optarg` names in `known`; `bad` is the message when it names none.
template <typename Value, std::size_t Count>
bool TakeNamed(const char* option, const Named<Value> (&known)[Count], const char* bad, bool* given, Value* value) {
    if (*given) return Usage("option '%s' given twice", option);
    *given = true;
    for (const Named<Value>& word : known) {
        if (std::strcmp(optarg, word.name) != 0) continue;
        *value = word.value;
        return true;
    }
    return Usage(bad, optarg);
}

bool TakeOption(int code, const char* argument, Options* options, Parse* parse) {
    switch (code) {
        case 'i': case 'r': case 'w': case 'Z': case 'c': return TakeValue(code, options, parse);
        case 'D': options->listInterfaces = true; return true;
        case 'Q':
            return TakeNamed("-Q", kDirections, "bad direction '%s': give in, out or inout", &parse->directionGiven,
                             &options->direction);
        case kPromiscOption: options->promiscuous = true; return true;
        case 'h': parse->help = true; return true;
        case kVersionOption: parse->version = true; return true;
        case kMacOption: return TakeMac(options, parse);
        case kFormatOption:
            return TakeNamed("--format", kFormats, "bad format '%s': give report, line or json", &parse->formatGiven,
                             &options->format);
        case kCheckOption: options->check = true; return true;
        case kTimeoutOption: return TakeTimeout(options);
        case kListHintsOption: options->listHints = true; return true;
        case kAwakeWindowOption: return TakeAwakeWindow(options, parse);
        case kUntilAwakeOption: options->untilAwake = true; return true;
        case kMergeOption: options->merge = true; return true;
        case kGapOption: return TakeGap(options, parse);
        default: return BadOption(argument, code);
    }
}

// The argument getopt_long reads next; optind 0 means the first.
const char* CurrentArgument(int argc, char** argv) {
    const int at = optind == 0 ? 1 : optind;
    return at < argc ? argv[at] : "";
}

void TakeExpression(int argc, char** argv, Options* options) {
    for (int i = optind; i < argc; ++i) {
        if (!options->expression.empty()) options->expression += ' ';
        options->expression += argv[i];
    }
}

// --check reads the cards and captures nothing: it takes -i and a format of
// line or json (line when none is given).
bool CheckCheckCombination(Options* options, const Parse& parse) {
    const bool captureOption = options->readFile != nullptr || options->writeFile != nullptr ||
                               options->user != nullptr || parse.countGiven || options->timeout != 0 ||
                               parse.directionGiven || parse.awakeWindowGiven || options->untilAwake ||
                               options->promiscuous || options->filterMac || !options->expression.empty();
    if (captureOption) return Usage("%s takes only -i and --format", "--check");
    if (parse.formatGiven && options->format == OutputFormat::kReport)
        return Usage("%s prints line or json: give --format line or --format json", "--check");
    if (options->format == OutputFormat::kReport) options->format = OutputFormat::kLine;
    return true;
}

// A timeout ends a live capture; with it, one magic packet is what is awaited,
// or with --until-awake the target's outcome.
bool CheckTimeout(Options* options, const Parse& parse) {
    if (options->readFile != nullptr) return Usage("%s is for live capture: -r takes none", "--timeout");
    if (!parse.countGiven && !options->untilAwake) options->count = 1;
    return true;
}

// --until-awake waits for one target's outcome, and ends there, not at a
// count. It watches both ways unless told otherwise, so that the packet this
// machine sends opens the attempt ("lumora --until-awake & wakeonlan").
bool CheckUntilAwake(Options* options, const Parse& parse) {
    if (!options->filterMac) return Usage("%s needs the target: add --mac MAC", "--until-awake");
    if (parse.countGiven) return Usage("%s ends at the target's outcome: it takes no -c", "--until-awake");
    if (options->direction == Direction::kOut)
        return Usage("%s watches the target's own frames, which -Q out leaves out: give -Q inout", "--until-awake");
    if (!parse.directionGiven) options->direction = Direction::kInOut;
    return true;
}

// --merge reads records and captures nothing: it takes --format line or
// json (line when none is given), --gap and its files.
bool CheckMergeCombination(Options* options, const Parse& parse) {
    const bool other = options->device != nullptr || options->readFile != nullptr ||
                       options->writeFile != nullptr || options->user != nullptr || parse.countGiven ||
                       options->timeout != 0 || parse.directionGiven || parse.awakeWindowGiven ||
                       options->untilAwake || options->promiscuous || options->filterMac || options->check ||
                       options->listInterfaces || options->listHints;
    if (other) return Usage("%s takes only --format, --gap and files", "--merge");
    if (parse.formatGiven && options->format == OutputFormat::kReport)
        return Usage("%s prints line or json: give --format line or --format json", "--merge");
    if (options->format == OutputFormat::kReport) options->format = OutputFormat::kLine;
    if (options->fileCount > kMergeMaxFiles) return Usage("%s reads at most 64 files at once", "--merge");
    return true;
}

bool CheckCombination(Options* options, const Parse& parse) {
    if (parse.gapGiven && !options->merge) return Usage("%s goes with --merge", "--gap");
    if (options->merge) return CheckMergeCombination(options, parse);
    if (options->device != nullptr && std::strcmp(options->device, kEveryInterface) == 0)
        options->device = nullptr;
    if (options->check) return CheckCheckCombination(options, parse);
    if (options->untilAwake && !CheckUntilAwake(options, parse)) return false;
    if (options->timeout > 0 && !CheckTimeout(options, parse)) return false;
    if (options->readFile != nullptr && (options->device != nullptr || options->promiscuous))
        return Usage("%s reads a file: -r takes no -i or --promisc", "lumora -r");
    // Promiscuous mode belongs to one interface; -i says which.
    if (options->promiscuous && options->readFile == nullptr && options->device == nullptr)
        return Usage("%s needs an interface: add -i IFACE", "--promisc");
    if (options->writeFile != nullptr && std::strcmp(options->writeFile, kStandardStream) == 0)
        return Usage("%s: standard output carries the reports, name a file", "-w -");
    return true;
}

}  // namespace

OptionsOutcome ParseOptions(int argc, char** argv, Options* options) {
    opterr = 0;
    optind = 0;  // glibc: a full restart, so the parser can run more than once
    Parse parse;
    for (;;) {
        const char* argument = CurrentArgument(argc, argv);
        const int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
        if (code == -1) break;
        if (!parse.failed && !TakeOption(code, argument, options, &parse)) parse.failed = true;
    }
    // --merge's words are files, not a filter expression.
    if (options->merge) {
        options->files = argv + optind;
        options->fileCount = argc - optind;
    } else {
        TakeExpression(argc, argv, options);
    }
    if (parse.failed || !CheckCombination(options, parse)) return OptionsOutcome::kBadUsage;
    if (parse.help) std::fputs(kHelp, stdout);
    if (parse.version && !parse.help) std::puts("lumora " LUMORA_VERSION_DOTTED);
    return parse.help || parse.version ? OptionsOutcome::kDone : OptionsOutcome::kRun;
}
