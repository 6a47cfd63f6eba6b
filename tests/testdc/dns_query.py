#!/usr/bin/python3
"""Asks the namespace's name server for A or SRV records and prints the answers.

    dns_query.py A dc1.lumivel.test        -> one address per line
    dns_query.py SRV _ldap._tcp.lumivel.test -> "priority weight port target" per line
    dns_query.py --server 127.0.0.2 A ...  -> asks that server instead of resolv.conf's first

The test DC's readiness check uses it because no DNS client tool is among the packages the
harness needs. Exits 1 when the server does not answer or returns no record.
"""
import random
import socket
import struct
import sys

TYPES = {"A": 1, "SRV": 33}


def nameserver():
    try:
        with open("/etc/resolv.conf", encoding="ascii", errors="replace") as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2 and parts[0] == "nameserver":
                    return parts[1]
    except OSError:
        pass
    return "127.0.0.1"


def encode_name(name):
    out = b""
    for label in name.rstrip(".").split("."):
        raw = label.encode("idna")
        if not 0 < len(raw) < 64:
            raise ValueError("bad DNS label in %r" % name)
        out += bytes([len(raw)]) + raw
    return out + b"\0"


def read_name(msg, pos, depth=0):
    """Returns (name, position after the name) following compression pointers."""
    labels = []
    end = None
    while True:
        if pos >= len(msg) or depth > 32:
            raise ValueError("truncated or looping name")
        n = msg[pos]
        if n == 0:
            pos += 1
            break
        if n & 0xC0 == 0xC0:
            if end is None:
                end = pos + 2
            pos = struct.unpack("!H", msg[pos:pos + 2])[0] & 0x3FFF
            depth += 1
            continue
        labels.append(msg[pos + 1:pos + 1 + n].decode("ascii", "replace"))
        pos += 1 + n
    return ".".join(labels), (end if end is not None else pos)


def query(qtype, name, server, timeout=2.0):
    ident = random.randrange(0x10000)
    packet = struct.pack("!HHHHHH", ident, 0x0100, 1, 0, 0, 0) + encode_name(name) + \
        struct.pack("!HH", TYPES[qtype], 1)
    with socket.socket(socket.AF_INET6 if ":" in server else socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(timeout)
        s.sendto(packet, (server, 53))
        while True:
            msg, _ = s.recvfrom(4096)
            if len(msg) >= 12 and struct.unpack("!H", msg[:2])[0] == ident:
                break
    _, flags, qd, an, _, _ = struct.unpack("!HHHHHH", msg[:12])
    if flags & 0x000F:
        return []
    pos = 12
    for _ in range(qd):
        _, pos = read_name(msg, pos)
        pos += 4
    answers = []
    for _ in range(an):
        _, pos = read_name(msg, pos)
        rtype, _, _, rdlen = struct.unpack("!HHIH", msg[pos:pos + 10])
        pos += 10
        rdata = msg[pos:pos + rdlen]
        if rtype == 1 and rdlen == 4:
            answers.append(socket.inet_ntoa(rdata))
        elif rtype == 33 and rdlen >= 7:
            prio, weight, port = struct.unpack("!HHH", rdata[:6])
            target, _ = read_name(msg, pos + 6)
            answers.append("%d %d %d %s" % (prio, weight, port, target))
        pos += rdlen
    return answers


def main(argv):
    server = None
    if len(argv) > 2 and argv[1] == "--server":
        server = argv[2]
        argv = argv[:1] + argv[3:]
    if len(argv) != 3 or argv[1] not in TYPES:
        print("usage: dns_query.py [--server ADDRESS] A|SRV NAME", file=sys.stderr)
        return 2
    try:
        answers = query(argv[1], argv[2], server or nameserver())
    except (OSError, ValueError, struct.error) as e:
        print("dns_query: %s" % e, file=sys.stderr)
        return 1
    for a in answers:
        print(a)
    return 0 if answers else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
