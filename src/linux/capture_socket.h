// The AF_PACKET socket that sees every frame of one interface or of all.
#pragma once

// What the kernel tells about each captured frame besides its bytes.
struct FrameInfo {
    int length;        // bytes received, from the link-layer header on
    int packetType;    // PACKET_HOST, PACKET_BROADCAST, PACKET_OUTGOING, ...
    int hardwareType;  // ARPHRD_ETHER, ARPHRD_LOOPBACK, ARPHRD_NONE, ...
    int protocol;      // EtherType, host byte order
};

enum class ReceiveStatus { kFrame, kNothing, kError };

// Opens a non-blocking capture socket on `interface` (nullptr: every
// interface), promiscuous when asked. On failure prints one line and
// returns -1.
int OpenCaptureSocket(const char* interface, bool promiscuous);

// Reads one frame into buffer[0, size). kNothing when none is waiting or a
// signal came; kError (after printing why) when the socket failed.
ReceiveStatus ReceiveFrame(int socket, unsigned char* buffer, int size, FrameInfo* info);

// Sleeps until a frame is waiting, a signal comes or `milliseconds` pass.
// Returns false (after printing why) when the socket failed.
bool WaitForFrames(int socket, int milliseconds);

// Frames the kernel dropped because the socket's buffer was full.
long KernelDrops(int socket);
