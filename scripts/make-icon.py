#!/usr/bin/env python3
"""Draws the applier's icon, PATCHICON: one 32 x 32 picture in the 16 colours of
the standard palette, written as ui/win32/patch.ico. The picture is a document
with a folded corner and a green arrow on it. Run it after changing the drawing."""
import pathlib
import struct

PALETTE = [  # the 16 standard colours, as (B, G, R, 0)
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
    (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255)]
BLACK, GREY, SILVER, WHITE, GREEN, DARK_GREEN = 0, 8, 7, 15, 10, 2

def draw():
    px = [[None] * 32 for _ in range(32)]  # None: transparent
    for y in range(2, 30):  # the page
        for x in range(6, 26):
            if x - 19 > y - 2:  # the folded corner
                continue
            edge = x in (6, 25) or y in (2, 29) or x - 19 == y - 2
            px[y][x] = BLACK if edge else WHITE
    for i in range(7):  # the fold
        px[2 + i][19] = GREY
        px[8][19 + i] = GREY
    for y in range(12, 27):  # lines of text
        if y % 3 == 0:
            for x in range(9, 17):
                px[y][x] = SILVER
    for y in range(13, 27):  # the arrow: a shaft and a head pointing down
        for x in range(18, 22):
            px[y][x] = GREEN
    for i in range(6):
        for x in range(15 + i, 25 - i):
            px[21 + i][x] = DARK_GREEN if x in (15 + i, 24 - i) else GREEN
    return px

def ico(px):
    xor = b""
    for row in reversed(px):  # bottom-up, two pixels a byte
        for x in range(0, 32, 2):
            a, b = (c if c is not None else 0 for c in (row[x], row[x + 1]))
            xor += bytes([(a << 4) | b])
    mask = b""
    for row in reversed(px):  # 1 = transparent; rows of 32 bits
        bits = 0
        for x in range(32):
            if row[x] is None:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", *c, 0) for c in PALETTE)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 22)
    return directory + image

out = pathlib.Path(__file__).resolve().parent.parent / "ui" / "win32" / "patch.ico"
out.write_bytes(ico(draw()))
