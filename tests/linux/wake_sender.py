#!/usr/bin/python3
"""Sends the end-to-end tests' traffic from inside a test namespace.
  wake_sender.py udp DEST PORT HEX       one UDP datagram from port 50000
  wake_sender.py udp6 DEST PORT HEX      the same over IPv6 (DEST may be ff02::1%IFACE)
  wake_sender.py frame IFACE HEX         one raw Ethernet frame, header included
  wake_sender.py ipv4 SOURCE DEST HEX    prints, in hex, the IPv4 datagram from SOURCE
      port 50000 to DEST port 9 that carries HEX, for a frame of one's own
  wake_sender.py flood DEST PORT COUNT EVERY SECONDS
      COUNT datagrams as fast as they go, every EVERY-th a magic packet whose
      4-byte password is its number (0, 1, ...); stops after SECONDS.
  wake_sender.py sign KIND IFACE  one broadcast frame from IFACE's own MAC, as
      a machine sends it: KIND dhcp (a DISCOVER) or arp-request
UDP goes out without a checksum, so what lumora reports is the same every run.
"""
import errno
import socket
import struct
import sys
import time

SOURCE_PORT = 50000
SO_NO_CHECK = 11
UDP_NO_CHECK6_TX = 101
FLOOD_TARGET = bytes.fromhex("001a2b3c4d5e")
FLOOD_FILLER = b"\x5a" * 64


def udp_socket(family):
    s = socket.socket(family, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if family == socket.AF_INET:
        s.setsockopt(socket.SOL_SOCKET, SO_NO_CHECK, 1)
    else:
        s.setsockopt(socket.IPPROTO_UDP, UDP_NO_CHECK6_TX, 1)
    s.bind(("", SOURCE_PORT))
    return s


def send(s, payload, to):
    while True:  # a full queue: try again
        try:
            return s.sendto(payload, to)
        except OSError as error:
            if error.errno not in (errno.ENOBUFS, errno.EAGAIN):
                raise


def flood(dest, port, count, every, seconds):
    s, deadline, start, sent, magic = udp_socket(socket.AF_INET), time.monotonic() + seconds, time.monotonic(), 0, 0
    while sent < count and time.monotonic() < deadline:
        is_magic = sent % every == every - 1
        send(s, b"\xff" * 6 + FLOOD_TARGET * 16 + magic.to_bytes(4, "big") if is_magic else FLOOD_FILLER, (dest, port))
        sent, magic = sent + 1, magic + is_magic
    elapsed = time.monotonic() - start
    print(f"sent {sent} datagrams ({magic} magic packets) in {elapsed:.3f} s: {sent / elapsed:.0f} datagrams per second")


def udp4(source, dest, source_port, dest_port, payload):
    udp = struct.pack("!HHHH", source_port, dest_port, 8 + len(payload), 0) + payload
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0x4000, 64, 17, 0,
                         socket.inet_aton(source), socket.inet_aton(dest))
    # The ones' complement checksum, which a receiving IP layer checks.
    checksum = 0xFFFF - sum(struct.unpack("!10H", header)) % 0xFFFF
    return header[:10] + struct.pack("!H", checksum) + header[12:] + udp


BROADCAST = b"\xff" * 6
OWN_IP, PEER_IP = socket.inet_aton("10.76.0.30"), socket.inet_aton("10.76.0.1")


def sign(kind, source):
    if kind == "dhcp":  # BOOTREQUEST, DHCPDISCOVER, from port 68 to 67
        bootp = struct.pack("!BBBBIHH4s4s4s4s16s192x", 1, 1, 6, 0, 0x4C55, 0, 0x8000, bytes(4), bytes(4),
                            bytes(4), bytes(4), source) + bytes.fromhex("63825363350101ff")
        return BROADCAST + source + b"\x08\x00" + udp4("0.0.0.0", "255.255.255.255", 68, 67, bootp)
    arp = struct.pack("!HHBBH6s4s6s4s", 1, 0x0800, 6, 4, 1, source, OWN_IP, bytes(6), PEER_IP)  # a request
    return BROADCAST + source + b"\x08\x06" + arp


def raw(iface, frame):
    with socket.socket(socket.AF_PACKET, socket.SOCK_RAW) as s:
        s.bind((iface, 0))
        s.send(frame)


def main(mode, *args):
    if mode == "udp":
        send(udp_socket(socket.AF_INET), bytes.fromhex(args[2]), (args[0], int(args[1])))
    elif mode == "udp6":
        to = socket.getaddrinfo(args[0], args[1], socket.AF_INET6, socket.SOCK_DGRAM)[0][4]
        send(udp_socket(socket.AF_INET6), bytes.fromhex(args[2]), to)
    elif mode == "frame":
        raw(args[0], bytes.fromhex(args[1]))
    elif mode == "sign":
        own = open(f"/sys/class/net/{args[1]}/address").read().strip()
        raw(args[1], sign(args[0], bytes.fromhex(own.replace(":", ""))))
    elif mode == "ipv4":
        print(udp4(args[0], args[1], SOURCE_PORT, 9, bytes.fromhex(args[2])).hex())
    elif mode == "flood":
        flood(args[0], int(args[1]), int(args[2]), int(args[3]), int(args[4]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(*sys.argv[1:])
