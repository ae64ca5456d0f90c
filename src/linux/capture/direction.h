// -Q, as tcpdump spells it: which frames to watch. Apart from the capture
// handles, so that what only needs the word needs no libpcap.
#pragma once

enum class Direction {
    kIn,     // what this machine receives: the target's view
    kOut,    // what it sends: the sender's view
    kInOut,  // both
};
