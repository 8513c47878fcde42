#!/usr/bin/python3
"""The tunnel's far side for whole-road tests, on the Linux side.

Holds the tun device that stands for the tunnel interface, gives it an
address whose network holds the endpoint, and answers each UDP datagram sent
to the endpoint by writing a reply into the device. The bytes it writes are
what the kernel counts as the device's received bytes, which Wine reports as
the interface's InOctets: the client sees a tunnel that carries traffic.

Run it inside the test's network namespace, as root:

  peer.py [--mode=answer|silent] [--silent-after=SECONDS]
          [--control=FILE] [--ready=FILE] [--log=FILE]

--mode          answer (the default) or stay silent from the start.
--silent-after  answer for this long after the first datagram, then be
                silent for good.
--control       a file whose first word, whenever it changes, switches the
                peer: "answer" or "silent". Programs under Wine write it
                through the Z: drive.
--ready         written once the device is up and addressed.
--log           one line per datagram to the endpoint: "answered" or
                "ignored", the sender and the payload's length.
Signals: SIGUSR1 makes the peer silent, SIGUSR2 makes it answer; SIGTERM and
SIGINT end it (the device goes with it).
"""

import argparse
import fcntl
import os
import select
import signal
import struct
import subprocess
import sys
import time

DEVICE = "TovraneVPN"
DEVICE_ADDRESS = "10.77.0.2/24"
ENDPOINT = bytes([10, 77, 0, 1])
REPLY = b"tovrane peer reply"

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000
IPPROTO_UDP = 17


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def udp_reply(packet):
    """The reply to an IPv4 UDP datagram for the endpoint, or None."""
    if len(packet) < 28 or packet[0] >> 4 != 4:
        return None
    header_length = (packet[0] & 0x0F) * 4
    if packet[9] != IPPROTO_UDP or packet[16:20] != ENDPOINT:
        return None
    if len(packet) < header_length + 8:
        return None
    source = packet[12:16]
    source_port, destination_port = struct.unpack(
        "!HH", packet[header_length:header_length + 4])
    udp_length = 8 + len(REPLY)
    pseudo = ENDPOINT + source + struct.pack("!BBH", 0, IPPROTO_UDP,
                                             udp_length)
    udp = struct.pack("!HHHH", destination_port, source_port, udp_length,
                      0) + REPLY
    udp_checksum = checksum(pseudo + udp) or 0xFFFF
    udp = udp[:6] + struct.pack("!H", udp_checksum) + udp[8:]
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + udp_length, 0, 0x4000, 64,
                     IPPROTO_UDP, 0, ENDPOINT, source)
    ip = ip[:10] + struct.pack("!H", checksum(ip)) + ip[12:]
    return ip + udp, "%s:%d" % (".".join(map(str, source)), source_port)


def open_device():
    device = os.open("/dev/net/tun", os.O_RDWR)
    request = struct.pack("16sH", DEVICE.encode(), IFF_TUN | IFF_NO_PI)
    fcntl.ioctl(device, TUNSETIFF, request)
    # Without IPv6 the idle device sends nothing (no router solicitations),
    # and the only bytes it receives are the replies.
    with open("/proc/sys/net/ipv6/conf/%s/disable_ipv6" % DEVICE, "w") as f:
        f.write("1")
    subprocess.run(["ip", "addr", "add", DEVICE_ADDRESS, "dev", DEVICE],
                   check=True)
    subprocess.run(["ip", "link", "set", DEVICE, "up"], check=True)
    return device


class Peer:
    def __init__(self, options):
        self.answering = options.mode == "answer"
        self.silent_after = options.silent_after
        self.first_datagram = None
        self.control = options.control
        self.control_stamp = None
        self.log = open(options.log, "a", buffering=1) if options.log else None

    def note(self, line):
        if self.log:
            self.log.write("%.3f %s\n" % (time.time(), line))

    def read_control(self):
        if not self.control:
            return
        try:
            stat = os.stat(self.control)
        except FileNotFoundError:
            return
        stamp = (stat.st_mtime_ns, stat.st_size)
        if stamp == self.control_stamp:
            return
        self.control_stamp = stamp
        with open(self.control) as f:
            words = f.read().split()
        if words and words[0] in ("answer", "silent"):
            self.answering = words[0] == "answer"
            self.note("control " + words[0])

    def set_answering(self, answering):
        self.answering = answering
        self.note("signal " + ("answer" if answering else "silent"))

    def handle(self, device, packet):
        reply = udp_reply(packet)
        if reply is None:
            return
        now = time.monotonic()
        if self.first_datagram is None:
            self.first_datagram = now
        if (self.silent_after is not None and
                now - self.first_datagram > self.silent_after):
            self.answering = False
        if self.answering:
            os.write(device, reply[0])
        self.note("%s %s %d" % ("answered" if self.answering else "ignored",
                                reply[1], len(packet)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=("answer", "silent"),
                        default="answer")
    parser.add_argument("--silent-after", type=float)
    parser.add_argument("--control")
    parser.add_argument("--ready")
    parser.add_argument("--log")
    options = parser.parse_args()

    peer = Peer(options)
    signal.signal(signal.SIGUSR1, lambda *_: peer.set_answering(False))
    signal.signal(signal.SIGUSR2, lambda *_: peer.set_answering(True))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    device = open_device()
    peer.note("device %s up, %s" % (DEVICE, DEVICE_ADDRESS))
    if options.ready:
        with open(options.ready, "w") as f:
            f.write("ready\n")
    while True:
        peer.read_control()
        try:
            readable, _, _ = select.select([device], [], [], 0.2)
        except InterruptedError:
            continue
        if readable:
            peer.handle(device, os.read(device, 65535))


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
