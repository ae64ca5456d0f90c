#include "linux/facts/makers.h"

#include <cstdio>
#include <cstring>

#include "analysis/oui_registry.h"
#include "base/mac_text.h"
#include "linux/facts/oui_file.h"

namespace {

constexpr int kRegistryFiles = static_cast<int>(sizeof kOuiRegistryFiles / sizeof kOuiRegistryFiles[0]);
constexpr int kKeptAnswers = 16;
// A scan costs some 0.3 ms, the index some 10 ms: past this many scans the
// index pays.
constexpr int kScansBeforeIndex = 16;

struct Answer {
    bool used;
    unsigned char mac[kMacLength];
    char vendor[kVendorNameSize];
};

// One per run.
struct Book {
    bool mapped;
    MappedText files[kRegistryFiles];
    Answer kept[kKeptAnswers];
    int nextKept;
    int scans;
    bool indexed;
    OuiRegistry index;
};

Book book;
OuiEntry slots[kOuiSlotCapacity];

const Answer* Kept(const unsigned char* mac) {
    for (const Answer& answer : book.kept)
        if (answer.used && std::memcmp(answer.mac, mac, kMacLength) == 0) return &answer;
    return nullptr;
}

void Find(const unsigned char* mac, char* vendor) {
    if (book.scans < kScansBeforeIndex) {
        ++book.scans;
        OuiMatch best{nullptr, 0, 0};
        for (const MappedText& file : book.files) ScanOuiText(file.text, file.length, mac, &best);
        VendorOfMatch(best, vendor, kVendorNameSize);
        return;
    }
    if (!book.indexed) {
        book.indexed = true;
        StartOuiRegistry(&book.index, slots, kOuiSlotCapacity);
        for (const MappedText& file : book.files) AddOuiText(&book.index, file.text, file.length);
    }
    LookUpVendor(book.index, mac, vendor, kVendorNameSize);
}

}  // namespace

bool LookUpMaker(const unsigned char* mac, char* name, int size) {
    if (name == nullptr || size <= 0) return false;
    name[0] = '\0';
    if (mac == nullptr) return false;
    if (!book.mapped) {
        book.mapped = true;
        for (int i = 0; i < kRegistryFiles; ++i) book.files[i] = MapOuiFile(kOuiRegistryFiles[i]);
    }
    const Answer* answer = Kept(mac);
    if (answer == nullptr) {
        Answer& slot = book.kept[book.nextKept];
        book.nextKept = (book.nextKept + 1) % kKeptAnswers;
        slot.used = true;
        std::memcpy(slot.mac, mac, kMacLength);
        Find(mac, slot.vendor);
        answer = &slot;
    }
    std::snprintf(name, static_cast<std::size_t>(size), "%s", answer->vendor);
    return name[0] != '\0';
}
