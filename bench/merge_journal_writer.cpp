// Writes what `journalctl -o json` prints on a collector that gathers the
// journals of several hosts running lumora@: ENTRIES entries, one JSON object
// per line, in time order but for each host's few seconds of clock skew.
// Senders' lumora records (direction out), monitors' (in) and their awake
// records, for many targets at once, among lumora's own messages, other
// units' entries and now and then a MESSAGE that is not text.
//   merge_journal_writer ENTRIES > FILE
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <queue>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr unsigned kSeed = 20261207;
constexpr long long kFirstInstant = 1796635443000000LL;  // 2026-12-07 09:24:03 UTC, in microseconds
constexpr long long kMicrosecondsPerSecond = 1000000;
constexpr long long kAttemptSpacingMax = 3 * kMicrosecondsPerSecond;  // between two attempts' starts
constexpr long long kPacketSpacing = kMicrosecondsPerSecond;
constexpr long long kSkewMax = 2 * kMicrosecondsPerSecond;  // of a monitor's clock
constexpr long long kWakeDelay = 20 * kMicrosecondsPerSecond;
constexpr long long kFlushBehind = 60 * kMicrosecondsPerSecond;  // entries this far behind an attempt's start are final
constexpr int kTargets = 64;
constexpr int kMaxPackets = 4;
constexpr int kPercent = 100;
constexpr int kSeenPercent = 70;     // attempts a monitor sees
constexpr int kAwakePercent = 80;    // of those, attempts with an awake record
constexpr int kOtherPercent = 12;    // entries that are not lumora records
constexpr int kBinaryPercent = 5;    // of those, a MESSAGE of bytes
constexpr int kSecondsPerMinute = 60;
constexpr int kPayloadBytes = 102;   // six 0xFF and sixteen copies of the MAC
constexpr int kMacBytes = 6;
constexpr int kSyncBytes = 6;
constexpr int kCopies = 16;

struct Host {
    const char* name;
    const char* interface;
    const char* address;
    int offsetMinutes;  // the host's UTC offset, as its records write their time
    const char* machineId;
};

constexpr Host kSenders[] = {
    {"pc-a", "eth0", "10.1.0.5", 0, "a1f0c3d2e4b5a6978877665544332211"},
    {"pc-b", "enp3s0", "10.1.0.6", 60, "b2f0c3d2e4b5a6978877665544332211"},
    {"build-3", "eno1", "10.3.0.9", -300, "c3f0c3d2e4b5a6978877665544332211"},
};
constexpr Host kMonitors[] = {
    {"lab-1", "eth1", "10.2.0.2", 0, "d4f0c3d2e4b5a6978877665544332211"},
    {"lab-2", "eth0", "10.4.0.2", 60, "e5f0c3d2e4b5a6978877665544332211"},
    {"lab-3", "enp1s0", "10.5.0.2", 0, "f6f0c3d2e4b5a6978877665544332211"},
    {"lab-4", "eth0", "10.6.0.2", 120, "07f0c3d2e4b5a6978877665544332211"},
};
constexpr const char* kVendors[] = {"Dell Inc.", "Hewlett Packard", "Intel Corporate", "LCFC(HeFei) Electronics"};
constexpr const char* kOutcomes[] = {"woke", "woke", "woke", "no_sign", "already_awake"};
constexpr const char* kOtherMessages[] = {
    "lumora: listening on eth1 (Ethernet), in only",
    "Accepted publickey for backup from 10.9.0.4 port 51234 ssh2: ED25519 SHA256:q8Xb3n0Vn2cWq0t1",
    "(root) CMD (run-parts --report /etc/cron.hourly)",
    "Started Daily apt download activities.",
};
constexpr const char* kOtherUnits[] = {"lumora@eth1.service", "ssh.service", "cron.service", "init.scope"};

struct Entry {
    long long instant;
    std::string line;
    bool operator>(const Entry& other) const { return instant > other.instant; }
};

using EntryQueue = std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>>;

std::mt19937 random_(kSeed);

int Chance(int percent) { return static_cast<int>(random_() % kPercent) < percent; }

template <typename T, std::size_t N>
const T& Pick(const T (&items)[N]) {
    return items[random_() % N];
}

// RFC 3339 in the host's own offset, with microseconds, as lumora writes it.
std::string Rfc3339(long long instant, int offsetMinutes) {
    const long long local = instant + offsetMinutes * kSecondsPerMinute * kMicrosecondsPerSecond;
    const std::time_t seconds = static_cast<std::time_t>(local / kMicrosecondsPerSecond);
    std::tm civil{};
    gmtime_r(&seconds, &civil);
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lld%c%02d:%02d", civil.tm_year + 1900,
                  civil.tm_mon + 1, civil.tm_mday, civil.tm_hour, civil.tm_min, civil.tm_sec,
                  local % kMicrosecondsPerSecond, offsetMinutes < 0 ? '-' : '+', magnitude / kSecondsPerMinute,
                  magnitude % kSecondsPerMinute);
    return text;
}

std::string MacText(int target) {
    char text[24];
    std::snprintf(text, sizeof text, "00:1A:2B:3C:%02X:%02X", target / 256, target % 256);
    return text;
}

std::string Payload(int target) {
    std::string hex;
    for (int i = 0; i < kSyncBytes; ++i) hex += "FF";
    const std::string mac = MacText(target);
    for (int copy = 0; copy < kCopies; ++copy)
        for (int i = 0; i < kMacBytes; ++i) hex += mac.substr(static_cast<std::size_t>(i) * 3, 2);
    return hex.substr(0, kPayloadBytes * 2);
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string MagicRecord(const Host& host, bool outgoing, long long instant, int target, const Host& sender) {
    const std::string hint = outgoing
        ? ",{\"code\":\"not-this-subnet\",\"text\":\"10.2.0.255 is in no subnet of " + std::string(host.interface) +
              ": the sender meant another network, and routers drop broadcasts sent to another network by "
              "default; send to the broadcast address of the target's own subnet.\",\"guide\":"
              "\"troubleshooting.html#not-this-subnet\"}"
        : "";
    return "{\"record\":\"magic\",\"host\":\"" + std::string(host.name) + "\",\"time\":\"" +
           Rfc3339(instant, host.offsetMinutes) + "\",\"interface\":\"" + host.interface + "\",\"direction\":\"" +
           (outgoing ? "out" : "in") + "\",\"kind\":\"udp4\",\"source\":\"" + sender.address +
           "\",\"destination\":\"10.2.0.255\",\"source_port\":40000,\"destination_port\":9,\"udp_length\":110,"
           "\"udp_checksum\":4660,\"target_mac\":\"" + MacText(target) + "\",\"target_vendor\":\"" +
           kVendors[target % 4] + "\",\"repetitions\":16,\"password\":null,\"well_formed\":true,\"payload\":\"" +
           Payload(target) + "\",\"truncated\":false,\"target_interface\":null,\"target_name\":null,"
           "\"target_ip\":null,\"delivery\":\"broadcast\",\"ip_destination\":\"" +
           (outgoing ? "other_subnet" : "subnet_broadcast") + "\",\"vlan\":null,\"would_wake\":null,\"hints\":[" +
           "{\"code\":\"not-this-machine\",\"text\":\"The target " + MacText(target) +
           " is no interface of this machine: if this is the machine to wake, send to the MAC of its wired card "
           "('ip link' shows it).\",\"guide\":\"troubleshooting.html#not-this-machine\"}" + hint + "]}";
}

std::string AwakeRecord(const Host& host, long long instant, long long magicInstant, int target) {
    const std::string outcome = Pick(kOutcomes);
    const bool sign = outcome != "no_sign";
    return "{\"record\":\"awake\",\"time\":\"" + Rfc3339(instant, host.offsetMinutes) + "\",\"host\":\"" +
           host.name + "\",\"interface\":\"" + host.interface + "\",\"target_mac\":\"" + MacText(target) +
           "\",\"outcome\":\"" + outcome + "\",\"seconds\":" + std::to_string((instant - magicInstant) / 1000) +
           "e-3,\"evidence\":" + (sign ? "\"dhcp\"" : "null") + ",\"evidence_source\":" +
           (sign ? "\"10.2.0.77\"" : "null") + ",\"magic_time\":\"" + Rfc3339(magicInstant, host.offsetMinutes) +
           "\"}";
}

// The fields journald stores with every line a unit writes, MESSAGE among them.
std::string JournalEntry(const Host& host, long long instant, const char* unit, const std::string& message) {
    static long sequence = 0;
    ++sequence;
    char head[512];
    std::snprintf(head, sizeof head,
                  "{\"__CURSOR\":\"s=4f1c0b7e2d9a4c3b8e6f5a4d3c2b1a09;i=%lx;b=9e8d7c6b5a4f3e2d1c0b9a8f7e6d5c4b;"
                  "m=%llx;t=%llx;x=%lx\",\"__REALTIME_TIMESTAMP\":\"%lld\",\"__MONOTONIC_TIMESTAMP\":\"%lld\","
                  "\"_BOOT_ID\":\"9e8d7c6b5a4f3e2d1c0b9a8f7e6d5c4b\",\"PRIORITY\":\"6\",\"SYSLOG_FACILITY\":\"3\","
                  "\"_UID\":\"0\",\"_GID\":\"0\",\"_MACHINE_ID\":\"%s\",\"_HOSTNAME\":\"%s\",\"_TRANSPORT\":\"stdout\",",
                  sequence, instant / 7, instant, sequence * 7919, instant, instant / 7, host.machineId, host.name);
    return std::string(head) + "\"SYSLOG_IDENTIFIER\":\"lumora\",\"MESSAGE\":" + message +
           ",\"_PID\":\"812\",\"_COMM\":\"lumora\",\"_EXE\":\"/usr/bin/lumora\",\"_CMDLINE\":\"/usr/bin/lumora -i " +
           host.interface + " --format json\",\"_SYSTEMD_CGROUP\":\"/system.slice/system-lumora.slice/" + unit +
           "\",\"_SYSTEMD_UNIT\":\"" + unit + "\",\"_SYSTEMD_SLICE\":\"system-lumora.slice\","
           "\"_SYSTEMD_INVOCATION_ID\":\"5b4a39281706f5e4d3c2b1a098f7e6d5\"}";
}

std::string JournalRecord(const Host& host, long long instant, const std::string& record) {
    const std::string unit = std::string("lumora@") + host.interface + ".service";
    return JournalEntry(host, instant, unit.c_str(), Quoted(record));
}

void OtherEntry(EntryQueue* queue, long long instant) {
    const Host& host = Pick(kMonitors);
    const std::string message = Chance(kBinaryPercent) ? "[108,117,109,111,114,97,255,10]" : Quoted(Pick(kOtherMessages));
    queue->push({instant, JournalEntry(host, instant, Pick(kOtherUnits), message)});
}

// One sender's packets for one target, the monitor's sightings with its skew,
// and the monitor's awake record: each an entry in the queue.
int Attempt(EntryQueue* queue, long long start) {
    const Host& sender = Pick(kSenders);
    const Host& monitor = Pick(kMonitors);
    const int target = static_cast<int>(random_() % kTargets);
    const int packets = 1 + static_cast<int>(random_() % kMaxPackets);
    const bool seen = Chance(kSeenPercent);
    const long long skew = static_cast<long long>(random_() % (2 * kSkewMax)) - kSkewMax;
    int entries = 0;
    for (int i = 0; i < packets; ++i) {
        const long long sent = start + i * kPacketSpacing;
        queue->push({sent, JournalRecord(sender, sent, MagicRecord(sender, true, sent, target, sender))});
        ++entries;
        if (!seen) continue;
        queue->push({sent + skew, JournalRecord(monitor, sent + skew, MagicRecord(monitor, false, sent + skew, target, sender))});
        ++entries;
    }
    if (!seen || !Chance(kAwakePercent)) return entries;
    const long long awake = start + skew + kWakeDelay;
    queue->push({awake, JournalRecord(monitor, awake, AwakeRecord(monitor, awake, start + skew, target))});
    return entries + 1;
}

void Flush(EntryQueue* queue, long long before, long* left) {
    while (!queue->empty() && *left > 0 && (before < 0 || queue->top().instant < before)) {
        std::fputs(queue->top().line.c_str(), stdout);
        std::fputc('\n', stdout);
        queue->pop();
        --*left;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long entries = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (entries <= 0) {
        std::fprintf(stderr, "usage: merge_journal_writer ENTRIES > FILE\n");
        return 2;
    }
    EntryQueue queue;
    long left = entries;
    long queued = 0;
    long long start = kFirstInstant;
    while (queued < entries) {
        queued += Attempt(&queue, start);
        for (; Chance(kOtherPercent) && queued < entries; ++queued) OtherEntry(&queue, start);
        start += static_cast<long long>(random_() % kAttemptSpacingMax);
        Flush(&queue, start - kFlushBehind, &left);
    }
    Flush(&queue, -1, &left);
    return std::ferror(stdout) ? 1 : 0;
}
