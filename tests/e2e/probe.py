#!/usr/bin/env python3
"""A minimal client of the station protocol, written independently of the utility,
to check the station simulator over real sockets. Run it only inside a lab network
namespace (it broadcasts to 255.255.255.255). Needs Python 3 and nothing else.

  probe.py find                         list the stations that answer, one per line
  probe.py update STATION_IP PASSWORD IMAGE [--cut BYTES]
                                        find, update request, upload, transfer result,
                                        then poll until the station answers again
Prints one line per step; exit status 0 when every step got the answer it expects."""
import argparse
import socket
import struct
import sys
import time

PORT = 22359
CMD_FIND, CMD_UPDATE_REQUEST, CMD_TRANSFER_RESULT, CMD_UPDATE_REQUEST_EX = 0x807F, 0x847B, 0x857A, 0x8778
LOCAL_ID = bytes([0x02, 0x00, 0x00, 0x00, 0x00, 0x01])
BROADCAST_ID = b"\xff" * 6


def scramble(password, seed):
    p = (password.encode() + b"\0" * 8)[:8]
    k = [(seed >> (8 * i)) & 0xFF for i in range(4)]
    k += [(k[i] * (k[i] ^ k[3 - i])) & 0xFF for i in range(4)]
    out = [0] * 8
    for i in range(4):
        k[0] ^= p[2 * i]
        for j in range(1, i + 1):
            k[2 * j] ^= k[2 * j - 2]
        out[i] = k[2 * i]
        k[1] ^= p[2 * i + 1]
        for j in range(1, i + 1):
            k[2 * j + 1] ^= k[2 * j - 1]
        out[7 - i] = k[2 * i + 1]
    return bytes(out)


def request(command, destination, payload=b""):
    return struct.pack("<HHIHHI6s6si", 32, 0, 0x00010003, command, len(payload), 0, LOCAL_ID, destination, 0) + payload


def parse(datagram):
    header_length, version, word, payload_length = struct.unpack_from("<H2xIHH", datagram)
    source = datagram[16:22]
    result = struct.unpack_from("<i", datagram, 28)[0]
    return word, version, source, result, datagram[header_length:header_length + payload_length]


def discovery(payload, version):
    ip, mask, status, seed = struct.unpack_from("<IIH2xI", payload)
    name = payload[16:48].split(b"\0")[0].decode("latin-1")
    identity = payload[80:96].split(b"\0")[0].decode("latin-1")
    model = 0
    if version >= 0x10001:
        back = struct.unpack_from("<H", payload, 130)[0]
        if back:
            identity = payload[len(payload) - back:].split(b"\0")[0].decode("latin-1")
    if version >= 0x10002:
        model = struct.unpack_from("<H", payload, 138)[0]
    return {"ip": socket.inet_ntoa(struct.pack(">I", ip)), "seed": seed, "status": status, "name": name,
            "identity": identity, "model": model}


class Client:
    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        self.sock.bind(("0.0.0.0", 0))

    def exchange(self, datagram, address, want_word, source=None, tries=3, wait=3.1):
        """Sends up to tries times; returns the first reply with want_word (and source)."""
        for _ in range(tries):
            self.sock.sendto(datagram, (address, PORT))
            deadline = time.monotonic() + wait
            while time.monotonic() < deadline:
                self.sock.settimeout(max(0.01, deadline - time.monotonic()))
                try:
                    data, _ = self.sock.recvfrom(1500)
                except socket.timeout:
                    break
                word, version, src, result, payload = parse(data)
                if word == want_word and (source is None or src == source):
                    return version, src, result, payload
        return None

    def find_all(self, wait=1.0):
        self.sock.sendto(request(CMD_FIND, BROADCAST_ID), ("255.255.255.255", PORT))
        found = {}
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            self.sock.settimeout(max(0.01, deadline - time.monotonic()))
            try:
                data, _ = self.sock.recvfrom(1500)
            except socket.timeout:
                break
            word, version, src, result, payload = parse(data)
            if word == 0xC03F:
                found[src] = dict(discovery(payload, version), id=src, version=version)
        return list(found.values())


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="what", required=True)
    sub.add_parser("find")
    up = sub.add_parser("update")
    up.add_argument("ip")
    up.add_argument("password")
    up.add_argument("image")
    up.add_argument("--cut", type=int, default=None, help="send only this many bytes, then stop")
    args = parser.parse_args()
    client = Client()
    if args.what == "find":
        for s in client.find_all():
            print("%s %s model=%d status=0x%04x identity=%r name=%r" % (
                s["ip"], s["id"].hex(":"), s["model"], s["status"], s["identity"], s["name"]))
        return 0

    station = next((s for s in client.find_all() if s["ip"] == args.ip), None)
    if not station:
        print("not found: " + args.ip)
        return 1
    reply = client.exchange(request(CMD_FIND, station["id"]), "255.255.255.255", 0xC03F, station["id"])
    if not reply:
        print("re-find: no answer")
        return 1
    fresh = discovery(reply[3], reply[0])
    image = open(args.image, "rb").read()
    extended = bool(fresh["status"] & 0x400)
    if extended:
        payload = struct.pack("<IIII", len(image), 0, 5, 0x0203) + scramble(args.password, fresh["seed"])
        command, answer = CMD_UPDATE_REQUEST_EX, 0xC738
    else:
        payload = struct.pack("<I", len(image)) + scramble(args.password, fresh["seed"])
        command, answer = CMD_UPDATE_REQUEST, 0xC43B
    reply = client.exchange(request(command, station["id"], payload), args.ip, answer, station["id"])
    if not reply:
        print("update request: no answer")
        return 1
    print("update request result 0x%08x" % (reply[2] & 0xFFFFFFFF))
    if reply[2] != 0:
        return 0
    tcp = socket.create_connection((args.ip, PORT), timeout=30)
    data = image if args.cut is None else image[:args.cut]
    tcp.sendall(data)
    tcp.shutdown(socket.SHUT_WR)
    tcp.close()
    print("sent %d bytes" % len(data))
    reply = client.exchange(request(CMD_TRANSFER_RESULT, station["id"]), args.ip, 0xC53A, station["id"])
    if not reply:
        print("transfer result: no answer")
        return 1
    print("transfer result 0x%08x" % (reply[2] & 0xFFFFFFFF))
    if reply[2] != 0:
        return 0
    reply = client.exchange(request(CMD_FIND, station["id"]), "255.255.255.255", 0xC03F, station["id"],
                            tries=60, wait=1.1)
    if not reply:
        print("restart: no answer")
        return 0
    print("running again as %r" % discovery(reply[3], reply[0])["identity"])
    return 0


if __name__ == "__main__":
    sys.exit(main())
