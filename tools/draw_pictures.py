#!/usr/bin/env python3
"""Draws the program's pictures and writes them into the resource folders
of the parts that show them: src/shell/res and src/debugger/res.

    python3 tools/draw_pictures.py [source folder]

The source folder (src by default) is the one holding those resource folders.

Everything is drawn from code so the pictures can be redrawn, restyled or
extended without an image editor, and so the repository holds no picture
whose origin nobody can explain. Only the standard library is used.

Written files:
  shell/res/norvale.ico     program and tray icon: 16, 32 and 48 pixel images
  shell/res/commands.bmp    80x16 strip: Close, Properties, Show debug window,
                            About, Flush output file
  shell/res/spawn.bmp       16x16 tool bar picture for Spawn
  debugger/res/views.bmp    112x16 strip, the process window's rows and tree
                            nodes: dot, folder, needle and thread, page with a
                            gear, application window, page with text, stop
  shell/res/logo.bmp        461x163 "LOGO" of the splash and the about window
  shell/res/logo_2x.bmp     the same at 922x326, for screens scaled up
  shell/res/developer_2x.bmp  260x150, the about window's developer picture
                            (shown at 130x75)
  shell/res/brantwick_2x.bmp  960x328, the about window's maker page (shown at
                            480x164)
"""

import math
import os
import struct
import sys

# Samples per pixel along each axis. 8x8 gives 65 coverage levels, which is
# more than the eye can tell apart on a 16 pixel picture.
SUPERSAMPLE = 8


# --- Palette --------------------------------------------------------------

def hex_colour(text, alpha=1.0):
    text = text.lstrip("#")
    return (int(text[0:2], 16) / 255.0, int(text[2:4], 16) / 255.0,
            int(text[4:6], 16) / 255.0, alpha)


INK = hex_colour("#263840")          # outlines: dark slate, softer than black
TEAL_DEEP = hex_colour("#0A4956")
TEAL = hex_colour("#11707F")
TEAL_LIGHT = hex_colour("#69C6D1")
ACCENT = hex_colour("#F0922E")       # the single warm colour
PAPER = hex_colour("#FFFFFF")
PAPER_SHADE = hex_colour("#E4ECEE")  # lines on paper, faint fills
TEXT_LIGHT = hex_colour("#E8F6F7")   # lines drawn on teal

# Colours that carry a meaning of their own in the process window's pictures,
# where the picture must read at a glance: a folder is yellow, stop is red.
BLUE = hex_colour("#3A8DE0")
BLUE_DEEP = hex_colour("#1D5AA6")
FOLDER = hex_colour("#F7CF57")
FOLDER_BACK = hex_colour("#E3AE31")
FOLDER_EDGE = hex_colour("#A9781B")
STOP_RED = hex_colour("#D8392E")
STOP_EDGE = hex_colour("#8C1E17")


# --- Shapes ---------------------------------------------------------------
#
# A shape is an inside test on continuous coordinates (pixel (i, j) covers
# [i, i+1) x [j, j+1), y grows downwards) plus a bounding box, so painting
# only samples the pixels a shape can touch.

class Shape:
    def __init__(self, inside, box):
        self.inside = inside
        self.box = box  # (x0, y0, x1, y1)

    def __or__(self, other):
        a, b = self.inside, other.inside
        return Shape(lambda x, y: a(x, y) or b(x, y), _box_union(self.box, other.box))

    def __sub__(self, other):
        a, b = self.inside, other.inside
        return Shape(lambda x, y: a(x, y) and not b(x, y), self.box)

    def __and__(self, other):
        a, b = self.inside, other.inside
        return Shape(lambda x, y: a(x, y) and b(x, y), _box_intersection(self.box, other.box))


def _box_union(p, q):
    return (min(p[0], q[0]), min(p[1], q[1]), max(p[2], q[2]), max(p[3], q[3]))


def _box_intersection(p, q):
    return (max(p[0], q[0]), max(p[1], q[1]), min(p[2], q[2]), min(p[3], q[3]))


def rect(x0, y0, x1, y1, radius=0.0):
    r = min(radius, (x1 - x0) / 2.0, (y1 - y0) / 2.0)

    def inside(x, y):
        if x < x0 or x >= x1 or y < y0 or y >= y1:
            return False
        if r <= 0:
            return True
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    return Shape(inside, (x0, y0, x1, y1))


def frame(x0, y0, x1, y1, width=1.0, radius=0.0):
    """An outline of a (rounded) rectangle lying inside its bounds."""
    inner_radius = max(radius - width, 0.0)
    return rect(x0, y0, x1, y1, radius) - rect(x0 + width, y0 + width, x1 - width, y1 - width, inner_radius)


def circle(cx, cy, r):
    return Shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, (cx - r, cy - r, cx + r, cy + r))


def ring(cx, cy, r_outer, r_inner):
    return circle(cx, cy, r_outer) - circle(cx, cy, r_inner)


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        crossings = False
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y):
                if x < ax + (y - ay) * (bx - ax) / (by - ay):
                    crossings = not crossings
        return crossings

    return Shape(inside, (min(xs), min(ys), max(xs), max(ys)))


def segment(ax, ay, bx, by, width, round_caps=True):
    """A stroke of the given width between two points."""
    half = width / 2.0
    dx, dy = bx - ax, by - ay
    length_sq = dx * dx + dy * dy

    def inside(x, y):
        t = ((x - ax) * dx + (y - ay) * dy) / length_sq
        if not round_caps and (t < 0 or t > 1):
            return False
        t = min(max(t, 0.0), 1.0)
        px, py = ax + t * dx - x, ay + t * dy - y
        return px * px + py * py <= half * half

    return Shape(inside, (min(ax, bx) - half, min(ay, by) - half, max(ax, bx) + half, max(ay, by) + half))


def polyline(points, width):
    """A stroke through the points, with round joins."""
    shape = segment(*points[0], *points[1], width)
    for a, b in zip(points[1:], points[2:]):
        shape = shape | segment(*a, *b, width)
    return shape


def bezier(p0, p1, p2, p3, steps=12):
    """Points along a cubic curve, for polyline."""
    points = []
    for k in range(steps + 1):
        t = k / float(steps)
        u = 1.0 - t
        points.append(tuple(u ** 3 * a + 3 * u * u * t * b + 3 * u * t * t * c + t ** 3 * d
                            for a, b, c, d in zip(p0, p1, p2, p3)))
    return points


def star(cx, cy, radii, count, start_deg=0.0):
    """A polygon whose corners lie on circles of the given radii in turn,
    count times round: a gear with two radii per tooth, an octagon with one."""
    corners = count * len(radii)
    points = []
    for k in range(corners):
        angle = math.radians(start_deg + 360.0 * k / corners)
        r = radii[k % len(radii)]
        points.append((cx + r * math.sin(angle), cy - r * math.cos(angle)))
    return polygon(points)


def wedge(cx, cy, direction_deg, half_angle_deg, reach):
    """A pie slice used to cut gaps into rings; 0 degrees points up. reach is
    the least distance from the centre the slice must cover."""
    d = math.radians(direction_deg)
    h = math.radians(half_angle_deg)
    far = reach / math.cos(h)
    return polygon([(cx, cy),
                    (cx + far * math.sin(d - h), cy - far * math.cos(d - h)),
                    (cx + far * math.sin(d + h), cy - far * math.cos(d + h))])


# --- Canvas ---------------------------------------------------------------

class Canvas:
    """Premultiplied floating point RGBA, so compositing is a plain 'over'."""

    def __init__(self, width, height, samples=SUPERSAMPLE):
        self.width = width
        self.height = height
        self.samples = samples
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def _coverage(self, shape, i, j):
        samples = self.samples
        step = 1.0 / samples
        hits = 0
        inside = shape.inside
        for sy in range(samples):
            y = j + (sy + 0.5) * step
            for sx in range(samples):
                if inside(i + (sx + 0.5) * step, y):
                    hits += 1
        return hits / float(samples * samples)

    def _pixels_under(self, shape):
        x0, y0, x1, y1 = shape.box
        for j in range(max(int(math.floor(y0)), 0), min(int(math.ceil(y1)), self.height)):
            for i in range(max(int(math.floor(x0)), 0), min(int(math.ceil(x1)), self.width)):
                yield i, j

    def fill(self, shape, paint):
        """paint is an RGBA tuple or a function of the pixel centre giving one."""
        for i, j in self._pixels_under(shape):
            cover = self._coverage(shape, i, j)
            if cover <= 0:
                continue
            r, g, b, a = paint(i + 0.5, j + 0.5) if callable(paint) else paint
            a *= cover
            dst = self.pixels[j * self.width + i]
            keep = 1.0 - a
            dst[0] = r * a + dst[0] * keep
            dst[1] = g * a + dst[1] * keep
            dst[2] = b * a + dst[2] * keep
            dst[3] = a + dst[3] * keep

    def erase(self, shape):
        """Cuts a shape out of what is already drawn, leaving transparency."""
        for i, j in self._pixels_under(shape):
            keep = 1.0 - self._coverage(shape, i, j)
            dst = self.pixels[j * self.width + i]
            for k in range(4):
                dst[k] *= keep

    def paste(self, other, left, top):
        for j in range(other.height):
            for i in range(other.width):
                self.pixels[(top + j) * self.width + left + i] = list(other.pixels[j * other.width + i])

    def straight_bgra_rows(self):
        """Rows top to bottom of straight (not premultiplied) 8-bit BGRA."""
        rows = []
        for j in range(self.height):
            row = bytearray()
            for i in range(self.width):
                r, g, b, a = self.pixels[j * self.width + i]
                alpha = int(round(min(max(a, 0.0), 1.0) * 255))
                if alpha == 0:
                    row += b"\0\0\0\0"
                    continue
                # Unpremultiply with the quantised alpha so the colour a
                # reader gets back after premultiplying is the one drawn.
                scale = 255.0 / alpha
                row += bytes(_byte(c * scale) for c in (b, g, r)) + bytes([alpha])
            rows.append(bytes(row))
        return rows


def _byte(value):
    return int(round(min(max(value, 0.0), 1.0) * 255))


def vertical_gradient(top_colour, bottom_colour, y0, y1):
    def paint(x, y):
        t = min(max((y - y0) / float(y1 - y0), 0.0), 1.0)
        return tuple(a + (b - a) * t for a, b in zip(top_colour, bottom_colour))
    return paint


def with_alpha(colour, alpha):
    return colour[:3] + (alpha,)


# --- File formats ---------------------------------------------------------

def bmp_bytes(canvas):
    """A 32 bpp BI_RGB bitmap with a BITMAPINFOHEADER, rows bottom-up, and
    straight alpha in the fourth byte: the plainest form LoadImage,
    LR_CREATEDIBSECTION and 32 bit image lists accept everywhere."""
    rows = canvas.straight_bgra_rows()
    pixels = b"".join(reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 32, 0,
                       len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + pixels


def ico_bytes(canvases):
    """An icon of classic DIB entries (no PNG), which every windres and every
    Windows since XP reads: 32 bpp straight BGRA plus a 1 bpp AND mask that
    marks fully transparent pixels for code paths that ignore alpha."""
    images = []
    for canvas in canvases:
        rows = canvas.straight_bgra_rows()
        xor = b"".join(reversed(rows))
        mask_stride = ((canvas.width + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for i in range(canvas.width):
                if row[i * 4 + 3] == 0:
                    bits[i // 8] |= 0x80 >> (i % 8)
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height * 2, 1, 32, 0,
                           len(xor) + len(mask), 0, 0, 0, 0)
        images.append(info + xor + bytes(mask))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for canvas, data in zip(canvases, images):
        entries += struct.pack("<BBBBHHII", canvas.width % 256, canvas.height % 256, 0, 0, 1, 32,
                               len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(images)


# --- The program icon -----------------------------------------------------
#
# A console whose text lines are a stream of trace messages: each line starts
# with a small marker, one of them warm as if it were a warning. Older lines
# (higher up) fade out, hinting at the scrolling stream. Each size has its
# own pixel-aligned layout because scaling one drawing down blurs the lines.

ICON_LAYOUTS = {
    # size: corner radius, title bar height, line height, marker x0, text x0,
    #       line tops, line right ends, marker colours, line opacities
    16: dict(radius=3.0, title=0, line=2, marker_x=3, text_x=6,
             tops=[4, 7, 10], ends=[12, 10, 13],
             markers=[TEAL_LIGHT, ACCENT, TEAL_LIGHT], fades=[0.7, 1.0, 1.0]),
    32: dict(radius=5.0, title=7, line=3, marker_x=6, text_x=11,
             tops=[11, 16, 21, 26], ends=[21, 25, 19, 26],
             markers=[TEAL_LIGHT, TEAL_LIGHT, ACCENT, TEAL_LIGHT],
             fades=[0.45, 0.7, 1.0, 1.0]),
    48: dict(radius=7.0, title=10, line=4, marker_x=9, text_x=16,
             tops=[16, 23, 30, 37], ends=[32, 38, 28, 39],
             markers=[TEAL_LIGHT, TEAL_LIGHT, ACCENT, TEAL_LIGHT],
             fades=[0.45, 0.7, 1.0, 1.0]),
}


def draw_icon(size):
    layout = ICON_LAYOUTS[size]
    c = Canvas(size, size)
    c.fill(rect(0, 0, size, size, layout["radius"]), vertical_gradient(TEAL, TEAL_DEEP, 0, size))

    if layout["title"]:
        # A darker title strip with window dots: reads as a console window
        # where there is room, left out at 16 pixels where it is just noise.
        title = layout["title"]
        c.fill(rect(0, 0, size, title, layout["radius"]) | rect(0, title / 2.0, size, title),
               with_alpha(TEAL_DEEP, 0.85))
        dot = title / 3.5
        for k in range(3):
            c.fill(circle(layout["marker_x"] + dot / 2 + k * dot * 1.9, title / 2.0, dot / 2.0),
                   with_alpha(TEXT_LIGHT, 0.55))

    h = layout["line"]
    for top, end, marker, fade in zip(layout["tops"], layout["ends"], layout["markers"], layout["fades"]):
        mx = layout["marker_x"]
        c.fill(rect(mx, top, mx + h, top + h, h * 0.25), with_alpha(marker, fade))
        c.fill(rect(layout["text_x"], top, end, top + h, h * 0.25), with_alpha(TEXT_LIGHT, fade))
    return c


def bmp24_bytes(canvas):
    """A 24 bpp BI_RGB bitmap laid onto white: a quarter smaller than 32 bpp
    for the large opaque pictures, which need no alpha."""
    rows = []
    for j in range(canvas.height):
        row = bytearray()
        for i in range(canvas.width):
            r, g, b, a = canvas.pixels[j * canvas.width + i]
            keep = 1.0 - a
            row += bytes(_byte(c + keep) for c in (b, g, r))
        row += b"\0" * (-len(row) % 4)
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0,
                       len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + pixels


def halved(canvas):
    """The canvas at half its size, each pixel the average of four: the 100 %
    picture from the 200 % one, so both show the same drawing."""
    small = Canvas(canvas.width // 2, canvas.height // 2)
    for j in range(small.height):
        for i in range(small.width):
            total = [0.0, 0.0, 0.0, 0.0]
            for dy in (0, 1):
                for dx in (0, 1):
                    pixel = canvas.pixels[(2 * j + dy) * canvas.width + 2 * i + dx]
                    for k in range(4):
                        total[k] += pixel[k]
            small.pixels[j * small.width + i] = [v / 4.0 for v in total]
    return small


# --- Parts shared by several pictures ------------------------------------

def draw_window(c, x0, y0, x1, y1):
    """A window with a teal title bar, 3 pixels high."""
    c.fill(rect(x0, y0, x1, y1, 1.5), PAPER)
    c.fill(rect(x0, y0, x1, y0 + 3, 1.5) | rect(x0, y0 + 1.5, x1, y0 + 3), TEAL)
    c.fill(frame(x0, y0, x1, y1, 1.0, 1.5), INK)


def draw_sheet(c, x0, y0, x1, y1, fold=3):
    """A sheet of paper with its top right corner folded down."""
    sheet = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    inner = polygon([(x0 + 1, y0 + 1), (x1 - fold - 0.4, y0 + 1), (x1 - 1, y0 + fold + 0.4),
                     (x1 - 1, y1 - 1), (x0 + 1, y1 - 1)])
    c.fill(sheet, PAPER)
    c.fill(sheet - inner, INK)
    c.fill(polygon([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)]), INK)


def draw_text_lines(c, x0, lines):
    """Grey lines of text: (top, right end) pairs, one pixel high."""
    for top, right in lines:
        c.fill(rect(x0, top, right, top + 1), with_alpha(INK, 0.5))


def strip(draws):
    """16x16 pictures side by side, in the order an image list numbers them."""
    canvas = Canvas(16 * len(draws), 16)
    for index, draw in enumerate(draws):
        canvas.paste(draw(), 16 * index, 0)
    return canvas


# --- Command pictures (16x16) ---------------------------------------------

def draw_close():
    # A power symbol: ending the server rather than hiding a window.
    c = Canvas(16, 16)
    arc = ring(8, 8.5, 6.5, 4.6) - wedge(8, 8.5, 0, 38, 9)
    c.fill(arc, ACCENT)
    c.fill(segment(8, 2.0, 8, 8.0, 2.0), ACCENT)
    return c


def draw_properties():
    # A sheet of settings: two sliders set to different positions.
    c = Canvas(16, 16)
    c.fill(rect(2, 1, 14, 15, 1.5), PAPER)
    c.fill(frame(2, 1, 14, 15, 1.0, 1.5), INK)
    for y, knob in ((5.5, 9.5), (10.5, 6.5)):
        c.fill(rect(4, y - 0.5, 12, y + 0.5), with_alpha(INK, 0.55))
        c.fill(circle(knob, y, 2.0), TEAL)
    return c


def draw_debug_window():
    # A window with a title bar and a body of output lines.
    c = Canvas(16, 16)
    draw_window(c, 1, 2, 15, 14)
    c.fill(rect(3, 7, 11, 8), with_alpha(INK, 0.45))
    c.fill(rect(3, 10, 13, 11), with_alpha(INK, 0.45))
    return c


def draw_about():
    c = Canvas(16, 16)
    c.fill(circle(8, 8, 7.0), TEAL)
    c.erase(circle(8, 4.75, 1.25))
    c.erase(rect(7, 7, 9, 12.5, 0.5))
    c.fill(circle(8, 4.75, 1.25), PAPER)
    c.fill(rect(7, 7, 9, 12.5, 0.5), PAPER)
    return c


def draw_flush():
    # Writing to disk: next to a sheet of text, an arrow comes down onto the
    # line of a drive.
    c = Canvas(16, 16)
    draw_sheet(c, 1, 0, 10, 12)
    draw_text_lines(c, 3, ((5, 7), (7, 7), (9, 6)))
    c.fill(rect(1, 13, 15, 16, 1.0), INK)
    c.fill(rect(11, 14, 13, 15), ACCENT)
    # The arrow is cut free of the sheet under it so both stay readable.
    arrow = rect(11, 2, 13, 9) | polygon([(8, 8), (16, 8), (12, 12)])
    halo = rect(10, 1, 14, 9) | polygon([(6.3, 7), (17.7, 7), (12, 13.4)])
    c.erase(halo - arrow)
    c.fill(arrow, TEAL)
    return c


def draw_spawn():
    # A program window with a start badge: run a program under the debugger.
    c = Canvas(16, 16)
    draw_window(c, 0, 1, 13, 12)
    c.erase(circle(11.5, 11.5, 5.0))
    c.fill(circle(11.5, 11.5, 4.25), ACCENT)
    c.fill(polygon([(10.0, 9.0), (10.0, 14.0), (14.2, 11.5)]), PAPER)
    return c


COMMANDS = [draw_close, draw_properties, draw_debug_window, draw_about, draw_flush]


# --- Process window pictures (16x16) --------------------------------------
#
# One per kind of row and tree node, told apart by shape and colour at a
# glance in a long list, so each keeps to one strong colour.

def draw_dot():
    # A plain event: the smallest mark that still shows a colour.
    c = Canvas(16, 16)
    c.fill(circle(8, 8, 3.5), BLUE_DEEP)
    c.fill(circle(8, 8, 2.5), vertical_gradient(BLUE, BLUE_DEEP, 5.5, 10.5))
    return c


def draw_folder():
    c = Canvas(16, 16)
    back = polygon([(1, 2.5), (6, 2.5), (7.5, 4), (15, 4), (15, 13.5), (1, 13.5)])
    c.fill(back, FOLDER_EDGE)
    c.fill(polygon([(2, 3.5), (5.6, 3.5), (7.1, 5), (14, 5), (14, 7), (2, 7)]), FOLDER_BACK)
    c.fill(rect(1, 6, 15, 13.5, 0.5), FOLDER_EDGE)
    c.fill(rect(2, 7, 14, 12.5), vertical_gradient(FOLDER, FOLDER_BACK, 7, 12.5))
    return c


def draw_needle_and_thread():
    # A thread of execution: a needle lying across, its thread through the eye.
    c = Canvas(16, 16)
    point = polygon([(1.5, 14.5), (3.9, 10.9), (5.1, 12.1)])
    c.fill(point | segment(4.5, 11.5, 12.6, 3.4, 1.7) | circle(12.6, 3.4, 1.5), INK)
    c.erase(segment(11.9, 4.1, 13.3, 2.7, 0.8))
    thread = bezier((12.75, 3.45), (15.5, 6.5), (8.0, 6.5), (9.5, 10.5)) \
        + bezier((9.5, 10.5), (10.5, 13.5), (14.5, 11.5), (14.5, 15.0))[1:]
    c.fill(polyline(thread, 1.2), ACCENT)
    return c


def draw_page_with_gear():
    # A module: code on a page, the gear saying it runs.
    c = Canvas(16, 16)
    draw_sheet(c, 1, 0, 11, 13)
    draw_text_lines(c, 3, ((5, 8), (7, 7)))
    c.erase(circle(11, 11, 5.2))
    c.fill(star(11, 11, (4.6, 4.6, 3.3, 3.3), 8, -11.25) - circle(11, 11, 1.4), TEAL)
    return c


def draw_application():
    # A process: a program's window with a side pane and a body.
    c = Canvas(16, 16)
    draw_window(c, 1, 2, 15, 14)
    c.fill(rect(2, 5, 6, 13), PAPER_SHADE)
    c.fill(rect(6, 5, 7, 13), with_alpha(INK, 0.35))
    draw_text_lines(c, 8, ((7, 13), (9, 12), (11, 13)))
    return c


def draw_page_with_text():
    # A debug string: a page with lower-case letters on it.
    c = Canvas(16, 16)
    draw_sheet(c, 0, 0, 16, 15)
    # Bowls as rounded frames on whole pixels: a one pixel ring would blur.
    c.fill(frame(2, 8, 7, 13, 1.0, 1.5) | rect(6, 8, 7, 13), INK)
    c.fill(frame(9, 8, 14, 13, 1.0, 1.5) | rect(9, 4, 10, 13), INK)
    return c


def draw_stop():
    # An exception or the end of the process.
    c = Canvas(16, 16)
    c.fill(star(8, 8, (7.6,), 8, 22.5), STOP_EDGE)
    c.fill(star(8, 8, (6.7,), 8, 22.5), STOP_RED)
    c.fill(star(8, 8, (5.9,), 8, 22.5) - star(8, 8, (5.1,), 8, 22.5), PAPER)
    c.fill(rect(4.5, 7, 11.5, 9, 0.5), PAPER)
    return c



# --- Lettering --------------------------------------------------------------
#
# A small geometric alphabet for the words of the large pictures: lower-case
# letters built from strokes and rings, x-height h and stroke width w, on a
# baseline. Only the letters the pictures spell are here.

def _bowl(x0, base, h, w):
    return ring(x0 + h / 2.0, base - h / 2.0, h / 2.0, h / 2.0 - w)


def _arch(x0, base, h, w, width):
    """The arch of n and r: half a ring standing on the x-height."""
    r = width / 2.0
    cx, cy = x0 + r, base - h + r
    return (ring(cx, cy, r, r - w) & rect(x0, base - h, x0 + width, cy)), cx, cy


def letter(ch, x0, base, h, w):
    """The shape of one letter and how far it advances."""
    top, ascender = base - h, base - 1.45 * h
    if ch == "o":
        return _bowl(x0, base, h, w), h
    if ch == "c":
        return _bowl(x0, base, h, w) - wedge(x0 + h / 2.0, base - h / 2.0, 90, 42, h), 0.92 * h
    if ch == "e":
        cy = base - h / 2.0
        shape = (_bowl(x0, base, h, w) - wedge(x0 + h / 2.0, cy, 118, 30, h)) | rect(x0 + w / 2.0, cy - w / 2.0, x0 + h - w / 4.0, cy + w / 2.0)
        return shape, h
    if ch == "a":
        return _bowl(x0, base, h, w) | rect(x0 + h - w, top, x0 + h, base), h
    if ch == "d":
        return _bowl(x0, base, h, w) | rect(x0 + h - w, ascender, x0 + h, base), h
    if ch == "b":
        return _bowl(x0, base, h, w) | rect(x0, ascender, x0 + w, base), h
    if ch == "n":
        width = 0.9 * h
        arch, cx, cy = _arch(x0, base, h, w, width)
        return rect(x0, top, x0 + w, base) | arch | rect(x0 + width - w, cy, x0 + width, base), width
    if ch == "r":
        width = 0.9 * h
        arch, cx, cy = _arch(x0, base, h, w, width)
        arch = arch & rect(x0, top, cx + 0.18 * h, base)
        return rect(x0, top, x0 + w, base) | arch, 0.62 * h
    if ch == "v":
        half = w / 2.0
        return polygon([(x0, top), (x0 + w * 1.1, top), (x0 + 0.45 * h, base - w * 1.6), (x0 + 0.9 * h - w * 1.1, top),
                        (x0 + 0.9 * h, top), (x0 + 0.45 * h + half * 1.1, base), (x0 + 0.45 * h - half * 1.1, base)]), 0.9 * h
    if ch == "w":
        width = 1.3 * h
        q = width / 4.0
        shape = None
        for k in range(2):
            left = x0 + 2 * q * k
            v = polygon([(left, top), (left + w * 1.0, top), (left + q, base - w * 1.5), (left + 2 * q - w * 1.0, top),
                         (left + 2 * q, top), (left + q + w * 0.55, base), (left + q - w * 0.55, base)])
            shape = v if shape is None else shape | v
        return shape, width
    if ch == "l":
        return rect(x0, ascender, x0 + w, base), w
    if ch == "i":
        return rect(x0, top, x0 + w, base) | circle(x0 + w / 2.0, top - 1.1 * w, 0.62 * w), w
    if ch == "t":
        stem = x0 + 0.16 * h
        return rect(stem, base - 1.3 * h, stem + w, base) | rect(x0, top, x0 + 0.58 * h, top + 0.8 * w), 0.58 * h
    if ch == "k":
        return (rect(x0, ascender, x0 + w, base)
                | segment(x0 + w * 0.8, base - 0.36 * h, x0 + 0.7 * h, top + w * 0.4, w, round_caps=False)
                | segment(x0 + 0.32 * h, base - 0.52 * h, x0 + 0.76 * h, base - w * 0.3, w, round_caps=False)), 0.76 * h
    if ch == " ":
        return None, 0.4 * h
    raise ValueError("no letter " + ch)


def word_width(text, h, w):
    return sum(letter(ch, 0, h, h, w)[1] for ch in text) + 0.9 * w * (len(text) - 1)


def draw_word(c, text, x0, base, h, w, paint):
    x = x0
    for ch in text:
        shape, advance = letter(ch, x, base, h, w)
        if shape is not None:
            c.fill(shape, paint)
        x += advance + 0.9 * w


# --- Large pictures (drawn at 2x) ------------------------------------------

LARGE_SAMPLES = 3
INK_DEEP = hex_colour("#16252B")


def draw_console_lines(c, x0, x1, y0, y1, pitch, height, alpha, seed):
    """Faint rows of trace text behind a picture: the server's daily work."""
    rows = int((y1 - y0) // pitch)
    for k in range(rows):
        top = y0 + k * pitch
        length = (x1 - x0) * (0.35 + 0.6 * ((k * 37 + seed * 11) % 17) / 16.0)
        c.fill(rect(x0, top, x0 + height, top + height, height * 0.3), with_alpha(ACCENT, alpha * 1.4))
        c.fill(rect(x0 + height * 1.8, top, x0 + length, top + height, height * 0.3), with_alpha(TEXT_LIGHT, alpha))


def draw_emblem(c, x0, y0, size):
    """The program's icon, large: a console page with trace lines."""
    radius = size * 0.16
    c.fill(rect(x0 + size * 0.04, y0 + size * 0.06, x0 + size * 1.04, y0 + size * 1.06, radius), with_alpha(INK_DEEP, 0.35))
    c.fill(rect(x0, y0, x0 + size, y0 + size, radius), PAPER)
    title = size * 0.2
    c.fill(rect(x0, y0, x0 + size, y0 + title, radius) | rect(x0, y0 + title / 2.0, x0 + size, y0 + title), TEAL_DEEP)
    for k in range(3):
        c.fill(circle(x0 + size * (0.13 + 0.09 * k), y0 + title / 2.0, size * 0.032), with_alpha(TEXT_LIGHT, 0.7))
    line = size * 0.085
    for k, end in enumerate((0.78, 0.62, 0.86, 0.5)):
        top = y0 + title + size * (0.12 + 0.16 * k)
        marker = ACCENT if k != 2 else TEAL
        c.fill(rect(x0 + size * 0.12, top, x0 + size * 0.12 + line, top + line, line * 0.3), marker)
        c.fill(rect(x0 + size * 0.27, top, x0 + size * end, top + line, line * 0.3), with_alpha(TEAL, 0.85))


def draw_logo_2x():
    width, height = 922, 326
    c = Canvas(width, height, LARGE_SAMPLES)
    c.fill(rect(0, 0, width, height), vertical_gradient(TEAL, TEAL_DEEP, 0, height))
    draw_console_lines(c, 640, 900, 26, 300, 30, 10, 0.10, 1)
    draw_emblem(c, 64, 58, 206)
    draw_word(c, "norvale", 334, 196, 78, 17, PAPER)
    c.fill(rect(336, 226, 520, 236, 5), ACCENT)
    draw_word(c, "brantwick", 540, 240, 22, 5.5, with_alpha(TEXT_LIGHT, 0.85))
    return c


def draw_developer_2x():
    width, height = 260, 150
    c = Canvas(width, height, LARGE_SAMPLES)
    c.fill(rect(0, 0, width, height), vertical_gradient(hex_colour("#263840"), INK_DEEP, 0, height))
    c.fill(rect(0, 0, width, 22), TEAL_DEEP)
    for k in range(3):
        c.fill(circle(14 + 14 * k, 11, 4), with_alpha(TEXT_LIGHT, 0.6 if k else 0.9))
    # A prompt, a command being typed and the cursor after it.
    c.fill(polyline([(16, 40), (28, 50), (16, 60)], 5), ACCENT)
    c.fill(rect(38, 46, 120, 54, 3), TEXT_LIGHT)
    c.fill(rect(126, 40, 134, 60), with_alpha(ACCENT, 0.9))
    for k, end in enumerate((170, 110, 150)):
        c.fill(rect(16, 72 + 12 * k, end, 78 + 12 * k, 3), with_alpha(TEAL_LIGHT, 0.55))
    draw_word(c, "dev", 150, 134, 30, 6.5, ACCENT)
    return c


def draw_brantwick_2x():
    width, height = 960, 328
    c = Canvas(width, height, LARGE_SAMPLES)
    c.fill(rect(0, 0, width, height), vertical_gradient(PAPER, PAPER_SHADE, 0, height))
    # A trace running across the page, as a scope would draw it.
    points = [(x, 262 + 22 * math.sin(x / 38.0) * math.exp(-((x - 560) / 260.0) ** 2)) for x in range(0, 961, 8)]
    c.fill(polyline(points, 4), with_alpha(TEAL_LIGHT, 0.8))
    # The maker's mark: a "b" on a teal tile.
    c.fill(rect(70, 58, 250, 238, 34), vertical_gradient(TEAL, TEAL_DEEP, 58, 238))
    draw_word(c, "b", 118, 200, 84, 20, PAPER)
    c.fill(circle(215, 200, 9), ACCENT)
    draw_word(c, "brantwick", 300, 176, 70, 16, TEAL_DEEP)
    c.fill(rect(302, 204, 470, 213, 4.5), ACCENT)
    return c


VIEWS = [draw_dot, draw_folder, draw_needle_and_thread, draw_page_with_gear, draw_application,
         draw_page_with_text, draw_stop]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, os.pardir, "src")

    files = {
        ("shell", "res", "norvale.ico"): ico_bytes([draw_icon(size) for size in sorted(ICON_LAYOUTS)]),
        ("shell", "res", "commands.bmp"): bmp_bytes(strip(COMMANDS)),
        ("shell", "res", "spawn.bmp"): bmp_bytes(draw_spawn()),
        ("debugger", "res", "views.bmp"): bmp_bytes(strip(VIEWS)),
    }
    logo = draw_logo_2x()
    files[("shell", "res", "logo.bmp")] = bmp24_bytes(halved(logo))
    files[("shell", "res", "logo_2x.bmp")] = bmp24_bytes(logo)
    files[("shell", "res", "developer_2x.bmp")] = bmp24_bytes(draw_developer_2x())
    files[("shell", "res", "brantwick_2x.bmp")] = bmp24_bytes(draw_brantwick_2x())
    for parts, data in files.items():
        path = os.path.normpath(os.path.join(source, *parts))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print("wrote", path, len(data), "bytes")


if __name__ == "__main__":
    main()
