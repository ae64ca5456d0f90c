// The command line, in the manner of tcpdump and ping.
#pragma once

struct Options {
    const char* interface = nullptr;  // nullptr: every interface
    bool promiscuous = false;
    long count = 0;  // reports before exiting; 0: until stopped
};

enum class OptionsOutcome {
    kRun,        // capture with the options
    kDone,       // help or version printed: exit with success
    kBadUsage,   // a one-line error printed: exit with kExitUsage
};

OptionsOutcome ParseOptions(int argc, char** argv, Options* options);
