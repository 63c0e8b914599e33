#!/usr/bin/env python3
"""Writes the program icon: one 32 x 32 image of 16 colours (4 bits per pixel) in an
.ico file, drawn here so that no binary is kept in the repository.
Picture: an access point with its antenna and an arrow that points down into it."""
import struct
import sys

SIZE = 32
# The standard 16-colour palette (red, green, blue), in the order Windows uses.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_GREY, GREY, WHITE = 0, 8, 7, 15


def index_of(red, green, blue):
    return PALETTE.index((red, green, blue))


def draw():
    """Returns rows (top first) of palette indexes, None for transparent."""
    pixels = [[None] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                pixels[y][x] = colour

    yellow = index_of(0xFF, 0xFF, 0x00)
    green = index_of(0x00, 0xFF, 0x00)
    navy = index_of(0x00, 0x00, 0x80)
    # Antenna on the left, body at the bottom.
    rect(6, 4, 7, 19, BLACK)
    rect(5, 3, 8, 4, DARK_GREY)
    rect(2, 19, 29, 28, BLACK)
    rect(3, 20, 28, 27, GREY)
    rect(3, 26, 28, 27, DARK_GREY)
    rect(3, 20, 28, 20, WHITE)
    for x in (6, 10, 14):
        rect(x, 23, x + 1, 24, green)
    # Arrow into the body: shaft and head.
    rect(19, 2, 24, 10, navy)
    rect(20, 2, 23, 10, yellow)
    for row in range(6):
        rect(15 + row, 11 + row, 28 - row, 11 + row, navy)
        if row < 5:
            rect(16 + row, 11 + row, 27 - row, 11 + row, yellow)
    return pixels


def icon_bytes(pixels):
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bitmaps are stored bottom row first
        packed = bytearray()
        for x in range(0, SIZE, 2):
            high = row[x] if row[x] is not None else 0
            low = row[x + 1] if row[x + 1] is not None else 0
            packed.append(high << 4 | low)
        xor_rows.append(bytes(packed))
        mask = 0
        for x in range(SIZE):
            mask = mask << 1 | (1 if row[x] is None else 0)
        and_rows.append(struct.pack(">I", mask))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         0, 0, 0, 16, 0)
    image = header + colours + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    with open(sys.argv[1], "wb") as out:
        out.write(icon_bytes(draw()))


if __name__ == "__main__":
    main()
