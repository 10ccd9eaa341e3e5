#!/usr/bin/python3
# Time from launching a windowed program to its first frame on screen, watched from the X server:
# every top-level window the program creates gets a DAMAGE report, and the first drawing into one
# of them is its first frame (the window system itself never paints a window whose background is
# None, as GLFW's are). Prints "first-frame SECONDS" and, once the program has ended, "exit SECONDS".
#   first_frame.py COMMAND [ARG...]      (DISPLAY must name a running server)
import select
import subprocess
import sys
import time

from Xlib import X, display
from Xlib.ext import damage


def main():
    if len(sys.argv) < 2:
        print("usage: first_frame.py COMMAND [ARG...]", file=sys.stderr)
        return 2
    try:
        d = display.Display()
    except Exception as e:  # no DISPLAY, or a server that refuses the connection
        print("first_frame.py: cannot open the X display: %s" % e, file=sys.stderr)
        return 1
    if not d.has_extension("DAMAGE"):
        print("first_frame.py: the X server has no DAMAGE extension", file=sys.stderr)
        return 1
    d.damage_query_version()
    # A window that takes no drawing (GLFW's input-only helper) refuses a report with BadMatch; it
    # never shows a frame, so the refusal is dropped.
    d.set_error_handler(lambda *args: None)
    root = d.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    d.sync()

    start = time.monotonic()
    child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    first = None
    socket = d.display.socket
    while first is None and child.poll() is None:
        # Sleeps until the server writes; the child's end is checked at least every 10 ms.
        if d.pending_events() == 0:
            select.select([socket], [], [], 0.01)
        while first is None and d.pending_events() > 0:
            event = d.next_event()
            if event.type == X.CreateNotify:
                event.window.damage_create(damage.DamageReportNonEmpty)
                d.flush()
            elif event.type == d.extension_event.DamageNotify:
                first = time.monotonic() - start
    child.wait()
    end = time.monotonic() - start
    if first is None:
        print("first_frame.py: the program drew no frame (exit status %d)" % child.returncode, file=sys.stderr)
        return 1
    print("first-frame %.4f" % first)
    print("exit %.4f" % end)
    return child.returncode


if __name__ == "__main__":
    sys.exit(main())
