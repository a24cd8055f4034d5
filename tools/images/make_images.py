#!/usr/bin/env python3
"""Draws the program's pictures into a folder, for the resource compiler.

    make_images.py <outdir>

Writes app.ico (48x48, 32-bit), background.bmp (650x280), install_normal.bmp
and install_hover.bmp (300x50), close_normal.bmp, close_hover.bmp,
min_normal.bmp and min_hover.bmp (20x20). The bitmaps are 16-bit 565.

Everything is drawn here in code, with no randomness from outside the script,
so every build produces the same bytes.
"""

import math
import os
import struct
import sys

BG_W, BG_H = 650, 280

# Where the main window places its image buttons over the background (client
# coordinates; the background brush is tiled from the client origin). The
# buttons are cut from the background there so that they sit on it seamlessly.
INSTALL_POS = (211, 112)
CLOSE_POS = (622, 10)
MIN_POS = (592, 10)

# The window's static texts are drawn in this orange; the hover images use it.
ORANGE = (244, 158, 0)
GREY = (168, 162, 160)


# ---------------------------------------------------------------- canvas

class Canvas:
    """RGB floats plus straight alpha (all 1.0 unless drawn on a clear canvas)."""

    def __init__(self, w, h, colour=(0, 0, 0), alpha=1.0):
        self.w, self.h = w, h
        self.rgb = [tuple(map(float, colour))] * (w * h)
        self.alpha = [alpha] * (w * h)

    def get(self, x, y):
        return self.rgb[y * self.w + x]

    def put(self, x, y, c):
        i = y * self.w + x
        self.rgb[i] = c
        self.alpha[i] = 1.0

    def blend(self, x, y, c, a):
        """Paints colour c with coverage a over the pixel (source-over)."""
        if a <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a = min(a, 1.0)
        i = y * self.w + x
        oa = self.alpha[i]
        na = a + oa * (1.0 - a)
        o = self.rgb[i]
        k = oa * (1.0 - a)
        self.rgb[i] = tuple((c[j] * a + o[j] * k) / na for j in range(3))
        self.alpha[i] = na

    def fill_rect(self, x0, y0, x1, y1, c, a=1.0):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.blend(x, y, c, a)

    def crop(self, x0, y0, w, h):
        out = Canvas(w, h)
        for y in range(h):
            row = (y0 + y) * self.w + x0
            out.rgb[y * w:(y + 1) * w] = self.rgb[row:row + w]
        return out


def mix(a, b, t):
    return tuple(a[j] + (b[j] - a[j]) * t for j in range(3))


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def gradient(stops, t):
    """Colour at t along a list of (position, colour) stops."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0))
    return stops[-1][1]


def fill_shape(cv, inside, colour, bbox, alpha=1.0, ss=4):
    """Antialiased fill: inside(x, y) tests a point; ss x ss samples a pixel.

    colour may be a function of the pixel (x, y) for gradients. A pixel whose
    corners and centre agree is taken as wholly in or out, which holds for
    shapes at least a pixel thick and keeps the script quick."""
    x0, y0, x1, y1 = bbox
    step = 1.0 / ss
    offs = [(i + 0.5) * step for i in range(ss)]
    n = float(ss * ss)
    probes = ((0, 0), (1, 0), (0, 1), (1, 1), (0.5, 0.5))
    for y in range(max(0, int(y0)), min(cv.h, int(math.ceil(y1)))):
        for x in range(max(0, int(x0)), min(cv.w, int(math.ceil(x1)))):
            seen = {inside(x + px, y + py) for px, py in probes}
            if len(seen) == 1:
                hits = n if True in seen else 0
            else:
                hits = sum(1 for oy in offs for ox in offs if inside(x + ox, y + oy))
            if hits:
                c = colour(x, y) if callable(colour) else colour
                cv.blend(x, y, c, alpha * hits / n)


def in_round_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def in_capsule(ax, ay, bx, by, r):
    """A stroke from a to b with round ends, r the half thickness."""
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if ll == 0 else clamp(((x - ax) * dx + (y - ay) * dy) / ll)
        px, py = ax + dx * t - x, ay + dy * t - y
        return px * px + py * py <= r * r
    return inside


def in_polygon(pts):
    def inside(x, y):
        hit = False
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def glow(cv, cx, cy, radius, colour, strength):
    """A soft additive-looking light: coverage falls off with distance."""
    for y in range(max(0, int(cy - radius)), min(cv.h, int(cy + radius) + 1)):
        for x in range(max(0, int(cx - radius)), min(cv.w, int(cx + radius) + 1)):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy) / radius
            if d < 1.0:
                cv.blend(x, y, colour, strength * (1.0 - d) ** 2)


# ---------------------------------------------------------------- noise

class Lcg:
    """Small fixed generator so the pictures never depend on the library's."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state / 4294967296.0


def hash01(i, seed):
    h = (i * 374761393 + seed * 668265263) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0


def noise1(x, seed):
    i = math.floor(x)
    f = x - i
    f = f * f * (3 - 2 * f)
    return hash01(i, seed) * (1 - f) + hash01(i + 1, seed) * f


def fbm1(x, seed, octaves=4):
    total, amp, norm = 0.0, 1.0, 0.0
    for o in range(octaves):
        total += amp * noise1(x * (2 ** o), seed + o * 31)
        norm += amp
        amp *= 0.5
    return total / norm


def noise2(x, y, seed):
    ix, iy = math.floor(x), math.floor(y)
    fx, fy = x - ix, y - iy
    fx = fx * fx * (3 - 2 * fx)
    fy = fy * fy * (3 - 2 * fy)

    def h(a, b):
        return hash01(a * 92821 + b * 68917, seed)
    top = h(ix, iy) * (1 - fx) + h(ix + 1, iy) * fx
    bottom = h(ix, iy + 1) * (1 - fx) + h(ix + 1, iy + 1) * fx
    return top * (1 - fy) + bottom * fy


def fbm2(x, y, seed, octaves=3):
    total, amp, norm = 0.0, 1.0, 0.0
    for o in range(octaves):
        s = 2 ** o
        total += amp * noise2(x * s, y * s, seed + o * 17)
        norm += amp
        amp *= 0.5
    return total / norm


# ---------------------------------------------------------------- fonts

# 5x7 capitals, digits and a little punctuation; blank side columns are
# trimmed when drawing, so narrow glyphs come out proportional.
FONT5X7 = {
    "A": ".###.|#...#|#...#|#####|#...#|#...#|#...#",
    "B": "####.|#...#|#...#|####.|#...#|#...#|####.",
    "C": ".###.|#...#|#....|#....|#....|#...#|.###.",
    "D": "####.|#...#|#...#|#...#|#...#|#...#|####.",
    "E": "#####|#....|#....|####.|#....|#....|#####",
    "F": "#####|#....|#....|####.|#....|#....|#....",
    "G": ".###.|#...#|#....|#.###|#...#|#...#|.####",
    "H": "#...#|#...#|#...#|#####|#...#|#...#|#...#",
    "I": "###|.#.|.#.|.#.|.#.|.#.|###",
    "J": "..###|...#.|...#.|...#.|...#.|#..#.|.##..",
    "K": "#...#|#..#.|#.#..|##...|#.#..|#..#.|#...#",
    "L": "#....|#....|#....|#....|#....|#....|#####",
    "M": "#...#|##.##|#.#.#|#.#.#|#...#|#...#|#...#",
    "N": "#...#|#...#|##..#|#.#.#|#..##|#...#|#...#",
    "O": ".###.|#...#|#...#|#...#|#...#|#...#|.###.",
    "P": "####.|#...#|#...#|####.|#....|#....|#....",
    "Q": ".###.|#...#|#...#|#...#|#.#.#|#..#.|.##.#",
    "R": "####.|#...#|#...#|####.|#.#..|#..#.|#...#",
    "S": ".####|#....|#....|.###.|....#|....#|####.",
    "T": "#####|..#..|..#..|..#..|..#..|..#..|..#..",
    "U": "#...#|#...#|#...#|#...#|#...#|#...#|.###.",
    "V": "#...#|#...#|#...#|#...#|#...#|.#.#.|..#..",
    "W": "#...#|#...#|#...#|#.#.#|#.#.#|#.#.#|.#.#.",
    "X": "#...#|#...#|.#.#.|..#..|.#.#.|#...#|#...#",
    "Y": "#...#|#...#|.#.#.|..#..|..#..|..#..|..#..",
    "Z": "#####|....#|...#.|..#..|.#...|#....|#####",
    "0": ".###.|#...#|#..##|#.#.#|##..#|#...#|.###.",
    "1": ".#.|##.|.#.|.#.|.#.|.#.|###",
    "2": ".###.|#...#|....#|...#.|..#..|.#...|#####",
    "3": "####.|....#|....#|.###.|....#|....#|####.",
    "4": "...#.|..##.|.#.#.|#..#.|#####|...#.|...#.",
    "5": "#####|#....|####.|....#|....#|#...#|.###.",
    "6": "..##.|.#...|#....|####.|#...#|#...#|.###.",
    "7": "#####|....#|...#.|..#..|.#...|.#...|.#...",
    "8": ".###.|#...#|#...#|.###.|#...#|#...#|.###.",
    "9": ".###.|#...#|#...#|.####|....#|...#.|.##..",
    ".": ".|.|.|.|.|#|#",
    ",": "..|..|..|..|..|.#|#.",
    "-": "....|....|....|####|....|....|....",
    ":": ".|#|#|.|#|#|.",
    "(": ".#|#.|#.|#.|#.|#.|.#",
    ")": "#.|.#|.#|.#|.#|.#|#.",
    " ": "...|...|...|...|...|...|...",
}

# 16x16 glyphs of the install button's text, drawn by hand.
HAN16 = {
    "立": [
        "................",
        ".......##.......",
        "........##......",
        ".........#......",
        "..############..",
        "................",
        "...##.......##..",
        "....#......##...",
        "....##.....#....",
        ".....#....##....",
        ".....##...#.....",
        "......#..##.....",
        "......#..#......",
        "................",
        "################",
        "................",
    ],
    "即": [
        "................",
        ".######..######.",
        ".#....#..#....#.",
        ".#....#..#....#.",
        ".######..#....#.",
        ".#....#..#....#.",
        ".#....#..#....#.",
        ".######..#....#.",
        ".#...#...#....#.",
        ".#....#..#..###.",
        ".#.......#...#..",
        ".#...##..#......",
        ".#.##....#......",
        ".##......#......",
        "##.......#......",
        ".........#......",
    ],
    "安": [
        ".......##.......",
        "........#.......",
        ".##############.",
        ".#............#.",
        ".#.....#......#.",
        "......##...#....",
        ".....##....#....",
        "################",
        "....#......#....",
        "...###....#.....",
        "......##.#......",
        "........##......",
        "......##.###....",
        "....##......##..",
        ".###.........##.",
        "#...............",
    ],
    "装": [
        "...#......#.....",
        "#..#......#.....",
        ".#.#.#########..",
        "...#......#.....",
        ".###......#.....",
        "...#...#######..",
        "...#............",
        ".......##.......",
        "###############.",
        "......##........",
        ".....#..#....#..",
        "...##....#..#...",
        ".##..#....##....",
        ".....#.....##...",
        ".....#.##....##.",
        ".....##.......##",
    ],
}


def glyph_rows(ch):
    return FONT5X7[ch].split("|") if ch in FONT5X7 else HAN16[ch]


def text_width(text, scale, spacing=1):
    widths = [len(glyph_rows(ch)[0]) for ch in text]
    return (sum(widths) + spacing * (len(text) - 1)) * scale


def text_cells(text, x, y, scale, spacing=1):
    """The filled cells of a text as (x, y, size) squares, left to right."""
    cells = []
    for ch in text:
        rows = glyph_rows(ch)
        for gy, row in enumerate(rows):
            for gx, bit in enumerate(row):
                if bit == "#":
                    cells.append((x + gx * scale, y + gy * scale))
        x += (len(rows[0]) + spacing) * scale
    return cells


def draw_text(cv, text, x, y, colour, scale=1, spacing=1, alpha=1.0, bold=0):
    """bold widens every cell to the right, the way bitmap fonts embolden."""
    for cx, cy in text_cells(text, x, y, scale, spacing):
        cv.fill_rect(cx, cy, cx + scale + bold, cy + scale, colour, alpha)


# ---------------------------------------------------------------- background

def ridge(x, base, amp, freq, seed):
    return base - amp * fbm1(x * freq, seed, 5)


def volcano_top(x):
    """Height of the volcano's silhouette; the crater is around x = 560."""
    d = abs(x - 560.0)
    if d < 18:
        return 96.0 + 3.0 * math.cos(d / 18.0 * math.pi) ** 2
    slope = 96.0 + ((d - 18.0) / 190.0) ** 0.8 * 110.0
    return slope + 6.0 * (fbm1(x * 0.05, 7) - 0.5)


def volcano_rock(x, y):
    # Gullies run down the slope: noise stretched along the fall line.
    d = x - 560.0
    streak = fbm2(d / (4.0 + abs(d) * 0.02), y / 40.0, 31)
    base = mix((52, 28, 30), (24, 15, 19), clamp((y - 96) / 110.0))
    return mix(base, (14, 9, 12), clamp((streak - 0.45) * 1.4))


def paint_heightfield(cv, top, colour, x_from=0, x_to=None):
    """Fills everything below top(x), with the edge pixel partly covered."""
    x_to = cv.w if x_to is None else x_to
    for x in range(x_from, x_to):
        t = top(x + 0.5)
        y0 = max(0, int(t))
        for y in range(y0, cv.h):
            c = colour(x, y) if callable(colour) else colour
            cv.blend(x, y, c, 1.0 if y > t else (y + 1) - t)


def draw_sky(cv):
    stops = [(0.0, (13, 10, 17)), (0.32, (34, 20, 28)), (0.55, (92, 38, 24)),
             (0.72, (168, 70, 24)), (1.0, (120, 44, 22))]
    for y in range(cv.h):
        base = gradient(stops, y / 250.0)
        for x in range(cv.w):
            cv.rgb[y * cv.w + x] = base
    # The sky brightens towards the volcano.
    glow(cv, 560, 110, 330, (255, 120, 40), 0.35)
    # Ash clouds: dark, ragged bands, heaviest high up.
    for y in range(0, 190):
        weight = 0.85 * (1.0 - y / 190.0) + 0.15
        for x in range(cv.w):
            n = fbm2(x / 90.0, y / 26.0, 11)
            a = clamp((n - 0.42) * 2.6) * weight
            if a > 0:
                cv.blend(x, y, (22, 17, 22), a)


def draw_plume(cv):
    """Ash column rising from the crater, widening and drifting west."""
    base_y, rise = 94.0, 130.0
    for y in range(0, int(base_y)):
        t = (base_y - y) / rise
        centre = 560 - 190 * t ** 1.5
        width = 9 + 72 * t
        # Lit orange from the crater low down, plain ash grey higher up.
        lit = mix((168, 96, 62), (92, 80, 82), clamp(t * 2.5))
        for x in range(max(0, int(centre - width)), min(cv.w, int(centre + width) + 1)):
            d = abs(x + 0.5 - centre) / width
            billow = fbm2(x / 16.0, y / 12.0 + t * 3, 23)
            a = clamp(1.3 * (1.0 - d)) * clamp(0.5 + 1.6 * (billow - 0.4)) * (0.95 - 0.3 * t)
            cv.blend(x, y, mix(lit, (34, 28, 32), clamp((billow - 0.45) * 2.0)), a)
    # The column glows from below where it leaves the crater.
    glow(cv, 560, 92, 60, (255, 110, 30), 0.45)


def draw_lava(cv):
    # Flows on the face turned to the viewer run mostly straight down.
    for k, (x0, drift, length) in enumerate([(545, -0.35, 64), (553, -0.12, 40),
                                             (566, 0.1, 56), (575, 0.3, 34)]):
        for s in range(length):
            x = x0 + drift * s + 2.2 * (fbm1(s * 0.09, 50 + k) - 0.5) * (1 + s * 0.08)
            y = max(volcano_top(x) + 1, volcano_top(x0) + 1 + s)
            fade = (1.0 - s / length) ** 0.7
            cv.blend(int(x), int(y), (255, 196, 90), 0.95 * fade)
            cv.blend(int(x) - 1, int(y), (220, 64, 18), 0.6 * fade)
            cv.blend(int(x) + 1, int(y), (220, 64, 18), 0.6 * fade)
    # Molten rim of the crater.
    for x in range(540, 581):
        y = volcano_top(x + 0.5)
        a = 1.0 - abs(x - 560) / 21.0
        cv.blend(x, int(y), (255, 200, 90), a)
        cv.blend(x, int(y) + 1, (255, 110, 30), a * 0.7)


def draw_embers(cv, keep_clear):
    rng = Lcg(4242)
    for _ in range(260):
        x = int(rng.next() * cv.w)
        y = int(rng.next() * 250)
        hot = rng.next()
        if any(x0 <= x < x1 and y0 <= y < y1 for x0, y0, x1, y1 in keep_clear):
            continue
        if hot < 0.35:
            cv.blend(x, y, (255, 190, 80), 0.55 + 0.45 * rng.next())
            if hot < 0.08:
                glow(cv, x + 0.5, y + 0.5, 3.5, (255, 120, 30), 0.6)
        else:
            cv.blend(x, y, (150, 140, 140), 0.25 + 0.3 * rng.next())


def vignette(cv, colour):
    """Darkens the edges. The window is two pixels larger than the picture and
    its brush tiles it, so the first rows and columns also show along the
    bottom and right edges; dark edges make that wrap invisible."""
    for y in range(cv.h):
        top = 1.0 - clamp(y / 12.0)
        for x in range(cv.w):
            side = 1.0 - clamp(min(x, cv.w - 1 - x) / 28.0)
            a = max(top, 0.5 * side * side)
            if a > 0:
                cv.blend(x, y, colour, a)


def draw_logo(cv, x, y):
    """The game's name in big gold blocks with a dark rim and a drop shadow."""
    scale = 5
    word = "ASHFALL"
    cells = text_cells(word, x, y, scale)
    h = 7 * scale
    for cx, cy in cells:
        cv.fill_rect(cx + 3, cy + 4, cx + scale + 3, cy + scale + 4, (0, 0, 0), 0.55)
    for cx, cy in cells:
        cv.fill_rect(cx - 2, cy - 2, cx + scale + 2, cy + scale + 2, (28, 10, 4))
    fill = [(0.0, (255, 236, 150)), (0.45, (255, 180, 40)), (1.0, (206, 70, 10))]
    for cx, cy in cells:
        for py in range(cy, cy + scale):
            c = gradient(fill, (py - y) / h)
            cv.fill_rect(cx, py, cx + scale, py + 1, c)
    width = text_width(word, scale)
    cv.fill_rect(x, y + h + 6, x + width, y + h + 7, (206, 90, 20))
    sub = "BATTLE"
    sub_w = text_width(sub, 2, spacing=2)
    draw_text(cv, sub, x + width - sub_w, y + h + 11, (226, 206, 186), scale=2, spacing=2)


def make_background():
    cv = Canvas(BG_W, BG_H)
    draw_sky(cv)
    # Far range, hazy in the glow.
    paint_heightfield(cv, lambda x: ridge(x, 205, 55, 0.012, 3), (70, 36, 38))
    draw_plume(cv)
    paint_heightfield(cv, volcano_top, volcano_rock, 360, 650)
    draw_lava(cv)
    # Nearer hills and the dark foreground where the window puts its controls.
    paint_heightfield(cv, lambda x: ridge(x, 222, 40, 0.009, 5), (30, 18, 22))
    paint_heightfield(cv, lambda x: ridge(x, 250, 30, 0.02, 9),
                      lambda x, y: mix((17, 11, 14), (8, 6, 8), clamp((y - 220) / 60.0)))
    draw_embers(cv, keep_clear=[(14, 10, 256, 80),              # logo
                                (MIN_POS[0] - 4, 0, BG_W, 40),   # small buttons
                                (0, 255, BG_W, BG_H)])           # footer
    vignette(cv, (6, 5, 7))
    draw_logo(cv, 22, 18)
    # The footer sits on a darker strip; the window's version line takes the
    # bottom right, so the text keeps to the left.
    for y in range(258, BG_H):
        cv.fill_rect(0, y, BG_W, y + 1, (6, 5, 7), clamp((y - 258) / 10.0) * 0.8)
    draw_text(cv, "COPYRIGHT (C) 2025 TARN.NET  ALL RIGHTS RESERVED.", 10, 268,
              (118, 106, 100))
    return cv


# ---------------------------------------------------------------- buttons

def make_install(background, hover):
    x0, y0 = INSTALL_POS
    cv = background.crop(x0, y0, 300, 50)
    body = in_round_rect(1, 1, 299, 47, 7)
    fill_shape(cv, in_round_rect(2, 3, 299, 49, 7), (0, 0, 0), (0, 0, 300, 50), alpha=0.5)
    if hover:
        stops = [(0.0, (255, 238, 140)), (0.5, (255, 200, 50)), (1.0, (255, 150, 20))]
        edge = (255, 236, 170)
    else:
        stops = [(0.0, (255, 220, 90)), (0.5, (250, 176, 24)), (1.0, (226, 122, 8))]
        edge = (150, 70, 6)
    fill_shape(cv, body, edge, (0, 0, 300, 50))
    fill_shape(cv, in_round_rect(2, 2, 298, 46, 6), lambda x, y: gradient(stops, (y - 2) / 44.0),
               (0, 0, 300, 50))
    # A thin light line under the top edge gives the bar some depth.
    cv.fill_rect(8, 3, 292, 4, (255, 250, 220), 0.6)

    text = "立即安装"
    scale, spacing = 2, 3
    tx = (300 - text_width(text, scale, spacing)) // 2
    ty = (48 - 16 * scale) // 2
    draw_text(cv, text, tx, ty, (52, 24, 4), scale, spacing, bold=1)
    return cv, (x0, y0)


def make_small(background, pos, colour, symbol):
    cv = background.crop(pos[0], pos[1], 20, 20)
    if symbol == "close":
        for a, b in (((6, 6), (14, 14)), ((14, 6), (6, 14))):
            fill_shape(cv, in_capsule(a[0], a[1], b[0], b[1], 1.15), colour, (0, 0, 20, 20))
    else:
        fill_shape(cv, in_capsule(5.5, 10, 14.5, 10, 1.0), colour, (0, 0, 20, 20))
    return cv, pos


# ---------------------------------------------------------------- icon

def make_icon():
    size = 48
    cv = Canvas(size, size, alpha=0.0)
    sky = [(0.0, (30, 16, 26)), (0.6, (150, 56, 22)), (1.0, (250, 150, 40))]
    fill_shape(cv, in_round_rect(1, 1, 47, 47, 9), lambda x, y: gradient(sky, y / 40.0),
               (0, 0, size, size))
    cone = in_polygon([(4, 48), (19, 20), (29, 20), (44, 48)])
    clip = in_round_rect(1, 1, 47, 47, 9)
    fill_shape(cv, lambda x, y: cone(x, y) and clip(x, y), (22, 12, 14), (0, 0, size, size))
    glow(cv, 24, 20, 9, (255, 200, 80), 0.9)
    fill_shape(cv, in_capsule(20, 20.5, 28, 20.5, 1.2), (255, 214, 110), (0, 0, size, size))
    for a, b in (((22, 21), (17, 33)), ((26, 21), (31, 37))):
        fill_shape(cv, in_capsule(a[0], a[1], b[0], b[1], 0.9), (250, 120, 30), (0, 0, size, size))
    for cx, cy, r in ((23, 15, 3.5), (20, 10, 4.5), (15, 5, 5.5)):
        fill_shape(cv, in_capsule(cx, cy, cx, cy, r), (60, 44, 46), (0, 0, size, size), alpha=0.85)
    return cv


# ---------------------------------------------------------------- files

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def quantise(v, levels, threshold):
    return int(clamp(v / 255.0 * levels + threshold, 0, levels + 0.999))


def bmp565(cv, origin=(0, 0)):
    """A bottom-up 16-bit BI_BITFIELDS bitmap file. Ordered dithering hides the
    banding of 5 and 6 bit channels; the pattern follows window coordinates
    (origin) so cut-out buttons match the background under them."""
    stride = (cv.w * 2 + 3) & ~3
    rows = []
    for y in range(cv.h - 1, -1, -1):
        row = bytearray()
        for x in range(cv.w):
            r, g, b = cv.get(x, y)
            t = (BAYER4[(y + origin[1]) % 4][(x + origin[0]) % 4] + 0.5) / 16.0 - 0.5
            v = (quantise(r, 31, t) << 11) | (quantise(g, 63, t) << 5) | quantise(b, 31, t)
            row += struct.pack("<H", v)
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header_size = 14 + 40 + 12
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 16, 3, len(pixels), 2835, 2835, 0, 0)
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    head = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    return head + info + masks + pixels


def ico32(cv):
    """An icon file with one 32-bit image: BGRA rows bottom-up, then the AND mask."""
    w, h = cv.w, cv.h
    colour = bytearray()
    mask = bytearray()
    mask_stride = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_stride)
        for x in range(w):
            i = y * w + x
            r, g, b = (int(round(clamp(v, 0, 255))) for v in cv.rgb[i])
            a = int(round(cv.alpha[i] * 255))
            colour += bytes((b, g, r, a)) if a else b"\0\0\0\0"
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = info + bytes(colour) + bytes(mask)
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return head + entry + image


def write(outdir, name, data):
    path = os.path.join(outdir, name)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_images.py <outdir>\n")
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)

    background = make_background()
    write(outdir, "background.bmp", bmp565(background))
    for name, hover in (("install_normal.bmp", False), ("install_hover.bmp", True)):
        cv, origin = make_install(background, hover)
        write(outdir, name, bmp565(cv, origin))
    for name, pos, colour, symbol in (
            ("close_normal.bmp", CLOSE_POS, GREY, "close"),
            ("close_hover.bmp", CLOSE_POS, ORANGE, "close"),
            ("min_normal.bmp", MIN_POS, GREY, "min"),
            ("min_hover.bmp", MIN_POS, ORANGE, "min")):
        cv, origin = make_small(background, pos, colour, symbol)
        write(outdir, name, bmp565(cv, origin))
    write(outdir, "app.ico", ico32(make_icon()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
