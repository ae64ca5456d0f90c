// The facts lumora reads from the running kernel for the diagnosis, one
// source a file: the interfaces and their IPv4 subnets (interfaces.cpp,
// getifaddrs), each card's Wake-on-LAN state and device (card_state.cpp, the
// SIOCETHTOOL ioctl and sysfs), the neighbour table and the route to an
// address (neighbours.cpp, route.cpp: rtnetlink through libmnl) and
// /etc/ethers (ethers.cpp). Only the card state needs a privilege
// (CAP_NET_ADMIN); the rest works after lumora has given its up.
#pragma once

#include "analysis/machine_facts.h"

// Every interface of this network namespace, card states left unread
// (read == kUnknown). False, after one line on standard error, when the list
// cannot be had; interfaces past kMaxLocalInterfaces are left out.
bool ReadLocalInterfaces(LocalInterfaces* interfaces);

// The card's Wake-on-LAN modes and SecureOn password, and the device's
// wakeup flag, of interface `name`. Without CAP_NET_ADMIN read is kUnknown;
// the wakeup flag is read either way.
void ReadCardState(const char* name, CardState* card);

// Whether a device (a card) is behind interface `name`; veth, bridges and
// tunnels have none.
bool HasDevice(const char* name);

// Copies the card states of `from` into the interfaces of `to` with the same
// index and name, so a list re-read after start-up keeps what was read then.
void CarryCardStates(const LocalInterfaces& from, LocalInterfaces* to);

// The kernel's neighbour table, IPv4 and IPv6, at most kMaxNeighbours
// entries. False when it cannot be read.
bool ReadNeighbourTable(NeighbourTable* table);

// The prefix length of the route this machine takes to the IPv4 address
// `destination` (0 for a default route), or -1 when it cannot be read.
int ReadRoutePrefixLength(const unsigned char* destination);

// The host name /etc/ethers (or another source nsswitch.conf names) gives
// `mac`, into name[0, size), terminated. False when it names none.
bool LookUpEthersName(const unsigned char* mac, char* name, int size);
