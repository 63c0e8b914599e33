#!/usr/bin/env python3
"""Writes the deterministic stand-in firmware image (885,240 bytes).

Layout (all numbers little-endian):
  0   8 bytes  magic "LGFWIMG1"
  8  16 bytes  model "KVZ-3170", zero-padded
 24   8 bytes  version "2.03", zero-padded
 32  ...       filler from xorshift32 seeded with 0x31700203, 4 bytes per step
 -4   4 bytes  CRC-32 (IEEE, as zlib) of every byte before it
The station simulator checks the length and the CRC."""
import struct
import sys
import zlib

IMAGE_SIZE = 885240


def filler(count):
    state = 0x31700203
    out = bytearray()
    while len(out) < count:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out += struct.pack("<I", state)
    return bytes(out[:count])


def main():
    header = b"LGFWIMG1" + b"KVZ-3170".ljust(16, b"\0") + b"2.03".ljust(8, b"\0")
    body = header + filler(IMAGE_SIZE - len(header) - 4)
    image = body + struct.pack("<I", zlib.crc32(body) & 0xFFFFFFFF)
    assert len(image) == IMAGE_SIZE
    with open(sys.argv[1], "wb") as out:
        out.write(image)


if __name__ == "__main__":
    main()
