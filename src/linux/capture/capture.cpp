// Opening libpcap's handles (live or a file), checking the link, installing
// the filter, the -w file, -D and the kernel's drop count.
#include "linux/capture/capture.h"

#include "analysis/link_layer.h"
#include "linux/capture/capture_filter.h"
#include "linux/capture/diagnostics.h"
#include "linux/capture/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

// The link-layer decoding is portable, so it spells libpcap's numbers out itself.
static_assert(kLinkNull == DLT_NULL && kLinkEthernet == DLT_EN10MB && kLinkRaw == DLT_RAW && kLinkLoop == DLT_LOOP,
              "BSD loopback, Ethernet and raw IP as libpcap numbers them");
static_assert(kLinkLinuxCooked == DLT_LINUX_SLL && kLinkLinuxCooked2 == DLT_LINUX_SLL2 && kLinkIpv4 == DLT_IPV4 &&
                  kLinkIpv6 == DLT_IPV6,
              "the cooked and IP links as libpcap numbers them");

namespace {

// Frames are kept whole, so a -w file holds them as they were captured.
constexpr int kSnapshotLength = 262144;
// A flood of several hundred thousand small datagrams a second fits while
// reports are written.
constexpr int kRingBytes = 64 * 1024 * 1024;
// A report shows within a fraction of a second; immediate mode would wake
// lumora once per frame and cost many times the CPU.
constexpr int kBufferTimeoutMs = 100;
constexpr char kEveryInterface[] = "any";
constexpr int kOptimize = 1;
constexpr int kInterfaceLineSize = 512;  // a name and a description, as libpcap gives them
// Reads a capture file in large pieces: stdio's default of one block per
// read() would make the system calls cost more than the analysis.
constexpr std::size_t kFileBufferBytes = 1024 * 1024;
constexpr char kStandardInput[] = "-";

void ExplainActivateFailure(pcap_t* handle, int status, const char* device) {
    if (status == PCAP_ERROR_PERM_DENIED) {
        PrintMessage("cannot capture: permission denied (lumora needs root or CAP_NET_RAW)");
        return;
    }
    if (status == PCAP_ERROR_NO_SUCH_DEVICE) {
        PrintMessage("no such interface: %s", device);
        return;
    }
    PrintMessage("cannot capture on %s: %s", device, pcap_geterr(handle));
}

void Configure(pcap_t* handle, bool promiscuous) {
    pcap_set_snaplen(handle, kSnapshotLength);
    pcap_set_promisc(handle, promiscuous ? 1 : 0);
    pcap_set_timeout(handle, kBufferTimeoutMs);
    pcap_set_buffer_size(handle, kRingBytes);
}

pcap_direction_t PcapDirection(Direction direction) {
    switch (direction) {
        case Direction::kOut: return PCAP_D_OUT;
        case Direction::kInOut: return PCAP_D_INOUT;
        case Direction::kIn: break;
    }
    return PCAP_D_IN;
}

bool Activate(pcap_t* handle, const char* device, Direction direction) {
    const int status = pcap_activate(handle);
    if (status < 0) {
        ExplainActivateFailure(handle, status, device);
        return false;
    }
    if (status > 0) PrintMessage("warning: %s: %s", device, pcap_statustostr(status));
    // By default what this machine sends is left out: it is no wake-up for it.
    if (pcap_setdirection(handle, PcapDirection(direction)) == 0) return true;
    PrintMessage("cannot choose the direction of capture on %s: %s", device, pcap_geterr(handle));
    return false;
}

bool Compile(pcap_t* handle, const std::string& expression, bpf_program* program) {
    return pcap_compile(handle, program, expression.c_str(), kOptimize, PCAP_NETMASK_UNKNOWN) == 0;
}

// "1.eth0 [Up, Running]", as tcpdump -D prints it, into text[0, size).
void FormatInterface(int number, const pcap_if_t* device, char* text, int size) {
    const bool up = (device->flags & PCAP_IF_UP) != 0;
    const bool running = (device->flags & PCAP_IF_RUNNING) != 0;
    const bool loopback = (device->flags & PCAP_IF_LOOPBACK) != 0;
    std::snprintf(text, static_cast<std::size_t>(size), "%d.%s%s%s%s [%s%s%s]\n", number, device->name,
                  device->description ? " (" : "", device->description ? device->description : "",
                  device->description ? ")" : "", up ? "Up" : "Down", running ? ", Running" : "",
                  loopback ? ", Loopback" : "");
}

}  // namespace

pcap_t* OpenLiveCapture(const char* name, bool promiscuous, Direction direction) {
    const char* device = name != nullptr ? name : kEveryInterface;
    char error[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = pcap_create(device, error);
    if (handle == nullptr) {
        PrintMessage("cannot capture on %s: %s", device, error);
        return nullptr;
    }
    Configure(handle, promiscuous);
    if (!Activate(handle, device, direction)) {
        pcap_close(handle);
        return nullptr;
    }
    // The second cooked header records the interface each frame came in on.
    // Where it is refused, the first still captures.
    if (name == nullptr) pcap_set_datalink(handle, DLT_LINUX_SLL2);
    return handle;
}

pcap_t* OpenCaptureFile(const char* path) {
    const bool standardInput = std::strcmp(path, kStandardInput) == 0;
    std::FILE* file = standardInput ? stdin : std::fopen(path, "rb");
    if (file == nullptr) {
        PrintMessage("cannot read %s: %s", path, std::strerror(errno));
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IOFBF, kFileBufferBytes);
    char error[PCAP_ERRBUF_SIZE] = "";
    pcap_t* handle = pcap_fopen_offline(file, error);  // closes the file with the handle
    if (handle != nullptr) return handle;
    PrintMessage("cannot read %s: %s", path, error);
    if (!standardInput) std::fclose(file);
    return nullptr;
}

bool CheckLinkType(pcap_t* handle, const char* source) {
    const int linkType = pcap_datalink(handle);
    if (IsSupportedLinkType(linkType)) return true;
    const char* name = pcap_datalink_val_to_name(linkType);
    const char* description = pcap_datalink_val_to_description(linkType);
    PrintMessage("%s: link type %d (%s, %s) is not supported", source, linkType, name ? name : "unknown",
                 description ? description : "no description");
    return false;
}

FilterStatus InstallFilter(pcap_t* handle, const FilterChoice& choice, bpf_program* user) {
    *user = bpf_program{};
    if (!choice.expression.empty() && !Compile(handle, choice.expression, user)) {
        PrintMessage("bad filter expression '%s': %s", choice.expression.c_str(), pcap_geterr(handle));
        return FilterStatus::kBadExpression;
    }
    if (!choice.live) return FilterStatus::kInstalled;
    bpf_program own{};
    if (!Compile(handle, CaptureFilter(pcap_datalink(handle), choice.watchedMac), &own)) {
        PrintMessage("cannot build the capture filter: %s", pcap_geterr(handle));
        return FilterStatus::kFailed;
    }
    const bool installed = pcap_setfilter(handle, &own) == 0;
    if (!installed) PrintMessage("cannot install the capture filter: %s", pcap_geterr(handle));
    pcap_freecode(&own);
    return installed ? FilterStatus::kInstalled : FilterStatus::kFailed;
}

bool MatchesUserFilter(const bpf_program& user, const pcap_pkthdr* header, const unsigned char* bytes) {
    return user.bf_insns == nullptr || pcap_offline_filter(&user, header, bytes) != 0;
}

pcap_dumper_t* OpenFrameFile(pcap_t* handle, const char* path) {
    pcap_dumper_t* file = pcap_dump_open(handle, path);
    if (file == nullptr) PrintMessage("cannot write %s: %s", path, pcap_geterr(handle));
    return file;
}

bool WriteFrame(pcap_dumper_t* file, const pcap_pkthdr* header, const unsigned char* bytes) {
    pcap_dump(reinterpret_cast<unsigned char*>(file), header, bytes);
    if (pcap_dump_flush(file) == 0) return true;
    PrintMessage("cannot write the frame file: %s", std::strerror(errno));
    return false;
}

Written ListInterfaces() {
    pcap_if_t* devices = nullptr;
    char error[PCAP_ERRBUF_SIZE] = "";
    if (pcap_findalldevs(&devices, error) != 0) {
        PrintMessage("cannot list the interfaces: %s", error);
        return Written::kFailed;
    }
    int number = 1;
    Written written = Written::kWhole;
    for (const pcap_if_t* device = devices; device != nullptr && written == Written::kWhole; device = device->next) {
        char line[kInterfaceLineSize];
        FormatInterface(number++, device, line, sizeof line);
        written = PrintOut(line, static_cast<int>(std::strlen(line)));
    }
    pcap_freealldevs(devices);
    return written;
}

unsigned KernelDrops(pcap_t* handle) {
    pcap_stat stats{};
    if (pcap_stats(handle, &stats) != 0) return 0;
    return stats.ps_drop;
}
