#!/usr/bin/env python3
"""Generates the program's media into a folder (standard library only).

    make-media.py OUTDIR [VERSION]
    make-media.py --icons OUTDIR

Writes sound104.wav (completion chime), anim105.avi (turning globe),
splash136.dib (splash picture as a packed DIB, the way bitmap resources are
stored), icon128.ico (program icon) and help186.html (help page, naming VERSION,
default 1.0). Each file has a fixed format and byte size that the program and
its tests rely on; the script checks them before it writes anything.

With --icons it writes the program icon for desktops instead: the same emblem
as icon128.ico drawn at each hicolor size, as SIZExSIZE.png (true colour with
alpha).
"""

import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Small helpers


def chunk(fourcc, payload):
    """A RIFF chunk, padded to an even size."""
    data = fourcc + struct.pack("<I", len(payload)) + payload
    if len(payload) % 2:
        data += b"\0"
    return data


def riff_list(kind, fourcc, payload):
    return kind + struct.pack("<I", len(payload) + 4) + fourcc + payload


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def hexcol(s):
    return tuple(int(s[i:i + 2], 16) / 255.0 for i in (1, 3, 5))


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3 - 2 * t)


# ---------------------------------------------------------------------------
# Completion sound: a soft two-tone chime, 16 kHz mono 16 bit.

WAV_RATE = 16000
WAV_DATA_BYTES = 24556
WAV_TOTAL_BYTES = 24694


def make_wav():
    n = WAV_DATA_BYTES // 2
    # (start s, frequency Hz, level, decay time constant s): a falling major third.
    notes = [(0.0, 1318.51, 0.55, 0.16), (0.20, 1046.50, 0.60, 0.22)]
    partials = [(1.0, 1.0, 1.0), (2.0, 0.30, 0.55), (3.0, 0.10, 0.35), (4.2, 0.04, 0.25)]
    attack = 0.008
    samples = []
    for i in range(n):
        t = i / WAV_RATE
        v = 0.0
        for start, freq, level, tau in notes:
            u = t - start
            if u < 0:
                continue
            env = level
            if u < attack:
                env *= 0.5 - 0.5 * math.cos(math.pi * u / attack)
            # Higher partials die away faster, which gives the bell-like colour.
            for mult, amp, tau_scale in partials:
                v += env * amp * math.exp(-u / (tau * tau_scale)) * \
                    math.sin(2 * math.pi * freq * mult * u)
        samples.append(v)
    # Fade the tail so the sound ends on silence, then normalise to about -6 dB.
    fade = int(0.05 * WAV_RATE)
    for i in range(fade):
        samples[n - fade + i] *= 0.5 + 0.5 * math.cos(math.pi * i / fade)
    peak = max(abs(s) for s in samples) or 1.0
    scale = 0.5 * 32767 / peak
    pcm = struct.pack("<%dh" % n, *(int(round(s * scale)) for s in samples))

    fmt = chunk(b"fmt ", struct.pack("<HHIIHH", 1, 1, WAV_RATE, WAV_RATE * 2, 2, 16))
    data = chunk(b"data", pcm)
    # A LIST/INFO chunk names the sound; its comment fills the file to its fixed size.
    name = chunk(b"INAM", b"Tallowick! ranking complete\0")
    fixed = 4 + len(fmt) + 8 + 4 + len(name) + 8 + len(data)
    comment_len = WAV_TOTAL_BYTES - 8 - fixed
    comment = b"Two-tone chime"
    comment += b"\0" * (comment_len - len(comment))
    info = riff_list(b"LIST", b"INFO", name + chunk(b"ICMT", comment))
    out = riff_list(b"RIFF", b"WAVE", fmt + info + data)
    assert len(pcm) == WAV_DATA_BYTES
    assert len(out) == WAV_TOTAL_BYTES, len(out)
    return out


# ---------------------------------------------------------------------------
# Progress animation: a turning globe, 29 frames of 40 x 40, 8-bit DIB, 10 fps.

AVI_SIZE = 40
AVI_FRAMES = 29
AVI_USEC = 100000
AVI_TOTAL_BYTES = 51200

# Palette layout: 0 background (keyed out by the player), 1..63 ocean shades,
# 64..127 land shades, 128..159 rim/outline shades, 160..191 highlight, rest grey.
PAL_OCEAN, PAL_LAND, PAL_RIM, PAL_GLOW = 1, 64, 128, 160
OCEAN_DARK, OCEAN_LIGHT = hexcol("#0b3a73"), hexcol("#4fa8e8")
LAND_DARK, LAND_LIGHT = hexcol("#1f5a1c"), hexcol("#8fd16a")
RIM_DARK, RIM_LIGHT = hexcol("#082040"), hexcol("#2a5f9a")
BACKGROUND = (240 / 255.0, 240 / 255.0, 240 / 255.0)

# Continents: (longitude, latitude, angular radius) in degrees.
CONTINENTS = [
    (-100, 45, 28), (-75, 10, 14), (-60, -15, 22), (-65, -40, 10),
    (15, 50, 20), (20, 5, 26), (25, -25, 16), (80, 45, 30), (110, 30, 22),
    (135, -25, 18), (-40, 72, 12), (100, 65, 20), (45, 25, 12),
]


def avi_palette():
    pal = [BACKGROUND]
    for i in range(63):
        pal.append(mix(OCEAN_DARK, OCEAN_LIGHT, i / 62))
    for i in range(64):
        pal.append(mix(LAND_DARK, LAND_LIGHT, i / 63))
    for i in range(32):
        pal.append(mix(RIM_DARK, RIM_LIGHT, i / 31))
    for i in range(32):
        pal.append(mix(hexcol("#cfe8ff"), (1, 1, 1), i / 31))
    while len(pal) < 256:
        g = (len(pal) - 192) / 63
        pal.append((g, g, g))
    return pal


def continent_vectors():
    out = []
    for lon, lat, rad in CONTINENTS:
        lo, la = math.radians(lon), math.radians(lat)
        out.append((math.cos(la) * math.cos(lo), math.sin(la), math.cos(la) * math.sin(lo),
                    math.cos(math.radians(rad))))
    return out


def globe_frame(frame):
    """One frame as rows of palette indices, top row first."""
    conts = continent_vectors()
    turn = 2 * math.pi * frame / AVI_FRAMES
    tilt = math.radians(20)
    c = (AVI_SIZE - 1) / 2.0
    r = 17.0
    light = (-0.55, 0.6, 0.58)
    rows = []
    for y in range(AVI_SIZE):
        row = []
        for x in range(AVI_SIZE):
            dx, dy = (x - c) / r, (c - y) / r
            d2 = dx * dx + dy * dy
            if d2 > 1.0:
                # A thin rim just outside the sphere gives it a crisp outline.
                row.append(PAL_RIM + 4 if d2 < 1.13 else 0)
                continue
            dz = math.sqrt(1.0 - d2)
            # Undo the axial tilt, then the rotation, to find the surface point.
            py = dy * math.cos(tilt) - dz * math.sin(tilt)
            pz = dy * math.sin(tilt) + dz * math.cos(tilt)
            px = dx
            sx = px * math.cos(turn) - pz * math.sin(turn)
            sz = px * math.sin(turn) + pz * math.cos(turn)
            land = any(sx * vx + py * vy + sz * vz > cr for vx, vy, vz, cr in conts)
            shade = clamp(dx * light[0] + dy * light[1] + dz * light[2]) * 0.85 + 0.15
            if d2 > 0.86:
                row.append(PAL_RIM + int(clamp(shade) * 31))
            elif land:
                row.append(PAL_LAND + int(shade * 63))
            else:
                row.append(PAL_OCEAN + int(shade * 62))
            # Specular glint on the upper left.
            hx, hy = dx + 0.42, dy - 0.45
            if hx * hx + hy * hy < 0.025:
                row[-1] = PAL_GLOW + int((1 - (hx * hx + hy * hy) / 0.025) * 20)
        rows.append(row)
    return rows


def make_avi():
    pal = avi_palette()
    frame_bytes = AVI_SIZE * AVI_SIZE
    avih = struct.pack("<IIIIIIIIII4I", AVI_USEC, frame_bytes * 1000000 // AVI_USEC, 0,
                       0x10, AVI_FRAMES, 0, 1, frame_bytes, AVI_SIZE, AVI_SIZE, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIII4h", b"vids", b"DIB ", 0, 0, 0, 0, 1,
                       1000000 // AVI_USEC, 0, AVI_FRAMES, frame_bytes, 0xFFFFFFFF, 0,
                       0, 0, AVI_SIZE, AVI_SIZE)
    bih = struct.pack("<IiiHHIIiiII", 40, AVI_SIZE, AVI_SIZE, 1, 8, 0, frame_bytes, 0, 0,
                      256, 0)
    quads = b"".join(struct.pack("<BBBB", int(round(b * 255)), int(round(g * 255)),
                                 int(round(r * 255)), 0) for r, g, b in pal)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", bih + quads))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    movi_payload = b""
    index = b""
    for f in range(AVI_FRAMES):
        rows = globe_frame(f)
        pixels = b"".join(bytes(row) for row in reversed(rows))  # bottom-up DIB
        index += struct.pack("<4sIII", b"00db", 0x10, 4 + len(movi_payload), frame_bytes)
        movi_payload += chunk(b"00db", pixels)
    movi = riff_list(b"LIST", b"movi", movi_payload)
    idx1 = chunk(b"idx1", index)

    fixed = 12 + len(hdrl) + len(movi) + len(idx1)
    junk = chunk(b"JUNK", b"\0" * (AVI_TOTAL_BYTES - fixed - 8))
    out = riff_list(b"RIFF", b"AVI ", hdrl + junk + movi + idx1)
    assert len(out) == AVI_TOTAL_BYTES, len(out)
    return out


# ---------------------------------------------------------------------------
# A small bitmap font (5 x 7 cells, descenders below) for the splash picture.

GLYPHS = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "c": [".....", ".....", ".###.", "#....", "#....", "#...#", ".###."],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "f": ["..##", ".#..", "####", ".#..", ".#..", ".#..", ".#.."],
    "g": [".....", ".....", ".####", "#...#", "#...#", "#...#", ".####", "....#", ".###."],
    "h": ["#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "i": [".#.", "...", "##.", ".#.", ".#.", ".#.", "###"],
    "k": ["#...", "#...", "#..#", "#.#.", "##..", "#.#.", "#..#"],
    "l": ["##.", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
    "t": [".#..", ".#..", "####", ".#..", ".#..", ".#..", "..##"],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "w": [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    "0": [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    "1": [".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"],
    "!": ["#", "#", "#", "#", "#", ".", "#"],
    ".": [".", ".", ".", ".", ".", ".", "#"],
    " ": ["..."],
}


def text_width(text):
    return sum(len(GLYPHS[ch][0]) for ch in text) + len(text) - 1


def text_cells(text):
    """Yields (column, row) of every set cell of the text, origin at its top-left."""
    x = 0
    for ch in text:
        g = GLYPHS[ch]
        for gy, line in enumerate(g):
            for gx, bit in enumerate(line):
                if bit == "#":
                    yield x + gx, gy
        x += len(g[0]) + 1


class Canvas:
    def __init__(self, w, h, fill=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[list(fill) for _ in range(w)] for _ in range(h)]
        self.alpha = [[1.0] * w for _ in range(h)]

    def blend(self, x, y, col, a):
        if 0 <= x < self.w and 0 <= y < self.h and a > 0:
            p = self.px[y][x]
            a = clamp(a)
            for i in range(3):
                p[i] += (col[i] - p[i]) * a

    def rect(self, x0, y0, x1, y1, col, a=1.0):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.blend(x, y, col, a)

    def disc(self, cx, cy, r, colfn, a=1.0):
        """Anti-aliased disc; colfn(x, y) gives the colour of each pixel."""
        for y in range(max(0, int(cy - r - 1)), min(self.h, int(cy + r + 2))):
            for x in range(max(0, int(cx - r - 1)), min(self.w, int(cx + r + 2))):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                cov = clamp(r - d + 0.5)
                if cov > 0:
                    self.blend(x, y, colfn(x, y), cov * a)

    def ring(self, cx, cy, r0, r1, colfn, a=1.0):
        for y in range(max(0, int(cy - r1 - 1)), min(self.h, int(cy + r1 + 2))):
            for x in range(max(0, int(cx - r1 - 1)), min(self.w, int(cx + r1 + 2))):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                cov = clamp(r1 - d + 0.5) * clamp(d - r0 + 0.5)
                if cov > 0:
                    self.blend(x, y, colfn(x, y), cov * a)

    def capsule(self, x0, y0, x1, y1, r, colfn, a=1.0):
        """Anti-aliased thick line with round ends."""
        lx, ly = x1 - x0, y1 - y0
        ll = lx * lx + ly * ly
        for y in range(max(0, int(min(y0, y1) - r - 1)), min(self.h, int(max(y0, y1) + r + 2))):
            for x in range(max(0, int(min(x0, x1) - r - 1)),
                           min(self.w, int(max(x0, x1) + r + 2))):
                px, py = x + 0.5 - x0, y + 0.5 - y0
                t = clamp((px * lx + py * ly) / ll)
                d = math.hypot(px - lx * t, py - ly * t)
                cov = clamp(r - d + 0.5)
                if cov > 0:
                    self.blend(x, y, colfn(x, y, t), cov * a)

    def text(self, text, x0, y0, scale, colfn, shadow=None, outline=None):
        cells = list(text_cells(text))
        if shadow:
            off, col, a = shadow
            for cx, cy in cells:
                self.rect(x0 + cx * scale + off, y0 + cy * scale + off,
                          x0 + (cx + 1) * scale + off, y0 + (cy + 1) * scale + off, col, a)
        if outline:
            w, col = outline
            mask = set()
            for cx, cy in cells:
                for y in range(y0 + cy * scale - w, y0 + (cy + 1) * scale + w):
                    for x in range(x0 + cx * scale - w, x0 + (cx + 1) * scale + w):
                        mask.add((x, y))
            for x, y in mask:
                self.blend(x, y, col, 1.0)
        for cx, cy in cells:
            for y in range(y0 + cy * scale, y0 + (cy + 1) * scale):
                for x in range(x0 + cx * scale, x0 + (cx + 1) * scale):
                    self.blend(x, y, colfn(x, y), 1.0)


def draw_emblem(cv, cx, cy, r, k=1.0):
    """A globe seen through a magnifying glass, the program's emblem. The rim, handle and
    shadow widths are in pixels of a 128-pixel drawing, times k."""
    conts = continent_vectors()
    light = (-0.5, 0.62, 0.6)

    def globe_col(x, y):
        dx, dy = (x + 0.5 - cx) / r, (cy - y - 0.5) / r
        d2 = dx * dx + dy * dy
        if d2 >= 1:
            return RIM_DARK
        dz = math.sqrt(1 - d2)
        turn = math.radians(200)
        sx = dx * math.cos(turn) - dz * math.sin(turn)
        sz = dx * math.sin(turn) + dz * math.cos(turn)
        land = any(sx * vx + dy * vy + sz * vz > cr for vx, vy, vz, cr in conts)
        shade = clamp(dx * light[0] + dy * light[1] + dz * light[2]) * 0.8 + 0.2
        base = mix(LAND_DARK, LAND_LIGHT, shade) if land else mix(OCEAN_DARK, OCEAN_LIGHT, shade)
        lon = math.degrees(math.atan2(sz, sx))
        lat = math.degrees(math.asin(clamp(dy, -1, 1)))
        if abs((lon + 180) % 30 - 15) > 14.2 or abs((lat + 90) % 30 - 15) > 14.3:
            base = mix(base, (1, 1, 1), 0.35)
        return mix(base, RIM_DARK, smoothstep(0.75, 1.0, d2) * 0.6)

    # Handle first, so the rim sits on top of its joint.
    ang = math.radians(45)
    hx0, hy0 = cx + math.cos(ang) * (r + 4 * k), cy + math.sin(ang) * (r + 4 * k)
    hx1, hy1 = cx + math.cos(ang) * (r * 2.05), cy + math.sin(ang) * (r * 2.05)
    cv.capsule(hx0 + 3 * k, hy0 + 3 * k, hx1 + 3 * k, hy1 + 3 * k, r * 0.2,
               lambda x, y, t: (0, 0, 0), 0.35)
    handle_dark, handle_light = hexcol("#2b1608"), hexcol("#9a5a2a")
    cv.capsule(hx0, hy0, hx1, hy1, r * 0.2,
               lambda x, y, t: mix(handle_light, handle_dark,
                                   clamp(0.5 + ((x - y) - (hx0 - hy0)) / (r * 0.5))))
    cv.capsule(hx0, hy0, hx0 + (hx1 - hx0) * 0.22, hy0 + (hy1 - hy0) * 0.22, r * 0.16,
               lambda x, y, t: mix(hexcol("#e8e8ee"), hexcol("#70707c"), t))
    cv.disc(cx + 3 * k, cy + 3 * k, r + 6 * k, lambda x, y: (0, 0, 0), 0.3)
    cv.disc(cx, cy, r, globe_col)
    # Glass reflection, then the metal rim.
    cv.disc(cx - r * 0.38, cy - r * 0.42, r * 0.28, lambda x, y: (1, 1, 1), 0.22)
    cv.ring(cx, cy, r - 1 * k, r + 6 * k,
            lambda x, y: mix(hexcol("#fbfbff"), hexcol("#6a6f80"),
                             clamp(0.5 + ((x - cx) + (y - cy)) / (3.0 * r))))
    cv.ring(cx, cy, r + 5.5 * k, r + 7 * k, lambda x, y: hexcol("#2a2d38"), 0.8)


SPLASH_W, SPLASH_H = 350, 220
SPLASH_TOTAL_BYTES = 231482


def make_splash():
    top, bottom = hexcol("#0c2748"), hexcol("#1d6aa5")
    cv = Canvas(SPLASH_W, SPLASH_H)
    for y in range(SPLASH_H):
        base = mix(top, bottom, y / (SPLASH_H - 1))
        for x in range(SPLASH_W):
            glow = math.exp(-(((x - 245) / 150.0) ** 2 + ((y - 80) / 90.0) ** 2)) * 0.22
            cv.px[y][x] = list(mix(base, hexcol("#8fd0ff"), glow))
    # Faint orbit arcs behind everything.
    for rr in (150, 185, 220):
        cv.ring(70, 95, rr - 0.6, rr + 0.6, lambda x, y: hexcol("#a9dbff"), 0.10)

    # Footer band.
    band_top = 184
    cv.rect(0, band_top, SPLASH_W, SPLASH_H, hexcol("#06172b"), 0.55)
    cv.rect(0, band_top, SPLASH_W, band_top + 2, hexcol("#f2b33d"), 0.9)

    draw_emblem(cv, 66, 86, 40)

    gold_top, gold_bottom = hexcol("#fff2a8"), hexcol("#ff9d1e")
    scale = 4
    title = "Tallowick!"
    tw = text_width(title) * scale
    tx = 132 + (SPLASH_W - 132 - tw) // 2
    ty = 58
    cv.text(title, tx, ty, scale,
            lambda x, y: mix(gold_top, gold_bottom, clamp((y - ty) / (7.0 * scale))),
            shadow=(3, (0, 0, 0), 0.45), outline=(2, hexcol("#3b1d00")))
    sub = "Rank checker"
    sw = text_width(sub) * 2
    cv.text(sub, tx + (tw - sw) // 2, ty + 7 * scale + 16, 2,
            lambda x, y: hexcol("#d8efff"), shadow=(2, (0, 0, 0), 0.35))
    # A thin rule between title and subtitle.
    cv.rect(tx + 8, ty + 7 * scale + 8, tx + tw - 8, ty + 7 * scale + 9, hexcol("#f2b33d"), 0.7)

    foot_y = band_top + 2 + (SPLASH_H - band_top - 2 - 14) // 2
    cv.text("Version 1.0", 14, foot_y, 2, lambda x, y: hexcol("#e6eef7"))
    maker = "Tallowick Software"
    cv.text(maker, SPLASH_W - 14 - text_width(maker) * 2, foot_y, 2,
            lambda x, y: hexcol("#9fc4e6"))
    # A one-pixel frame finishes the edge.
    for x in range(SPLASH_W):
        cv.blend(x, 0, hexcol("#6fa7d6"), 0.8)
        cv.blend(x, SPLASH_H - 1, (0, 0, 0), 0.8)
    for y in range(SPLASH_H):
        cv.blend(0, y, hexcol("#6fa7d6"), 0.8)
        cv.blend(SPLASH_W - 1, y, (0, 0, 0), 0.8)

    stride = (SPLASH_W * 3 + 3) & ~3
    rows = []
    for y in reversed(range(SPLASH_H)):
        row = bytearray()
        for p in cv.px[y]:
            row += bytes((int(round(clamp(p[2]) * 255)), int(round(clamp(p[1]) * 255)),
                          int(round(clamp(p[0]) * 255))))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, SPLASH_W, SPLASH_H, 1, 24, 0, len(pixels),
                         2835, 2835, 0, 0)
    # Bitmap resources are packed DIBs (no file header); two trailing pad bytes, as the
    # image editors of the time left them, make up the resource's size.
    out = header + pixels + b"\0\0"
    assert len(out) == SPLASH_TOTAL_BYTES, len(out)
    return out


# ---------------------------------------------------------------------------
# Program icon: 32 x 32 in 256 colours, 32 x 32 and 16 x 16 in 16 colours.

ICON_PALETTE_16 = [hexcol(c) for c in (
    "#000000", "#0b3a73", "#1f66b0", "#4fa8e8", "#1f5a1c", "#4f9a3a", "#8fd16a", "#2b1608",
    "#9a5a2a", "#6a6f80", "#b8bcc8", "#ffffff", "#082040", "#f2b33d", "#c0e4ff", "#404450")]


def icon_rgba(size):
    """The emblem at the given size as rows of (r, g, b, alpha)."""
    # Drawn larger, then averaged down: four times up to the icon resource's 32 pixels, twice
    # above (where a pixel is small enough already, and the drawing four times as quick).
    s = 4 if size <= 32 else 2
    # The drawing's own widths are those of the 32-pixel icon drawn four times larger.
    k = 1.0 if size <= 32 else size * s / 128.0
    cv = Canvas(size * s, size * s, (0, 0, 0))
    cover = Canvas(size * s, size * s, (0, 0, 0))
    r = size * s * 0.35
    cx = cy = size * s * 0.39
    draw_emblem(cv, cx, cy, r, k)
    # The same shapes in white give the coverage (alpha) of the emblem.
    white = lambda *a: (1, 1, 1)  # noqa: E731
    ang = math.radians(45)
    hx0, hy0 = cx + math.cos(ang) * (r + 4 * k), cy + math.sin(ang) * (r + 4 * k)
    hx1, hy1 = cx + math.cos(ang) * (r * 2.05), cy + math.sin(ang) * (r * 2.05)
    cover.capsule(hx0, hy0, hx1, hy1, r * 0.2, white)
    cover.disc(cx, cy, r + 7 * k, white)
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            a = 0.0
            for yy in range(y * s, y * s + s):
                for xx in range(x * s, x * s + s):
                    ca = cover.px[yy][xx][0]
                    a += ca
                    for i in range(3):
                        acc[i] += cv.px[yy][xx][i] * ca
            col = tuple(acc[i] / a for i in range(3)) if a > 0 else (0, 0, 0)
            row.append((col, a / (s * s)))
        out.append(row)
    return out


def nearest(pal, col):
    return min(range(len(pal)), key=lambda i: sum((pal[i][k] - col[k]) ** 2 for k in range(3)))


def icon_palette_256(images):
    pal = list(ICON_PALETTE_16)
    seen = {}
    for img in images:
        for row in img:
            for col, a in row:
                if a >= 0.5:
                    key = tuple(int(c * 31) for c in col)
                    seen[key] = seen.get(key, 0) + 1
    for key, _ in sorted(seen.items(), key=lambda kv: -kv[1]):
        if len(pal) >= 256:
            break
        pal.append(tuple((k + 0.5) / 31 for k in key))
    while len(pal) < 256:
        pal.append((0, 0, 0))
    return pal


def icon_image(img, pal, bits):
    size = len(img)
    hdr = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", *(int(round(c * 255)) for c in (b, g, r)), 0)
                       for r, g, b in pal[:1 << bits])
    xor_stride = ((size * bits + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, mask = b"", b""
    for row in reversed(img):
        idx = [nearest(pal[:1 << bits], col) if a >= 0.5 else 0 for col, a in row]
        if bits == 8:
            line = bytes(idx)
        else:
            line = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, size, 2))
        xor += line + b"\0" * (xor_stride - len(line))
        bitsrow = 0
        for x, (_, a) in enumerate(row):
            if a < 0.5:
                bitsrow |= 1 << (and_stride * 8 - 1 - x)
        mask += bitsrow.to_bytes(and_stride, "big")
    return hdr + colours + xor + mask


def make_icon():
    big, small = icon_rgba(32), icon_rgba(16)
    pal256 = icon_palette_256([big])
    images = [(32, 16, icon_image(big, ICON_PALETTE_16, 4)),
              (16, 16, icon_image(small, ICON_PALETTE_16, 4)),
              (32, 0, icon_image(big, pal256, 8))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, data in images:
        bits = 4 if colours == 16 else 8
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return out


# The sizes of the hicolor icon theme the program's icon is installed in.
HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def png(img):
    """An RGBA PNG of rows of (r, g, b, alpha)."""
    size = len(img)
    raw = bytearray()
    for row in img:
        raw.append(0)  # no filter
        for col, a in row:
            raw += bytes(int(round(clamp(c) * 255)) for c in col)
            raw.append(int(round(clamp(a) * 255)))

    def png_chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


# ---------------------------------------------------------------------------
# Help page.

HELP_HTML = """<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>Tallowick! Help</title>
</head>
<body style="font-family: sans-serif; margin: 12px;">
<h1 style="color: #1d5a96;">Tallowick! Help</h1>
<p>Tallowick! checks where your web pages rank on the search engines.
Add the address of your site and the keywords people search for, then
click <b>Rank All</b> to see the position of each entry.</p>
<h2 style="color: #1d5a96;">Online help</h2>
<p>Step-by-step guides, answers to common questions and tips for better
rankings are on our web site:</p>
<p style="margin-left: 20px;"><a href="http://www.tallowick.example/help/">Tallowick!
Online Help</a> &ndash; http://www.tallowick.example/help/</p>
<p><i>You need a connection to the Internet to read the online help
pages.</i></p>
<p>Questions the help pages do not answer? Write to
<a href="mailto:support@tallowick.example">support@tallowick.example</a>.</p>
<hr>
<p style="font-size: small; color: #606060;">Tallowick! Version @VERSION@ &ndash;
&copy; Tallowick Software</p>
</body>
</html>
"""


def make_help(version):
    data = HELP_HTML.replace("@VERSION@", version).encode("utf-8")
    assert 1000 <= len(data) <= 1300, len(data)
    return data


def main():
    args = sys.argv[1:]
    icons = args[:1] == ["--icons"]
    if icons:
        args = args[1:]
    if len(args) not in ((1,) if icons else (1, 2)):
        sys.stderr.write("usage: make-media.py OUTDIR [VERSION]\n"
                         "       make-media.py --icons OUTDIR\n")
        return 2
    outdir = args[0]
    os.makedirs(outdir, exist_ok=True)
    if icons:
        files = {"%dx%d.png" % (n, n): png(icon_rgba(n)) for n in HICOLOR_SIZES}
    else:
        files = {
            "sound104.wav": make_wav(),
            "anim105.avi": make_avi(),
            "splash136.dib": make_splash(),
            "icon128.ico": make_icon(),
            "help186.html": make_help(args[1] if len(args) > 1 else "1.0"),
        }
    for name, data in files.items():
        path = os.path.join(outdir, name)
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
