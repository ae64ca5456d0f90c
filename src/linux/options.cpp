#include "linux/options.h"

#include "linux/diagnostics.h"
#include "version.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kDecimal = 10;

// Long options without a short form.
enum LongOnly {
    kPromiscOption = 256,  // past every char value
    kVersionOption,
};

// '+': stop at the first non-option, so argv[optind] before each call is the
// argument being read. ':': a missing value is told apart from a bad option.
constexpr char kShortOptions[] = "+:i:c:h";

const option kLongOptions[] = {
    {"interface", required_argument, nullptr, 'i'},
    {"count", required_argument, nullptr, 'c'},
    {"promisc", no_argument, nullptr, kPromiscOption},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersionOption},
    {nullptr, 0, nullptr, 0},
};

constexpr char kHelp[] =
    "Usage: lumora [-i IFACE] [--promisc] [-c COUNT]\n"
    "Prints a report for every Wake-on-LAN magic packet this machine receives:\n"
    "UDP datagrams on any port and raw Ethernet frames of EtherType 0x0842.\n"
    "\n"
    "  -i, --interface IFACE  watch only IFACE (default: every interface)\n"
    "      --promisc          put IFACE in promiscuous mode, to also see unicast\n"
    "                         frames for other hosts (on a mirrored port)\n"
    "  -c, --count COUNT      exit after COUNT reports\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "Needs root or CAP_NET_RAW. Ctrl-C stops it.\n";

bool ParseCount(const char* text, long* count) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, kDecimal);
    if (errno != 0 || end == text || *end != '\0' || value <= 0 || value > INT_MAX) return false;
    *count = value;
    return true;
}

// getopt_long's own messages are off, so each error is exactly one line.
// A long option is named as given; a short one by its letter, since it may
// sit inside a cluster such as -xc5.
OptionsOutcome BadOption(const char* argument, int code) {
    const bool isLong = argument[0] == '-' && argument[1] == '-';
    const char shortName[] = {'-', static_cast<char>(optopt), '\0'};
    const char* name = isLong ? argument : shortName;
    if (code == ':')
        PrintMessage("option '%s' needs a value (see lumora --help)", name);
    else
        PrintMessage("bad option '%s' (see lumora --help)", name);
    return OptionsOutcome::kBadUsage;
}

OptionsOutcome CheckCombination(int argc, char** argv, const Options& options) {
    if (optind < argc) {
        PrintMessage("unexpected argument '%s' (see lumora --help)", argv[optind]);
        return OptionsOutcome::kBadUsage;
    }
    // Promiscuous mode belongs to one interface; -i says which.
    if (options.promiscuous && options.interface == nullptr) {
        PrintMessage("--promisc needs an interface: add -i IFACE");
        return OptionsOutcome::kBadUsage;
    }
    return OptionsOutcome::kRun;
}

}  // namespace

OptionsOutcome ParseOptions(int argc, char** argv, Options* options) {
    opterr = 0;
    for (;;) {
        const char* argument = optind < argc ? argv[optind] : "";
        const int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
        if (code == -1) break;
        switch (code) {
            case 'i':
                options->interface = optarg;
                break;
            case 'c':
                if (!ParseCount(optarg, &options->count)) {
                    PrintMessage("bad count '%s': give a whole number from 1 up", optarg);
                    return OptionsOutcome::kBadUsage;
                }
                break;
            case kPromiscOption:
                options->promiscuous = true;
                break;
            case 'h':
                std::fputs(kHelp, stdout);
                return OptionsOutcome::kDone;
            case kVersionOption:
                std::puts("lumora " LUMORA_VERSION_DOTTED);
                return OptionsOutcome::kDone;
            default:
                return BadOption(argument, code);
        }
    }
    return CheckCombination(argc, argv, *options);
}
