// Who made a target's card, from Debian's ieee-data. The registry is mapped
// when the first maker is asked for and scanned for the first targets; a run
// that asks for many (a flood of random MACs) indexes it once; each answer
// is kept for the target's next packets.
#pragma once

// The maker of `mac` (six bytes) into name[0, size), terminated; false, "",
// when the registry has none or is not installed.
bool LookUpMaker(const unsigned char* mac, char* name, int size);
