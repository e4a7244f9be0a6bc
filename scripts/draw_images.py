#!/usr/bin/env python3
"""Draws the floating window's two faces (res/face_normal.bmp, res/face_hover.bmp)
and the screen capture's cross-hair cursor (res/capture.cur).

Both share one silhouette on a pure white surround, which the window's region
cuts away; inside the silhouette nothing is pure white, so the region has no
holes. Hard edges only: a blended edge pixel would be neither face nor surround.
"""
import math
import struct
import sys

W, H = 120, 120
WHITE = (255, 255, 255)
RIM = [(dx, dy) for dx in range(-2, 3) for dy in range(-2, 3) if dx * dx + dy * dy <= 5]


def inside_circle(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r  # no one-pixel bumps on the axes


def silhouette(x, y):
    # A round head, two ears and an antenna with a ball: the shape of the window.
    return (inside_circle(x, y, 60, 66, 44) or inside_circle(x, y, 20, 38, 12)
            or inside_circle(x, y, 100, 38, 12) or inside_circle(x, y, 60, 10, 7)
            or (58 <= x <= 62 and 14 <= y <= 24))


def face(hover):
    body = (255, 160, 40) if hover else (46, 150, 222)
    rim = (190, 96, 10) if hover else (20, 84, 150)
    cheek = (255, 120, 110) if hover else (120, 190, 240)
    eye_white = (250, 250, 246)
    pupil = (30, 30, 40)
    pixels = []
    for y in range(H):
        row = []
        for x in range(W):
            if not silhouette(x, y):
                row.append(WHITE)
                continue
            c = body
            edge = any(not silhouette(x + dx, y + dy) for dx, dy in RIM)
            if edge or (58 <= x <= 62 and 14 <= y <= 24):
                c = rim
            if inside_circle(x, y, 60, 10, 7):
                c = (255, 220, 60)
            for ex in (44, 76):
                if inside_circle(x, y, ex, 58, 11):
                    c = eye_white
                    look = 3 if hover else 0
                    if inside_circle(x, y, ex + look, 60 - look, 5):
                        c = pupil
                    if hover and ex == 76 and y > 58:
                        c = body  # a wink
            for cx in (30, 90):
                if inside_circle(x, y, cx, 78, 6):
                    c = cheek
            # The mouth: a smile, wider and open while hovered.
            d = math.hypot(x - 60, y - 74)
            if y > 78 and (18 <= d <= 21 if not hover else d <= 21 and y > 82):
                c = (150, 30, 40) if hover else rim
            row.append(c)
        pixels.append(row)
    return pixels


def write_bmp(path, pixels):
    stride = (W * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_crosshair_cursor(path):
    # 32x32, one bit per pixel: a black cross with a white rim, hot spot in the middle.
    size, hot = 32, 15
    black = set()
    rim = set()
    for i in range(2, 30):
        if abs(i - hot) > 2:
            black.add((hot, i))
            black.add((i, hot))
    for x, y in black:
        for dx, dy in ((-1, 0), (1, 0), (0, -1), (0, 1)):
            if (x + dx, y + dy) not in black:
                rim.add((x + dx, y + dy))
    xor_rows, and_rows = [], []
    for y in range(size):
        xor_bits = and_bits = 0
        for x in range(size):
            bit = 1 << (31 - x)
            if (x, y) in black:
                pass  # AND 0, XOR 0: black
            elif (x, y) in rim:
                xor_bits |= bit  # AND 0, XOR 1: white
            else:
                and_bits |= bit  # AND 1, XOR 0: transparent
        xor_rows.append(struct.pack(">I", xor_bits))
        and_rows.append(struct.pack(">I", and_bits))
    image = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    image += bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image += b"".join(reversed(xor_rows)) + b"".join(reversed(and_rows))
    head = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 2, 0, hot, hot, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(head + entry + image)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "res"
    write_bmp(out + "/face_normal.bmp", face(False))
    write_bmp(out + "/face_hover.bmp", face(True))
    write_crosshair_cursor(out + "/capture.cur")
