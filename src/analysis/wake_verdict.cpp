// The verdict on one magic packet's copies and password.
#include "analysis/wake_verdict.h"

#include <cstring>

#include "analysis/magic_packet.h"
#include "base/mac_text.h"

namespace {

constexpr int kFourBytePassword = 4;
constexpr int kSixBytePassword = 6;

int CopiesReceived(int mac, int end) {
    if (end <= mac) return 0;
    const int whole = (end - mac) / kMacLength;
    return whole < kMacRepetitions ? whole : kMacRepetitions;
}

// Copy 0 counts when received; every later copy must repeat it.
int IntactCopies(const unsigned char* bytes, int mac, int received) {
    if (received == 0) return 0;
    int intact = 1;
    while (intact < received &&
           std::memcmp(bytes + mac + intact * kMacLength, bytes + mac, kMacLength) == 0)
        ++intact;
    return intact;
}

PasswordKind KindOfPassword(int length) {
    if (length < kMinPasswordBytes) return PasswordKind::kNone;
    if (length == kFourBytePassword) return PasswordKind::kFour;
    if (length == kSixBytePassword) return PasswordKind::kSix;
    return PasswordKind::kUnusual;
}

}  // namespace

WakeVerdict JudgeMagicPacket(const unsigned char* bytes, int sync, int end) {
    WakeVerdict verdict{0, 0, 0, true, PasswordKind::kNone, 0, 0, false};
    if (bytes == nullptr || sync < 0) return verdict;
    const MagicLayout at = LayoutAfterSync(sync);
    verdict.macOffset = at.mac;
    verdict.copiesReceived = CopiesReceived(at.mac, end);
    verdict.repetitions = IntactCopies(bytes, at.mac, verdict.copiesReceived);
    verdict.endedEarly = verdict.copiesReceived < kMacRepetitions;
    verdict.passwordOffset = at.password;
    verdict.password = KindOfPassword(end - at.password);
    if (verdict.password != PasswordKind::kNone) verdict.passwordLength = end - at.password;
    verdict.wellFormed = verdict.repetitions == kMacRepetitions && verdict.password != PasswordKind::kUnusual;
    return verdict;
}
