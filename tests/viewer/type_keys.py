#!/usr/bin/env python3
"""Holds the named keys down in order, then releases them in reverse order, through XTEST.

xdotool stands in the Control_L key for any Control modifier, so a chord with the right Control key
alone needs raw key codes.
"""
import sys
import time

from Xlib import X, XK, display
from Xlib.ext import xtest


def main():
    d = display.Display()
    codes = [d.keysym_to_keycode(XK.string_to_keysym(name)) for name in sys.argv[1:]]
    if not codes or 0 in codes:
        sys.exit("unknown key name")
    for code in codes:
        xtest.fake_input(d, X.KeyPress, code)
        d.sync()
        time.sleep(0.05)
    for code in reversed(codes):
        xtest.fake_input(d, X.KeyRelease, code)
        d.sync()
    d.close()


if __name__ == "__main__":
    main()
