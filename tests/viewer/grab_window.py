#!/usr/bin/env python3
"""Writes what a window shows, given by its X id, as a binary PPM file."""
import sys

from Xlib import X, display


def main():
    window_id = int(sys.argv[1], 0)
    d = display.Display()
    window = d.create_resource_object("window", window_id)
    geometry = window.get_geometry()
    w, h = geometry.width, geometry.height
    image = window.get_image(0, 0, w, h, X.ZPixmap, 0xFFFFFFFF)
    data = image.data
    stride = len(data) // h  # 32-bit pixels, blue green red pad
    pixels = bytearray()
    for y in range(h):
        pixels += data[y * stride:y * stride + w * 4]
    out = bytearray(w * h * 3)
    out[0::3] = pixels[2::4]
    out[1::3] = pixels[1::4]
    out[2::3] = pixels[0::4]
    with open(sys.argv[2], "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(out)
    d.close()


if __name__ == "__main__":
    main()
