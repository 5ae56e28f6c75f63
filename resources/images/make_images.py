#!/usr/bin/env python3
"""Draws the editor's images: the knob atlas buttons.png (256 x 128 RGBA) and
a slider thumb with its normal map (slider.png, slider_normal.png, 64 x 32).

Only the standard library is used (zlib and struct write the PNG files), so
the images can be drawn again on any machine that builds the plug-in:

    python3 resources/images/make_images.py [output folder]

The knob renderers cut their images out of the atlas by pixel position,
rows counted from the top of the file:

    knob      value image   track image   side
    tiny      (2, 2)        (32, 2)       26
    small     (2, 92)       (2, 52)       34
    big       (52, 34)      (162, 34)     92

The value image is rotated with the knob: the lit ring is revealed from the
pointer (the image's positive x axis) counter-clockwise, so it is a whole
ring with the pointer drawn just below that axis, inside the strip the
renderer always shows. The track image stays put and only its top 270
degrees are ever wanted: a quiet groove from lower left over the top to
lower right. A spinning knob cap (32 px at (64, 1)) fills some of the free
room for layouts that use the textured knob renderer.
"""

import math
import os
import struct
import sys
import zlib

ATLAS_W, ATLAS_H = 256, 128


class Image:
    """Straight-alpha RGBA floats, composited with the over operator."""

    def __init__(self, width, height):
        self.w, self.h = width, height
        # premultiplied colour and alpha per pixel
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]
        # colour given to fully transparent pixels, so that linear
        # filtering at shape edges does not pull in black
        self.bleed = [None] * (width * height)

    def over(self, x, y, rgb, alpha):
        if alpha <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        alpha = min(alpha, 1.0)
        p = self.px[y * self.w + x]
        k = 1.0 - alpha
        p[0] = rgb[0] * alpha + p[0] * k
        p[1] = rgb[1] * alpha + p[1] * k
        p[2] = rgb[2] * alpha + p[2] * k
        p[3] = alpha + p[3] * k

    def set_bleed(self, x, y, rgb):
        if 0 <= x < self.w and 0 <= y < self.h and self.bleed[y * self.w + x] is None:
            self.bleed[y * self.w + x] = rgb

    def rgba_bytes(self):
        rows = []
        for y in range(self.h):
            row = bytearray([0])  # filter type: none
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a > 1e-6:
                    rgb = (r / a, g / a, b / a)
                else:
                    rgb = self.bleed[y * self.w + x] or (0.0, 0.0, 0.0)
                row += bytes(clamp_byte(c) for c in rgb)
                row.append(clamp_byte(a))
            rows.append(bytes(row))
        return b"".join(rows)


def clamp_byte(c):
    return max(0, min(255, int(round(c * 255.0))))


def coverage(distance):
    """Area of a pixel inside an edge at the given signed distance (pixels,
    negative inside): a one-pixel linear ramp, the usual analytic
    anti-aliasing."""
    return max(0.0, min(1.0, 0.5 - distance))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def rgb(r, g, b):
    return (r / 255.0, g / 255.0, b / 255.0)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


# ---- knob images -------------------------------------------------------------

# Ring radius and width, glow reach and pointer size, per side in pixels.
KNOBS = {
    26: dict(ring=9.6, width=2.6, glow=1.6, pointer_from=3.0, pointer_half=0.75),
    34: dict(ring=12.9, width=3.2, glow=2.2, pointer_from=4.0, pointer_half=0.9),
    92: dict(ring=37.5, width=7.0, glow=4.5, pointer_from=13.0, pointer_half=2.0),
}

ARC_CORE = rgb(200, 236, 255)
ARC_EDGE = rgb(70, 160, 240)
ARC_GLOW = rgb(80, 170, 255)
POINTER = rgb(246, 250, 255)
TRACK = rgb(34, 37, 46)
TRACK_RIM = rgb(200, 205, 215)


def local(image_x, image_y, side, px, py):
    """Pixel centre (px, py) of the image at (image_x, image_y) as a point
    relative to the image centre, y up."""
    c = side / 2.0
    return (px + 0.5 - image_x - c, -(py + 0.5 - image_y - c))


def draw_value_image(img, ox, oy, side):
    k = KNOBS[side]
    ring, half_w = k["ring"], k["width"] / 2.0
    for py in range(oy, oy + side):
        for px in range(ox, ox + side):
            x, y = local(ox, oy, side, px, py)
            r = math.hypot(x, y)
            edge = abs(r - ring) - half_w
            img.set_bleed(px, py, ARC_GLOW)
            # soft halo outside the band
            if edge > 0:
                glow = math.exp(-(edge / k["glow"]) ** 2) * 0.45
                img.over(px, py, ARC_GLOW, glow * coverage(r - side / 2.0 + 0.5))
            # the lit band: brightest along its middle
            t = min(1.0, abs(r - ring) / half_w)
            img.over(px, py, mix(ARC_CORE, ARC_EDGE, t * t), coverage(edge))

    # The pointer lies just below the x axis (in the strip the renderer
    # always reveals) and runs from near the centre into the band.
    h = k["pointer_half"]
    ay = -(h + 0.35)
    for py in range(oy, oy + side):
        for px in range(ox, ox + side):
            x, y = local(ox, oy, side, px, py)
            d = segment_distance(x, y, k["pointer_from"], ay, ring, ay) - h
            img.over(px, py, POINTER, coverage(d))


def in_track_sweep(angle):
    """True for angles (radians, counter-clockwise from +x) on the top 270
    degrees: from -45 degrees over the top to 225 degrees."""
    a = math.degrees(angle)
    return a >= -45.0 or a + 360.0 <= 225.0


def draw_track_image(img, ox, oy, side):
    k = KNOBS[side]
    ring, half_w = k["ring"], k["width"] / 2.0 * 0.9
    ends = [math.radians(-45.0), math.radians(225.0)]
    for py in range(oy, oy + side):
        for px in range(ox, ox + side):
            x, y = local(ox, oy, side, px, py)
            r = math.hypot(x, y)
            img.set_bleed(px, py, TRACK)
            if in_track_sweep(math.atan2(y, x)):
                edge = abs(r - ring) - half_w
            else:
                # round caps at both ends of the sweep
                edge = min(math.hypot(x - ring * math.cos(e), y - ring * math.sin(e))
                           for e in ends) - half_w
            a = coverage(edge)
            img.over(px, py, TRACK, a * 0.62)
            # a faint light rim along the groove's outer edge, as if lit
            # from above
            rim = coverage(abs(r - (ring + half_w - 0.4)) - 0.45) * a
            img.over(px, py, TRACK_RIM, rim * 0.16 * (0.5 + 0.5 * max(0.0, y / max(r, 1e-6))))


def draw_spin_cap(img, ox, oy, side):
    """A dark rounded cap with a light notch pointing up, for the textured
    knob renderer (which turns the whole image)."""
    c = side / 2.0
    radius = c - 1.5
    for py in range(oy, oy + side):
        for px in range(ox, ox + side):
            x, y = local(ox, oy, side, px, py)
            r = math.hypot(x, y)
            img.set_bleed(px, py, rgb(60, 62, 70))
            body = coverage(r - radius)
            shade = mix(rgb(92, 96, 108), rgb(44, 46, 54), min(1.0, r / radius))
            img.over(px, py, shade, body)
            rim = coverage(abs(r - (radius - 0.8)) - 0.6) * body
            img.over(px, py, rgb(150, 155, 170), rim * 0.5)
            notch = segment_distance(x, y, 0.0, radius * 0.35, 0.0, radius - 2.5) - 1.1
            img.over(px, py, POINTER, coverage(notch))


# ---- slider thumb --------------------------------------------------------------

def rounded_box_distance(x, y, half_w, half_h, corner):
    qx, qy = abs(x) - (half_w - corner), abs(y) - (half_h - corner)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - corner


def draw_thumb(colour, normal, cx, cy, half_w, half_h, grooves_vertical):
    corner = 3.0
    bevel = 3.0
    for py in range(int(cy - half_h) - 1, int(cy + half_h) + 1):
        for px in range(int(cx - half_w) - 1, int(cx + half_w) + 1):
            x, y = px + 0.5 - cx, -(py + 0.5 - cy)
            d = rounded_box_distance(x, y, half_w, half_h, corner)
            a = coverage(d)
            colour.set_bleed(px, py, rgb(190, 192, 198))
            normal.set_bleed(px, py, (0.5, 0.5, 1.0))
            if a <= 0:
                continue
            # bevelled edges: the normal tilts outwards within `bevel` of
            # the rim
            depth = min(1.0, max(0.0, -d) / bevel)
            gx = rounded_box_distance(x + 0.5, y, half_w, half_h, corner) - \
                rounded_box_distance(x - 0.5, y, half_w, half_h, corner)
            gy = rounded_box_distance(x, y + 0.5, half_w, half_h, corner) - \
                rounded_box_distance(x, y - 0.5, half_w, half_h, corner)
            tilt = (1.0 - depth) * 0.8
            nx, ny = gx * tilt, gy * tilt
            nz = math.sqrt(max(0.0, 1.0 - nx * nx - ny * ny))
            base = mix(rgb(214, 216, 222), rgb(150, 153, 162), 0.5 - 0.5 * y / half_h)
            groove = abs(x if grooves_vertical else y)
            if groove < 1.0 and abs(y if grooves_vertical else x) < (
                    half_h if grooves_vertical else half_w) - 3.5:
                base = rgb(60, 62, 70)
            colour.over(px, py, base, a)
            # normal map: rows run top down, so y flips into the image
            normal.over(px, py, (nx * 0.5 + 0.5, -ny * 0.5 + 0.5, nz * 0.5 + 0.5), a)


# ---- PNG -------------------------------------------------------------------------

def write_png(path, img):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", img.w, img.h, 8, 6, 0, 0, 0)
    data = zlib.compress(img.rgba_bytes(), 9)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", data))
        f.write(chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))

    atlas = Image(ATLAS_W, ATLAS_H)
    for (vx, vy), (tx, ty), side in (((2, 2), (32, 2), 26),
                                     ((2, 92), (2, 52), 34),
                                     ((52, 34), (162, 34), 92)):
        draw_value_image(atlas, vx, vy, side)
        draw_track_image(atlas, tx, ty, side)
    draw_spin_cap(atlas, 64, 1, 32)
    write_png(os.path.join(out, "buttons.png"), atlas)

    colour, normal = Image(64, 32), Image(64, 32)
    draw_thumb(colour, normal, 16, 16, 7, 12, True)    # horizontal slider's thumb
    draw_thumb(colour, normal, 48, 16, 12, 7, False)   # vertical slider's thumb
    write_png(os.path.join(out, "slider.png"), colour)
    write_png(os.path.join(out, "slider_normal.png"), normal)


if __name__ == "__main__":
    main()
