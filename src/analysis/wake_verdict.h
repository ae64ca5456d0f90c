// Would a network card act on this magic packet? The verdict on one packet
// that the report has already recognised, read from the same positions the
// report uses. Portable, like the rest of src/analysis.
#pragma once

enum class PasswordKind {
    kNone,     // fewer than four bytes follow the sixteen copies
    kFour,     // what cards accept: four bytes (often written as an IPv4 address)
    kSix,      // or six (SecureOn)
    kUnusual,  // any other length: no card takes it
};

struct WakeVerdict {
    int macOffset;       // first byte of copy 0, the target MAC, right after the stream
    int repetitions;     // intact MAC copies, counted from the first (0-16)
    int copiesReceived;  // copies whose six bytes all lie within the data (0-16)
    bool endedEarly;     // the data ended before all sixteen copies
    PasswordKind password;
    int passwordOffset;  // first byte after the sixteen copies
    int passwordLength;  // bytes from passwordOffset to the end; 0 with kNone
    bool wellFormed;     // sixteen intact copies and a password of none, 4 or 6 bytes
};

// The verdict for the magic packet whose sync stream starts at `sync` in
// bytes[0, end) (a datagram or a frame, as FindSyncStream found it). Copy 0
// is the target MAC itself, intact when all its six bytes were received; copy
// k is intact when received and equal to copy 0. The password is every byte
// from the end of the copies to `end` when there are at least four, as in the
// report. Reads no byte at or past `end`; a negative `sync` or a null `bytes`
// gives a verdict with nothing intact.
WakeVerdict JudgeMagicPacket(const unsigned char* bytes, int sync, int end);
