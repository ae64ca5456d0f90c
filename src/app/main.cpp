// Lumora's entry: listens to the host's first IPv4 address and shows every
// Wake-on-LAN magic packet that reaches it.
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunLumora(kReceiveAllSetup); }
