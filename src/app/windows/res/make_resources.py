#!/usr/bin/env python3
"""Draws Kiln's window icon (kiln.ico, 16 and 32 pixels) and the burning animation
(burning.avi: packets travelling from the firmware file into the printer's flash chip,
which glows as it is written). Both are committed; run this again after changing a
drawing:  python3 src/app/windows/res/make_resources.py
The animation is an uncompressed 8-bit AVI, as the animation control plays it; its
top-left pixel's colour is the transparent background."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def blend(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# --- icon ---------------------------------------------------------------------------

def icon_pixels(size):
    """RGBA rows, top first: a flame rising behind a dark flash chip with pins."""
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            fx, fy = (x + 0.5) / s, (y + 0.5) / s
            # Flame: a teardrop, widest low down, yellow inside, orange-red outside.
            dy = (fy - 4) / 26.0
            if 0 <= dy <= 1:
                half = 13 * (dy ** 0.8) * (1.15 - dy) * 1.6
                d = abs(fx - 16)
                if d <= half:
                    t = d / max(half, 0.01)
                    inner = (255, 221, 64)
                    outer = (226, 66, 24)
                    r, g, b = blend(inner, outer, min(1.0, t * 1.2 + (1 - dy) * 0.3))
                    px[y][x] = (r, g, b, 255)
            # Chip body with a light border; pins left and right.
            if 9 <= fx <= 23 and 13 <= fy <= 27:
                edge = fx < 10 or fx > 22 or fy < 14 or fy > 26
                px[y][x] = (150, 160, 172, 255) if edge else (44, 50, 62, 255)
                if 12.5 <= fx <= 19.5 and 16.5 <= fy <= 23.5 and not edge:
                    px[y][x] = (88, 188, 255, 255)  # the die, lit
            elif (6 <= fx < 9 or 23 < fx <= 26) and 13 <= fy <= 27 and int(fy) % 4 in (1, 2):
                px[y][x] = (196, 200, 206, 255)
    return px


def icon_image(size):
    rows = icon_pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


def write_icon(path):
    images = [icon_image(32), icon_image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    sizes = [32, 16]
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


# --- animation ----------------------------------------------------------------------

WIDTH, HEIGHT, FRAMES, FRAME_MS = 240, 40, 16, 90

PALETTE = [
    (255, 0, 255),    # 0: transparent background (the top-left pixel)
    (60, 70, 86),     # 1: outline
    (236, 240, 244),  # 2: file page
    (120, 132, 150),  # 3: file lines
    (44, 50, 62),     # 4: chip body
    (196, 200, 206),  # 5: pins
    (255, 170, 40),   # 6: packet
    (255, 226, 120),  # 7: packet core
]
# 8..23: the die's glow, dark blue to bright cyan-white.
for i in range(16):
    PALETTE.append(blend((30, 60, 110), (170, 235, 255), i / 15))
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))


def frame(n):
    img = [[0] * WIDTH for _ in range(HEIGHT)]

    def rect(x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(HEIGHT, y1)):
            for x in range(max(0, x0), min(WIDTH, x1)):
                img[y][x] = c

    # The firmware file: a page with a folded corner and text lines.
    rect(8, 4, 36, 36, 1)
    rect(9, 5, 35, 35, 2)
    for k in range(6):
        y0, y1 = 5 + k, 5 + k + 1
        rect(35 - 6 + k, y0, 35, y1, 0)
    for k in range(5):
        rect(13, 12 + 4 * k, 31 - (k % 2) * 6, 14 + 4 * k, 3)
    # The flash chip, with pins above and below.
    rect(182, 6, 226, 34, 1)
    rect(184, 8, 224, 32, 4)
    for k in range(6):
        x = 186 + 7 * k
        rect(x, 2, x + 3, 6, 5)
        rect(x, 34, x + 3, 38, 5)
    # The die glows brighter as packets arrive, then fades at the cycle's end.
    glow = int(round(15 * (n / (FRAMES - 1))))
    rect(192, 13, 216, 27, 8 + glow)
    # Three packets on their way, evenly spaced, moving right.
    path0, path1 = 42, 176
    for k in range(3):
        t = ((n / FRAMES) + k / 3.0) % 1.0
        x = int(path0 + (path1 - path0 - 14) * t)
        rect(x, 15, x + 14, 25, 6)
        rect(x + 3, 18, x + 11, 22, 7)
    return img


def write_avi(path):
    stride = (WIDTH + 3) & ~3
    size = stride * HEIGHT
    frames = []
    for n in range(FRAMES):
        img = frame(n)
        data = bytearray()
        for row in reversed(img):  # bottom-up DIB rows
            data += bytes(row) + bytes(stride - WIDTH)
        frames.append(bytes(data))

    def chunk(fourcc, data):
        pad = b"\0" if len(data) % 2 else b""
        return fourcc + struct.pack("<I", len(data)) + data + pad

    def lst(kind, data):
        return chunk(b"LIST", kind + data)

    avih = struct.pack("<IIIIIIIIII4I", FRAME_MS * 1000, size * 1000 // FRAME_MS, 0, 0x10,
                       FRAMES, 0, 1, size, WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = (b"vids" + b"DIB " +
            struct.pack("<IHHIIIIIIII4h", 0, 0, 0, 0, 1000, 1000000 // FRAME_MS, 0, FRAMES,
                        size, 0xFFFFFFFF, 0, 0, 0, WIDTH, HEIGHT))
    bih = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, size, 0, 0, 256, 0)
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)
    hdrl = lst(b"hdrl", chunk(b"avih", avih) + lst(b"strl", chunk(b"strh", strh) +
                                                    chunk(b"strf", bih + pal)))
    movi_body = b""
    index = b""
    for data in frames:
        offset = 4 + len(movi_body)  # from the 'movi' tag
        movi_body += chunk(b"00db", data)
        index += b"00db" + struct.pack("<III", 0x10, offset, len(data))
    movi = lst(b"movi", movi_body)
    riff = b"AVI " + hdrl + movi + chunk(b"idx1", index)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(riff)) + riff)


if __name__ == "__main__":
    write_icon(os.path.join(HERE, "kiln.ico"))
    write_avi(os.path.join(HERE, "burning.avi"))
