#!/usr/bin/env python3
"""Draws the desktop client's images into app/gui/rc/ (Python standard library only).

Every image is a few flat shapes in the client's dark style, drawn at the
96-DPI size and for the scale factors 1.25, 1.5 and 2 ("name.png",
"name@1.25x.png", "name@1.5x.png", "name@2x.png"). Run it again after
changing a drawing:  python3 tools/draw_gui_images.py
"""
import math
import os
import struct
import sys
import zlib

SCALES = [(1, ""), (1.25, "@1.25x"), (1.5, "@1.5x"), (2, "@2x")]

GREY = (0xAA, 0xAA, 0xAA)
LIGHT = (0xFF, 0xFF, 0xFF)
DIM = (0x77, 0x77, 0x77)
ACCENT = (0xFF, 0xA9, 0x24)
PRESSED = (0xF1, 0x7F, 0x05)
SAND = (0xCC, 0xBB, 0x99)
DARK = (0x33, 0x33, 0x33)


# ---- shapes: functions (x, y) -> True inside, in 96-DPI units -------------

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width, start=None, end=None):
    """A ring of the given width; with start/end (degrees, clockwise from 3 o'clock) an arc."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        if start is None:
            return True
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return (a - start) % 360 <= (end - start) % 360
    return inside


def box(x0, y0, x1, y1, radius=0):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        if radius <= 0:
            return True
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside


def frame(x0, y0, x1, y1, width, radius=0):
    outer = box(x0, y0, x1, y1, radius)
    inner = box(x0 + width, y0 + width, x1 - width, y1 - width, max(0, radius - width))
    return lambda x, y: outer(x, y) and not inner(x, y)


def stroke(x0, y0, x1, y1, width):
    """A line with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def polyline(points, width):
    parts = [stroke(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    return lambda x, y: any(p(x, y) for p in parts)


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, cut):
    return lambda x, y: shape(x, y) and not cut(x, y)


# ---- rendering ------------------------------------------------------------

def render(width, height, layers, scale, samples=3):
    """layers: list of (shape, (r, g, b), alpha) or a callable (x, y) -> (r, g, b, a) for the whole image."""
    w, h = round(width * scale), round(height * scale)
    rows = []
    offsets = [(i + 0.5) / samples for i in range(samples)]
    n = samples * samples
    for py in range(h):
        row = bytearray()
        for px in range(w):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for oy in offsets:
                for ox in offsets:
                    x, y = (px + ox) / scale, (py + oy) / scale
                    r = g = b = a = 0.0
                    for layer in layers:
                        if callable(layer):
                            lr, lg, lb, la = layer(x, y)
                        else:
                            shape, colour, alpha = layer
                            if not shape(x, y):
                                continue
                            lr, lg, lb = colour
                            la = alpha
                        # "over" in premultiplied form
                        r = lr * la + r * (1 - la)
                        g = lg * la + g * (1 - la)
                        b = lb * la + b * (1 - la)
                        a = la + a * (1 - la)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            a = acc[3] / n
            if a <= 0:
                row += b"\0\0\0\0"
            else:
                row += bytes([min(255, round(acc[0] / n / a)), min(255, round(acc[1] / n / a)),
                              min(255, round(acc[2] / n / a)), min(255, round(a * 255))])
        rows.append(bytes(row))
    return w, h, rows


def png(w, h, rows):
    raw = bytearray()
    previous = bytes(len(rows[0])) if rows else b""
    for row in rows:
        # The cheaper of the "none", "sub" and "up" filters, by the usual sum heuristic.
        sub = bytes((row[i] - (row[i - 4] if i >= 4 else 0)) & 0xFF for i in range(len(row)))
        up = bytes((row[i] - previous[i]) & 0xFF for i in range(len(row)))
        cost = lambda data: sum(v if v < 128 else 256 - v for v in data)
        choice = min(((cost(row), 0, row), (cost(sub), 1, sub), (cost(up), 2, up)))
        raw.append(choice[1])
        raw += choice[2]
        previous = row

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# ---- the drawings -----------------------------------------------------------

def button_states(name, width, height, glyph):
    """name, name_hover, name_pressed: a grey glyph, white on a faint plate, orange."""
    plate = box(2, 1, width - 2, height - 1, 3)
    return {
        name: (width, height, [(glyph, GREY, 1)]),
        name + "_hover": (width, height, [(plate, LIGHT, 0.08), (glyph, LIGHT, 1)]),
        name + "_pressed": (width, height, [(plate, LIGHT, 0.04), (glyph, ACCENT, 1)]),
    }


def big_button_states(name, glyph):
    return {
        name: (64, 64, [(glyph, SAND, 1)]),
        name + "_hover": (64, 64, [(glyph, ACCENT, 1)]),
        name + "_pressed": (64, 64, [(glyph, PRESSED, 1)]),
    }


def shadow(x, y, size=24, edge=5):
    # Soft shadow that darkens towards the body, which covers the middle.
    d = max(edge - x, edge - y, x - (size - edge), y - (size - edge), 0)
    a = 0.32 * (1 - d / edge) ** 2 if d < edge else 0.0
    return (0, 0, 0, a)


def main_background(x, y):
    t = y / 512
    base = 0x2A + (0x38 - 0x2A) * t
    # A faint warm glow from the lower right corner.
    glow = max(0.0, 1 - math.hypot(x - 720, y - 512) / 520) ** 2
    return (base + 0x30 * glow, base + 0x1C * glow, base + 0x04 * glow, 1.0)


def logo_mark(cx, cy, r, width):
    """A ring with a short tail to the lower right."""
    return union(ring(cx, cy, r, width), stroke(cx + r * 0.45, cy + r * 0.45, cx + r * 1.05, cy + r * 1.05, width))


def images():
    result = {}
    cross = union(stroke(11, 7, 21, 17, 1.6), stroke(21, 7, 11, 17, 1.6))
    result.update(button_states("btn_close", 32, 24, cross))
    result.update(button_states("btn_min", 32, 24, stroke(11, 12, 21, 12, 1.6)))
    menu = union(stroke(10, 7.5, 22, 7.5, 1.6), stroke(10, 12, 22, 12, 1.6), stroke(10, 16.5, 22, 16.5, 1.6))
    result.update(button_states("btn_menu", 32, 24, menu))

    result["icon_expand_arrow_down"] = (24, 24, [(polyline([(7, 10), (12, 15), (17, 10)], 1.8), GREY, 1)])
    result["icon_expand_arrow_up"] = (24, 24, [(polyline([(7, 14), (12, 9), (17, 14)], 1.8), GREY, 1)])

    disc = circle(24, 24, 21)
    question = union(ring(24, 19, 6, 3.4, 180, 90), stroke(24, 25, 24, 28, 3.4), circle(24, 34.5, 2.2))
    result["icon_msgbox_question"] = (48, 48, [(disc, ACCENT, 1), (question, LIGHT, 1)])
    info = union(circle(24, 14, 2.6), stroke(24, 21, 24, 35, 4))
    result["icon_msgbox_information"] = (48, 48, [(disc, (0x3A, 0x8E, 0xE6), 1), (info, LIGHT, 1)])
    triangle = polygon([(24, 4), (45, 42), (3, 42)])
    bang = union(stroke(24, 16, 24, 30, 4), circle(24, 36, 2.4))
    result["icon_msgbox_warning"] = (48, 48, [(triangle, ACCENT, 1), (bang, DARK, 1)])
    check = polyline([(14, 24.5), (21, 31.5), (34, 17.5)], 4)
    result["icon_msgbox_complete"] = (48, 48, [(disc, (0x4C, 0xAF, 0x50), 1), (check, LIGHT, 1)])
    field = frame(6, 14, 42, 34, 2.5, 4)
    caret = stroke(14, 19, 14, 29, 2.5)
    dots = union(circle(22, 24, 2), circle(29, 24, 2), circle(36, 24, 2))
    result["icon_inputbox"] = (48, 48, [(field, ACCENT, 1), (caret, LIGHT, 1), (dots, GREY, 1)])

    result["bg_shadow"] = (24, 24, [shadow])
    result["bg_float"] = (32, 32, [(box(1, 1, 31, 31, 7), (0, 0, 0), 0.25), (box(2, 2, 30, 30, 6), (0x26, 0x26, 0x26), 0.92)])
    result["bg_main"] = (720, 512, [main_background])

    tile = box(2, 2, 46, 46, 10)
    result["icon_logo"] = (48, 48, [(tile, ACCENT, 1), (logo_mark(23, 23, 11, 5), LIGHT, 1)])
    result["icon_main"] = (32, 32, [(box(1, 1, 31, 31, 7), ACCENT, 1), (logo_mark(15.5, 15.5, 7.5, 3.6), LIGHT, 1)])
    wordmark = union(stroke(30, 9, 90, 9, 2.4), stroke(30, 15, 72, 15, 2.4))
    result["icon_logo_main"] = (96, 24, [(box(0, 0, 24, 24, 5), ACCENT, 1), (logo_mark(11.5, 11.5, 5.5, 2.6), LIGHT, 1),
                                         (wordmark, GREY, 1)])

    arrows = union(polyline([(10, 22), (50, 22)], 4), polyline([(42, 14), (50, 22), (42, 30)], 4),
                   polyline([(54, 42), (14, 42)], 4), polyline([(22, 34), (14, 42), (22, 50)], 4))
    result.update(big_button_states("btn_forward", arrows))
    screen = union(frame(8, 10, 56, 44, 4, 4), stroke(32, 44, 32, 52, 4), stroke(20, 54, 44, 54, 4))
    result.update(big_button_states("btn_device", screen))
    teeth = [polygon([(32 + 6 * math.cos(a + s) - 0 * math.sin(a), 32 + 6 * math.sin(a + s)) for s in (-0.35, 0.35)] +
                     [(32 + 24 * math.cos(a + s), 32 + 24 * math.sin(a + s)) for s in (0.2, -0.2)])
             for a in [i * math.pi / 4 for i in range(8)]]
    gear = minus(union(circle(32, 32, 17), *teeth), circle(32, 32, 7))
    result.update(big_button_states("btn_tools", gear))

    for state, edge, fill in (("", (0x55, 0x55, 0x55), None), ("_hover", DIM, None)):
        result["icon_checkbox_unchecked" + state] = (16, 16, [(frame(1.5, 1.5, 14.5, 14.5, 1.2, 2), edge, 1)])
        result["icon_checkbox_checked" + state] = (16, 16, [
            (box(1.5, 1.5, 14.5, 14.5, 2), ACCENT if not state else (0xFF, 0x96, 0x00), 1),
            (polyline([(4.5, 8), (7, 10.5), (11.5, 5.5)], 1.8), DARK, 1)])
    for state, edge, dot in (("", (0x55, 0x55, 0x55), ACCENT), ("_hover", DIM, (0xFF, 0x96, 0x00)),
                             ("_disabled", (0x44, 0x44, 0x44), (0x66, 0x66, 0x66))):
        result["icon_radio_unchecked" + state] = (16, 16, [(ring(8, 8, 6.2, 1.3), edge, 1)])
        result["icon_radio_checked" + state] = (16, 16, [(ring(8, 8, 6.2, 1.3), dot, 1), (circle(8, 8, 3.2), dot, 1)])

    person = union(circle(8, 5, 3), minus(circle(8, 15.5, 6.5), box(0, 14.5, 16, 16)))
    lock = union(box(3, 7, 13, 14.5, 1.5), ring(8, 7, 3.2, 1.6, 180, 0))
    for state, colour in (("", DIM), ("_hover", GREY), ("_pressed", ACCENT)):
        result["icon_login_user" + state] = (16, 16, [(person, colour, 1)])
        result["icon_login_pwd" + state] = (16, 16, [(lock, colour, 1)])
    return result


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, "app", "gui", "rc")
    os.makedirs(out, exist_ok=True)
    only = set(sys.argv[1:])
    for name, (width, height, layers) in sorted(images().items()):
        if only and name not in only:
            continue
        samples = 1 if name == "bg_main" else 3
        for scale, suffix in SCALES:
            w, h, rows = render(width, height, layers, scale, samples)
            with open(os.path.join(out, name + suffix + ".png"), "wb") as f:
                f.write(png(w, h, rows))
        print(name)


if __name__ == "__main__":
    main()
