#!/usr/bin/env python3
"""Draws the application's icons and synthesises its two notification sounds.

Usage: make_resources.py OUTPUT_FOLDER

Every picture is described once in a 16-unit square and rendered afresh at each size with 4x4
supersampling, so the 150 % and 200 % versions are sharp rather than scaled-up bitmaps. Icons are
32-bit (alpha) .ico files; sounds are RIFF/WAVE, PCM, mono, 16000 Hz, 8 bit. Standard library only;
the output is the same on every run.
"""

import math
import os
import struct
import sys

# --------------------------------------------------------------------------------------------------
# Shapes in a 16 x 16 unit square. Each returns whether a point (in units) is inside.


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def polygon(*points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                result = not result
        return result
    return inside


def polyline(width, *points):
    """A stroke of the given width with round ends and joins."""
    half = width / 2.0

    def inside(x, y):
        for (xa, ya), (xb, yb) in zip(points, points[1:]):
            dx, dy = xb - xa, yb - ya
            length2 = dx * dx + dy * dy
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / length2))
            px, py = xa + t * dx, ya + t * dy
            if (x - px) ** 2 + (y - py) ** 2 <= half * half:
                return True
        return False
    return inside


def arc(cx, cy, r, start_deg, end_deg, steps=16):
    return [(cx + r * math.cos(math.radians(start_deg + (end_deg - start_deg) * i / steps)),
             cy + r * math.sin(math.radians(start_deg + (end_deg - start_deg) * i / steps))) for i in range(steps + 1)]


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


# Colours (red, green, blue)
WHITE = (255, 255, 255)
OUTLINE = (40, 52, 72)
STEEL = (112, 128, 150)
STEEL_LIGHT = (196, 206, 220)
BLUE = (30, 110, 210)
BLUE_DARK = (18, 70, 150)
GREEN = (40, 170, 60)
RED = (210, 40, 40)
GOLD = (222, 170, 30)
GOLD_DARK = (150, 105, 10)
FOLDER = (240, 196, 70)
FOLDER_DARK = (196, 146, 30)
GREY = (150, 150, 150)


def drive_body(x0=1, y0=5, x1=15, y1=12, led=GREEN):
    return [
        (rrect(x0, y0, x1, y1, 1.6), OUTLINE),
        (rrect(x0 + 0.8, y0 + 0.8, x1 - 0.8, y1 - 0.8, 1.0), STEEL_LIGHT),
        (rect(x0 + 1.8, y1 - 2.6, x1 - 4.5, y1 - 1.8), STEEL),
        (circle(x1 - 2.4, y1 - 2.2, 0.9), led),
    ]


def usb_stick(colour, dark):
    return [
        (rrect(4.2, 0.8, 11.8, 5.2, 0.6), OUTLINE),
        (rect(5.2, 1.6, 10.8, 5.2), STEEL_LIGHT),
        (rect(6.2, 2.4, 7.4, 3.6), OUTLINE),
        (rect(8.6, 2.4, 9.8, 3.6), OUTLINE),
        (rrect(3, 4.6, 13, 15.4, 1.8), dark),
        (rrect(3.8, 5.4, 12.2, 14.6, 1.2), colour),
        (rect(5.2, 7, 6.2, 13), WHITE),
    ]


def info_badge(cx, cy, r):
    return [
        (circle(cx, cy, r), BLUE_DARK),
        (circle(cx, cy, r - 0.8), BLUE),
        (circle(cx, cy - r * 0.45, r * 0.18), WHITE),
        (polyline(r * 0.32, (cx, cy - r * 0.05), (cx, cy + r * 0.55)), WHITE),
    ]


def key(ox, oy, scale=1.0):
    def p(x, y):
        return (ox + x * scale, oy + y * scale)
    return [
        (ring(*p(4, 4), 3.6 * scale, 1.4 * scale), GOLD_DARK),
        (ring(*p(4, 4), 2.8 * scale, 1.4 * scale), GOLD),
        (polyline(2.2 * scale, p(6.4, 6.4), p(12.5, 12.5)), GOLD_DARK),
        (polyline(1.2 * scale, p(6.4, 6.4), p(12.5, 12.5)), GOLD),
        (polyline(1.6 * scale, p(10.3, 10.3), p(8.6, 12.0)), GOLD_DARK),
        (polyline(1.6 * scale, p(12.3, 12.3), p(10.6, 14.0)), GOLD_DARK),
    ]


def gear():
    teeth = []
    for i in range(8):
        angle = i * math.pi / 4
        teeth.append(polyline(2.6, (8, 8), (8 + 6.6 * math.cos(angle), 8 + 6.6 * math.sin(angle))))
    body = union(circle(8, 8, 5.4), *teeth)
    return [
        (minus(body, circle(8, 8, 2.2)), OUTLINE),
        (minus(union(circle(8, 8, 4.5), *[polyline(1.3, (8, 8), (8 + 5.9 * math.cos(i * math.pi / 4),
                                                               8 + 5.9 * math.sin(i * math.pi / 4)))
                                          for i in range(8)]), circle(8, 8, 2.9)), STEEL_LIGHT),
    ]


def tray(led):
    return drive_body(0.5, 3.5, 15.5, 12.5, led) + [(circle(12.5, 12.5, 3.3), OUTLINE), (circle(12.5, 12.5, 2.5), led)]


PICTURES = {
    "tray_default": tray(BLUE),
    "tray_green": tray(GREEN),
    "tray_red": tray(RED),
    # A face whose engine is away: the drive greyed out, the light off.
    "tray_grey": [(shape, GREY if colour in (OUTLINE, STEEL) else (colour if colour != BLUE else STEEL_LIGHT))
                  for shape, colour in tray(BLUE)],
    "menu_exit": [
        (circle(8, 8, 7.5), (150, 20, 20)),
        (circle(8, 8, 6.7), RED),
        (minus(ring(8, 8.6, 4.4, 2.9), polygon((5.8, 0), (10.2, 0), (8, 8.6))), WHITE),
        (polyline(1.5, (8, 2.9), (8, 7.6)), WHITE),
    ],
    "menu_about": info_badge(8, 8, 7.5),
    "menu_settings": gear(),
    "menu_keys": key(4.0, 0.0, 0.85) + key(0.0, 2.4, 0.9),
    "menu_key_information": key(0.0, 0.0, 0.95) + info_badge(11.6, 4.4, 4.2),
    "menu_hard_drive_edit": drive_body(0.5, 6, 13, 14, GREEN) + [
        (polyline(3.6, (8.6, 8.6), (14, 3.2)), OUTLINE),
        (polyline(2.2, (8.8, 8.4), (13.8, 3.4)), GOLD),
        (polygon((7.0, 10.2), (7.4, 8.0), (9.2, 9.8)), OUTLINE),
    ],
    "menu_myhost": [
        (rrect(0.5, 1.5, 15.5, 11.5, 1.2), OUTLINE),
        (rect(1.7, 2.7, 14.3, 10.3), (90, 160, 230)),
        (polygon((1.7, 10.3), (14.3, 2.7), (14.3, 10.3)), (60, 130, 210)),
        (rect(6.5, 11.5, 9.5, 13.2), OUTLINE),
        (rrect(3.5, 13, 12.5, 15, 0.8), OUTLINE),
    ],
    "menu_hd": drive_body(0.5, 4, 15.5, 12.5, GREEN),
    "menu_drive_blue_usb": usb_stick(BLUE, BLUE_DARK),
    "menu_help": [
        (circle(8, 8, 7.5), BLUE_DARK),
        (circle(8, 8, 6.7), BLUE),
        (polyline(1.8, *arc(8, 6.1, 2.4, 200, 360, 10), (10.1, 7.2), (8, 8.6), (8, 9.8)), WHITE),
        (circle(8, 12.2, 1.05), WHITE),
    ],
    "opened_folder": [
        (polygon((0.6, 3), (5.5, 3), (7, 4.6), (14, 4.6), (14, 13.8), (0.6, 13.8)), FOLDER_DARK),
        (rect(1.6, 5.6, 13, 12.8), (255, 255, 255)),
        (polygon((3.4, 7.2), (15.6, 7.2), (13.4, 14.2), (0.6, 14.2)), FOLDER_DARK),
        (polygon((4.0, 8.0), (14.6, 8.0), (12.8, 13.4), (1.8, 13.4)), FOLDER),
    ],
    "cancel": [
        (circle(8, 8, 7.5), (150, 20, 20)),
        (circle(8, 8, 6.7), RED),
        (polyline(2.0, (5, 5), (11, 11)), WHITE),
        (polyline(2.0, (11, 5), (5, 11)), WHITE),
    ],
    "app": [
        (rrect(0.3, 0.3, 15.7, 15.7, 3.2), BLUE_DARK),
        (rrect(1.0, 1.0, 15.0, 15.0, 2.6), BLUE),
        (rrect(2.8, 5.2, 13.2, 11.6, 1.2), OUTLINE),
        (rrect(3.4, 5.8, 12.6, 11.0, 0.8), STEEL_LIGHT),
        (circle(11.0, 9.6, 0.8), GREEN),
        (polyline(1.2, (8, 11.6), (8, 13.6)), WHITE),
        (polyline(1.2, (4.5, 13.6), (11.5, 13.6)), WHITE),
        (polyline(1.2, (8, 2.2), (8, 5.2)), WHITE),
        (polygon((6.2, 3.4), (9.8, 3.4), (8, 1.4)), WHITE),
    ],
}

SIZES = {
    "app": (16, 20, 24, 32, 40, 48, 64),
    "opened_folder": (32, 48, 64),
    "cancel": (32, 48, 64),
}
SMALL_SIZES = (16, 24, 32)


def render(shapes, size, samples=4):
    """Returns rows of (r, g, b, a) top to bottom."""
    unit = 16.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * unit
                    y = (py + (sy + 0.5) / samples) * unit
                    colour = None
                    for inside, fill in shapes:
                        if inside(x, y):
                            colour = fill  # later shapes paint over earlier ones
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = samples * samples
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def ico_bytes(images):
    """images: list of (size, rows). 32-bit DIBs with an AND mask, as every Windows version reads them."""
    header = struct.pack("<HHH", 0, 1, len(images))
    entries = b""
    data = b""
    offset = 6 + 16 * len(images)
    for size, rows in images:
        mask_stride = ((size + 31) // 32) * 4
        pixels = b""
        mask = b""
        for row in reversed(rows):
            pixels += b"".join(struct.pack("<BBBB", b, g, r, a) for r, g, b, a in row)
            bits = bytearray(mask_stride)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(bits)
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        image = info + pixels + mask
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        data += image
        offset += len(image)
    return header + entries + data


# --------------------------------------------------------------------------------------------------
# Sounds

RATE = 16000


def tone_sum(duration, notes):
    """notes: (start s, frequency Hz, length s, volume). A soft bell: a few partials, quick attack,
    exponential decay."""
    count = int(round(duration * RATE))
    samples = [0.0] * count
    for start, frequency, length, volume in notes:
        first = int(start * RATE)
        for i in range(int(length * RATE)):
            n = first + i
            if n >= count:
                break
            t = i / RATE
            envelope = min(1.0, t / 0.008) * math.exp(-4.0 * t / length)
            value = (math.sin(2 * math.pi * frequency * t) + 0.35 * math.sin(4 * math.pi * frequency * t)
                     + 0.12 * math.sin(6 * math.pi * frequency * t))
            samples[n] += volume * envelope * value
    # fade the last 50 ms so the sound ends without a click
    fade = int(0.05 * RATE)
    for i in range(fade):
        samples[count - fade + i] *= 1 - i / fade
    return samples


def wav_bytes(samples):
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = 0.85 / peak
    data = bytes(max(0, min(255, 128 + int(round(127 * s * scale)))) for s in samples)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    if len(data) % 2:
        body += b"\0"
    return b"RIFF" + struct.pack("<I", len(body)) + body


C5, E5, G5, C6 = 523.25, 659.25, 783.99, 1046.5

SOUNDS = {
    # A drive became available: a rising major arpeggio.
    "online.wav": (2.4, [(0.0, C5, 1.2, 0.6), (0.25, E5, 1.2, 0.6), (0.5, G5, 1.3, 0.6), (0.75, C6, 1.6, 0.7)]),
    # A backup is finished: a falling figure that settles on a chord.
    "completed.wav": (2.6, [(0.0, C6, 1.0, 0.6), (0.3, G5, 1.0, 0.6), (0.6, E5, 1.0, 0.6),
                            (0.9, C5, 1.7, 0.5), (0.9, E5, 1.7, 0.35), (0.9, G5, 1.7, 0.35)]),
}


def write_if_changed(path, content):
    if os.path.exists(path):
        with open(path, "rb") as existing:
            if existing.read() == content:
                return
    with open(path, "wb") as out:
        out.write(content)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, shapes in PICTURES.items():
        sizes = SIZES.get(name, SMALL_SIZES)
        write_if_changed(os.path.join(folder, name + ".ico"), ico_bytes([(s, render(shapes, s)) for s in sizes]))
    for name, (duration, notes) in SOUNDS.items():
        write_if_changed(os.path.join(folder, name), wav_bytes(tone_sum(duration, notes)))


if __name__ == "__main__":
    main()
