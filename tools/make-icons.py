#!/usr/bin/env python3
"""Draws the programs' icons: 32 x 32 pixels, 16 colours (the standard VGA
palette), written as .ico files. Run once; the .ico files are kept in git."""
import struct
import sys

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
CLEAR = None  # transparent pixel


def unravel_art():
    """A box with its lid open and a thread running out of it."""
    px = [[CLEAR] * 32 for _ in range(32)]
    for y in range(14, 30):
        for x in range(4, 22):
            edge = y in (14, 29) or x in (4, 21)
            px[y][x] = 0 if edge else (3 if (x + y) % 7 else 11)
    for i in range(12):  # lid, tilted open
        px[13 - i // 2][4 + i] = 0
        px[12 - i // 2][4 + i] = 11
    x, y = 14, 20
    for step in range(40):  # the thread, wandering up and right
        px[y][x] = 9
        x = min(x + 1, 30) if step % 3 else x
        y = max(y - 1, 1) if step % 2 else y
    return px


def dxprep_art():
    """A monitor with a green play mark on its screen."""
    px = [[CLEAR] * 32 for _ in range(32)]
    for y in range(3, 24):
        for x in range(2, 30):
            edge = y in (3, 23) or x in (2, 29)
            px[y][x] = 0 if edge else (8 if y in (4, 22) or x in (3, 28) else 4)
    for y in range(8, 19):
        half = 5 - abs(13 - y)
        for x in range(12, 12 + half * 2 + 1):
            px[y][x] = 10
    for y in range(24, 28):
        for x in range(13, 19):
            px[y][x] = 8
    for x in range(8, 24):
        px[28][x] = 0
    return px


def write_ico(path, px):
    header = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in VGA)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):  # bottom-up rows
        for x in range(0, 32, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
        bits = 0
        for x in range(32):
            bits = bits << 1 | (1 if row[x] is None else 0)
        mask += struct.pack('>I', bits)
    image = header + palette + bytes(xor) + bytes(mask)
    assert len(image) == 744
    entry = struct.pack('<BBBBHHII', 32, 32, 16, 0, 1, 4, len(image), 22)
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, 1) + entry + image)


if __name__ == '__main__':
    root = sys.argv[1] if len(sys.argv) > 1 else 'resources'
    write_ico(f'{root}/unravel/unravel.ico', unravel_art())
    write_ico(f'{root}/dxprep/dxprep.ico', dxprep_art())
