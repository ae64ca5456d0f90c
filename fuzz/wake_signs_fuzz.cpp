// Feeds arbitrary bytes to the sign classifier and to the OUI registry
// parser. The first byte chooses; for the classifier the next two are the
// EtherType, for the registry the next six the MAC looked up.
#include "analysis/oui_registry.h"
#include "analysis/wake_signs.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kEtherTypeBytes = 2;
constexpr std::size_t kMacBytes = 6;
constexpr int kFuzzSlots = 4096;

void FuzzClassifier(const std::uint8_t* data, std::size_t size) {
    if (size < kEtherTypeBytes) return;
    // Exact-size copy: AddressSanitizer sees any read past the frame.
    const std::vector<unsigned char> frame(data + kEtherTypeBytes, data + size);
    const int etherType = (data[0] << 8) | data[1], length = static_cast<int>(frame.size());
    WakeSignSource source{};
    const WakeSign searched = ClassifyWakeSign(etherType, frame.data(), length, &source);
    // Leaving the search out may only turn "none" into a sign.
    if (searched != WakeSign::kNone && searched != ClassifyNonMagicFrame(etherType, frame.data(), length, &source))
        std::abort();
}

void FuzzRegistry(const std::uint8_t* data, std::size_t size) {
    if (size < kMacBytes) return;
    const std::vector<char> text(data + kMacBytes, data + size);
    static OuiEntry slots[kFuzzSlots];
    OuiRegistry registry{};
    StartOuiRegistry(&registry, slots, kFuzzSlots);
    AddOuiText(&registry, text.data(), static_cast<int>(text.size()));
    char name[kVendorNameSize];
    std::memset(name, 'x', sizeof name);
    const bool found = LookUpVendor(registry, data, name, sizeof name);
    if (std::memchr(name, '\0', sizeof name) == nullptr || found != (name[0] != '\0')) std::abort();
    OuiMatch match{nullptr, 0, 0};
    ScanOuiText(text.data(), static_cast<int>(text.size()), data, &match);
    std::memset(name, 'x', sizeof name);
    if (VendorOfMatch(match, name, sizeof name) != (name[0] != '\0') || std::memchr(name, '\0', sizeof name) == nullptr)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    (data[0] % 2 == 0 ? FuzzClassifier : FuzzRegistry)(data + 1, size - 1);
    return 0;
}
